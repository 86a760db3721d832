// The uninstaller's shared system calls (systemcalls.h).
#include "systemcalls.h"

#include <vector>

#include "pathrules.h"
#include "punique.h"

using UninstallPaths::LowerPath;

bool ReadString(HKEY root, const std::wstring& keyPath, const wchar_t* name, std::wstring* value,
                REGSAM view) {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
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

bool KeyExists(HKEY root, const std::wstring& keyPath, REGSAM view) {
    UniqueRegistryKey key;
    return RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

bool KeyIsEmpty(HKEY root, const std::wstring& keyPath, REGSAM view) {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

bool DeleteEmptyTree(HKEY root, const std::wstring& keyPath, REGSAM view) {
    std::vector<std::wstring> subkeys;
    {
        UniqueRegistryKey key;
        const LONG status = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | view, key.put());
        if (status == ERROR_FILE_NOT_FOUND) return true;
        if (status != ERROR_SUCCESS) return false;
        DWORD values = 0;
        if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS || values != 0)
            return false;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            subkeys.emplace_back(name, length);
        }
    }  // closed before it is deleted
    bool empty = true;
    for (const std::wstring& name : subkeys)
        empty = DeleteEmptyTree(root, keyPath + L"\\" + name, view) && empty;
    return empty && DeleteKey(root, keyPath, view) == ERROR_SUCCESS;
}

// RegDeleteKeyEx, which takes a view, is missing on 32-bit XP: the parent is
// opened in the view and the key deleted by its name there.
LONG DeleteKey(HKEY root, const std::wstring& keyPath, REGSAM view) {
    const size_t cut = keyPath.rfind(L'\\');
    if (cut == std::wstring::npos) return RegDeleteKeyW(root, keyPath.c_str());
    UniqueRegistryKey parent;
    const LONG status = RegOpenKeyExW(root, keyPath.substr(0, cut).c_str(), 0, KEY_READ | view, parent.put());
    if (status != ERROR_SUCCESS) return status;
    return RegDeleteKeyW(parent.get(), keyPath.c_str() + cut + 1);
}

std::wstring CanonicalPath(const std::wstring& path) {
    wchar_t full[32768];
    DWORD n = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    if (n == 0 || n >= 32768) return LowerPath(path);
    wchar_t longer[32768];
    DWORD m = GetLongPathNameW(full, longer, 32768);
    return LowerPath(m && m < 32768 ? std::wstring(longer) : std::wstring(full));
}
