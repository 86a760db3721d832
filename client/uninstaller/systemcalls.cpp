// The uninstaller's shared system calls (systemcalls.h).
#include "systemcalls.h"

#include <vector>

#include "pathrules.h"
#include "punique.h"

using UninstallPaths::LowerPath;

bool ReadString(HKEY root, const std::wstring& keyPath, const wchar_t* name, std::wstring* value) {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool ok = false;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
        DWORD got = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        if (RegQueryValueExW(key.get(), name, nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &got) == ERROR_SUCCESS) {
            *value = std::wstring(data.data());
            if (type == REG_EXPAND_SZ) {
                wchar_t expanded[32768];
                DWORD n = ExpandEnvironmentStringsW(value->c_str(), expanded, 32768);
                if (n && n <= 32768) *value = expanded;
            }
            ok = true;
        }
    }
    return ok;
}

bool KeyExists(HKEY root, const std::wstring& keyPath) {
    UniqueRegistryKey key;
    return RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring CanonicalPath(const std::wstring& path) {
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    if (n == 0 || n >= 32768) return LowerPath(path);
    wchar_t longer[32768];
    DWORD m = GetLongPathNameW(full, longer, 32768);
    return LowerPath(m && m < 32768 ? std::wstring(longer) : std::wstring(full));
}
