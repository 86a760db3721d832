// Loading system DLLs from the system folder only (see psystemdll.h).
#include "psystemdll.h"

#include <cstring>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// Present exactly where LoadLibraryEx also accepts the LOAD_LIBRARY_SEARCH_*
// flags (Windows 8, and Vista/7 with KB2533623). Looked up each time: cheap,
// and no shared state between threads. kernel32 is always loaded, so
// GetModuleHandle finds it without loading anything.
SetDefaultDllDirectoriesFn SetDefaultDllDirectoriesFunction() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                  : nullptr;
}

bool IsBareName(const char* name) {
    return name && *name && !std::strpbrk(name, "\\/:");
}

}  // namespace

bool RestrictDllSearchToSystemFolder() {
    SetDefaultDllDirectoriesFn restrict = SetDefaultDllDirectoriesFunction();
    return restrict && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const char* name) {
    if (!IsBareName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (SetDefaultDllDirectoriesFunction())
        return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadSystemLibraryByFullPath(name);
}

HMODULE LoadSystemLibraryByFullPath(const char* name) {
    if (!IsBareName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0)
        return nullptr;  // GetSystemDirectory's own error stays in GetLastError
    const size_t nameLength = std::strlen(name);
    if (length + 1 + nameLength >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[length++] = L'\\';
    // DLL names are ASCII; anything else cannot name a system DLL.
    for (size_t i = 0; i < nameLength; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        path[length++] = wchar_t(c);
    }
    path[length] = L'\0';
    return LoadLibraryW(path);
}
