// Keeps registry branches as a test found them. For each key path it is
// given, it remembers the first key along the path that does not exist yet;
// Restore() (and the destructor) deletes that key with everything below it,
// so the keys a run makes, parents included, go and the keys that were
// there stay. Keys that existed in full are left to the test. Windows only,
// one thread; a branch opened in `view` (KEY_WOW64_32KEY, KEY_WOW64_64KEY or
// 0 for the default) is restored in the same view.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class RegistryBranches {
public:
    RegistryBranches() = default;
    RegistryBranches(const RegistryBranches&) = delete;
    RegistryBranches& operator=(const RegistryBranches&) = delete;
    ~RegistryBranches() { Restore(); }

    // Notes the first missing key on the way to hive\path.
    void Keep(HKEY hive, const std::string& path, REGSAM view = 0);
    // Deletes what was made where keys were missing; the notes stay, so that
    // it can be called again.
    void Restore();

private:
    struct Branch {
        HKEY hive;
        std::string firstMissing;  // empty: the whole path existed
        REGSAM view;
    };
    std::vector<Branch> branches_;
};

// True when hive\path can be opened for reading in `view`.
bool RegistryKeyExists(HKEY hive, const std::string& path, REGSAM view = 0);
// Deletes hive\path with its subkeys in `view`; true when it is gone.
bool DeleteRegistryTree(HKEY hive, const std::string& path, REGSAM view = 0);
