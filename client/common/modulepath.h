// Where the running program lives: the client's programs all work from
// their own folder.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

// The program's own path, however long it is.
inline std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The folder of the program, without a trailing backslash.
inline std::wstring ModuleFolder() {
    std::wstring path = ModulePath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
