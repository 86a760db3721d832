#include "registry_values.h"

bool ReadRegistryValues(HKEY hive, const std::string& key, std::map<std::string, std::string>& values) {
    values.clear();
    HKEY k;
    if (RegOpenKeyExA(hive, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    for (DWORD i = 0;; ++i) {
        char name[512];
        BYTE data[4096];
        DWORD nameLength = sizeof name, size = sizeof data, type = 0;
        if (RegEnumValueA(k, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        values[name] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size);
    }
    RegCloseKey(k);
    return true;
}
