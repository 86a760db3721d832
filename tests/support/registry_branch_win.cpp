#include "registry_branch.h"

bool RegistryKeyExists(HKEY hive, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

namespace {
// Deletes parent\name with its subkeys, deepest first (RegDeleteTree is newer
// than the XP headers the build uses).
LONG DeleteSubtree(HKEY parent, const std::string& name, REGSAM view) {
    HKEY key;
    LONG rc = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS | view, &key);
    if (rc != ERROR_SUCCESS)
        return rc;
    for (;;) {
        char child[256];
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            DeleteSubtree(key, child, view) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str());
}
}  // namespace

bool DeleteRegistryTree(HKEY hive, const std::string& path, REGSAM view) {
    const size_t cut = path.rfind('\\');
    HKEY parent = hive;
    if (cut != std::string::npos &&
        RegOpenKeyExA(hive, path.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return !RegistryKeyExists(hive, path, view);
    const std::string leaf = cut == std::string::npos ? path : path.substr(cut + 1);
    const LONG rc = DeleteSubtree(parent, leaf, view);
    if (parent != hive)
        RegCloseKey(parent);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

void RegistryBranches::Keep(HKEY hive, const std::string& path, REGSAM view) {
    std::string firstMissing;
    size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('\\', end + 1);
        const std::string prefix = path.substr(0, end);
        if (!RegistryKeyExists(hive, prefix, view)) {
            firstMissing = prefix;
            break;
        }
    }
    branches_.push_back({hive, firstMissing, view});
}

void RegistryBranches::Restore() {
    for (const Branch& b : branches_)
        if (!b.firstMissing.empty())
            DeleteRegistryTree(b.hive, b.firstMissing, b.view);
}
