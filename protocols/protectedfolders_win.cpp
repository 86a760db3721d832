// The system's protected folders (protectedfolders.h).
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "protectedfolders.h"
#include <shlobj.h>

#include "installfolderrules.h"

namespace {

// Collects folders as the rules take them; paths the rules refuse are left out.
class FolderList {
public:
    void Add(const std::wstring& raw) {
        std::wstring path;
        std::wstring why;
        if (!raw.empty() && FolderRules::NormalizeAbsolute(raw, &path, &why))
            folders_.push_back(FolderRules::LowerPath(path));
    }
    void AddShellFolders(const int* ids, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            wchar_t path[MAX_PATH] = L"";
            if (SUCCEEDED(SHGetFolderPathW(nullptr, ids[i], nullptr, SHGFP_TYPE_CURRENT, path)))
                Add(path);
        }
    }
    void AddVariables(const wchar_t* const* names, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            wchar_t value[MAX_PATH] = L"";
            DWORD n = GetEnvironmentVariableW(names[i], value, MAX_PATH);
            if (n && n < MAX_PATH) Add(value);
        }
    }
    std::vector<std::wstring> Take() { return std::move(folders_); }

private:
    std::vector<std::wstring> folders_;
};

}  // namespace

std::vector<std::wstring> ProtectedFolders() {
    FolderList folders;
    static const int kFolders[] = {
        CSIDL_PROGRAMS,         CSIDL_COMMON_PROGRAMS,   CSIDL_STARTMENU,
        CSIDL_COMMON_STARTMENU, CSIDL_STARTUP,           CSIDL_COMMON_STARTUP,
        CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_WINDOWS,
        CSIDL_SYSTEM,           CSIDL_SYSTEMX86,         CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE,
        CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,     CSIDL_COMMON_APPDATA,
        CSIDL_PERSONAL,         CSIDL_COMMON_DOCUMENTS,  CSIDL_FONTS,
        CSIDL_TEMPLATES,        CSIDL_FAVORITES,         CSIDL_MYPICTURES,
        CSIDL_MYMUSIC,          CSIDL_MYVIDEO,           CSIDL_SENDTO,
        CSIDL_RECENT,           CSIDL_NETHOOD,           CSIDL_PRINTHOOD,
        CSIDL_INTERNET_CACHE,   CSIDL_COOKIES,           CSIDL_HISTORY,
        CSIDL_ADMINTOOLS,       CSIDL_COMMON_ADMINTOOLS,
    };
    folders.AddShellFolders(kFolders, sizeof kFolders / sizeof kFolders[0]);
    static const wchar_t* const kVariables[] = {
        L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"CommonProgramFiles",
        L"SystemRoot",   L"windir",            L"USERPROFILE",  L"PUBLIC",
        L"ALLUSERSPROFILE", L"ProgramData",    L"APPDATA",      L"LOCALAPPDATA",
        L"TEMP",         L"TMP",
    };
    folders.AddVariables(kVariables, sizeof kVariables / sizeof kVariables[0]);
    wchar_t temp[MAX_PATH + 1] = L"";
    if (GetTempPathW(MAX_PATH + 1, temp)) folders.Add(temp);
    // The folder that holds the user profiles ("Users", "Documents and Settings").
    wchar_t profile[MAX_PATH] = L"";
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile))) {
        std::wstring parent = profile;
        size_t slash = parent.find_last_of(L'\\');
        if (slash != std::wstring::npos && slash > 2) folders.Add(parent.substr(0, slash));
    }
    return folders.Take();
}

std::vector<std::wstring> SystemFolders() {
    FolderList folders;
    static const int kFolders[] = {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86};
    folders.AddShellFolders(kFolders, sizeof kFolders / sizeof kFolders[0]);
    static const wchar_t* const kVariables[] = {L"SystemRoot", L"windir"};
    folders.AddVariables(kVariables, sizeof kVariables / sizeof kVariables[0]);
    return folders.Take();
}
