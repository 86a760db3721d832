#include "process_windows.h"

bool WaitUntil(const std::function<bool()>& condition, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
        if (condition())
            return true;
    return condition();
}

HWND FindProcessWindow(const char* cls, DWORD pid) {
    for (HWND w = FindWindowExA(nullptr, nullptr, cls, nullptr); w; w = FindWindowExA(nullptr, w, cls, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if ((pid == 0 || owner == pid) && IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

DWORD RunAndWait(const std::wstring& commandLine, DWORD ms) {
    std::wstring line = commandLine;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 9999;
    if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 9998);
    DWORD code = 9999;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

DWORD RunAndWait(const std::string& commandLine, DWORD ms) {
    const int n = MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, &wide[0], n);
    return RunAndWait(wide, ms);
}
