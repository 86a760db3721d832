// The uninstaller's run log (runlog.h).
#include "runlog.h"

RunLog::RunLog() {
    wchar_t temp[MAX_PATH + 1] = L"";
    if (!GetTempPathW(MAX_PATH + 1, temp)) return;
    path_ = std::wstring(temp) + L"MorvanditeUninstall.log";
    file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t stamp[64];
        wsprintfW(stamp, L"[%04d/%02d/%02d %02d:%02d:%02d]", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
        Line(stamp);
    }
}

void RunLog::Line(const std::wstring& text) {
    if (!file_) return;
    std::wstring line = text + L"\r\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                0, nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], n,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
