#include "adminonlycopy.h"

#include <sddl.h>

#include <algorithm>
#include <utility>

namespace {
DWORD LastError() {
    const DWORD code = GetLastError();
    return code ? code : DWORD(ERROR_GEN_FAILURE);
}

bool ReadWhole(HANDLE file, std::string& out) {
    out.clear();
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr))
            return false;
        if (read == 0)
            return true;
        out.append(buffer, read);
    }
}

bool ReadFileNamed(const std::wstring& path, std::string& out) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ReadWhole(file.get(), out);
}

bool WriteWhole(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

std::wstring Hex(DWORD value) {
    wchar_t text[9];
    for (int i = 7; i >= 0; --i, value >>= 4)
        text[i] = L"0123456789abcdef"[value & 15];
    text[8] = 0;
    return text;
}
}  // namespace

UniqueLocalMemory AdministratorsOnlySecurity() {
    // OW: the owner's implicit right to change the list is taken away too.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;RC;;;OW)", SDDL_REVISION_1, &descriptor, nullptr))
        return UniqueLocalMemory();
    return UniqueLocalMemory(descriptor);
}

std::wstring AdministratorsOnlyParent() {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    std::wstring parent(windows);
    if (parent.back() != L'\\')
        parent += L'\\';
    return parent + L"Temp";
}

AdministratorsOnlyCopy AdministratorsOnlyCopy::Make(const std::wstring& source, const std::wstring& parent,
                                                    const std::wstring& name, DWORD* error) {
    AdministratorsOnlyCopy copy;
    DWORD code = 0;
    std::string bytes;
    const UniqueLocalMemory security = AdministratorsOnlySecurity();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.get(), FALSE};
    if (!ReadFileNamed(source, bytes)) {
        code = LastError();
    } else if (!security) {
        code = LastError();
    } else {
        // A folder that exists already may carry anyone's access list: only
        // one this call made will do.
        const std::wstring stem = parent + L"\\MorvanditeUninstall-" + Hex(GetCurrentProcessId()) + L"-";
        DWORD salt = GetTickCount();
        for (int attempt = 0; attempt < 100 && copy.folder_.empty(); ++attempt, salt = salt * 1103515245u + 12345u) {
            const std::wstring folder = stem + Hex(salt);
            if (CreateDirectoryW(folder.c_str(), &attributes))
                copy.folder_ = folder;
            else if ((code = LastError()) != ERROR_ALREADY_EXISTS)
                break;
        }
    }
    if (!copy.folder_.empty()) {
        code = 0;
        copy.path_ = copy.folder_ + L"\\" + name;
        {
            const UniqueFileHandle written(CreateFileW(copy.path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!written || !WriteWhole(written.get(), bytes))
                code = LastError();
        }
        // The program cannot be started while anyone holds it for writing:
        // it is opened again for reading, and what it holds is checked once
        // nobody else can change it any more.
        if (!code) {
            copy.held_.reset(CreateFileW(copy.path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
            std::string check;
            if (!copy.held_ || !ReadWhole(copy.held_.get(), check))
                code = LastError();
            else if (check != bytes)
                code = ERROR_FILE_CORRUPT;
        }
    }
    if (!code)
        return copy;
    copy.Remove();
    if (error)
        *error = code;
    return AdministratorsOnlyCopy();
}

AdministratorsOnlyCopy::AdministratorsOnlyCopy(AdministratorsOnlyCopy&& other) noexcept
    : held_(std::move(other.held_)), folder_(std::move(other.folder_)), path_(std::move(other.path_)) {
    other.folder_.clear();
    other.path_.clear();
}

AdministratorsOnlyCopy& AdministratorsOnlyCopy::operator=(AdministratorsOnlyCopy&& other) noexcept {
    if (this != &other) {
        Remove();
        held_ = std::move(other.held_);
        folder_ = std::exchange(other.folder_, std::wstring());
        path_ = std::exchange(other.path_, std::wstring());
    }
    return *this;
}

AdministratorsOnlyCopy::~AdministratorsOnlyCopy() { Remove(); }

void AdministratorsOnlyCopy::Remove() {
    held_.reset();
    if (!path_.empty() && !DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        MoveFileExW(path_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    // A folder still holding the copy goes after it at the restart.
    if (!folder_.empty() && !RemoveDirectoryW(folder_.c_str()))
        MoveFileExW(folder_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    path_.clear();
    folder_.clear();
}
