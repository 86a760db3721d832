// The installation journal on Windows: where it lives, the system operations
// of undoing and committing it, the durable copy that its copy steps make,
// the registry snapshot its key steps record, and the one lock that keeps two
// installers (or an installer and the uninstaller) of a product apart.
// Shared by the installer and the uninstaller; wide system calls only, so the
// same code works on every Windows and under Wine. Paths are UTF-8.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "installjournal.h"
#include "punique.h"

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// "%TEMP%\<display name>.install-journal" of the running user; empty when
// the system has no temporary folder.
std::string JournalPathFor(const std::wstring& displayName);

// The registry key as it is now; existed false when it cannot be opened or
// its hive is Unknown. hive is "HKLM", "HKCU" or "HKU" (SnapshotHive). Read,
// and restored by RestoreKey, in the view the product writes that hive in
// (registryview.h).
RegistrySnapshot SnapshotRegistryKey(const std::string& hive, const std::string& key);

// Copies path to aside so that aside is either absent or complete: the copy
// is made under temporary, flushed to the disk and renamed to aside. Returns
// 0 or the system's error code of the step that failed (temporary is then
// removed). `beforeRename`, when given, is called between the flush and the
// rename (a seam for the tests that stop a process there).
uint32_t CopyAsideDurably(const std::string& path, const std::string& temporary, const std::string& aside,
                          void (*beforeRename)() = nullptr);

// The journal's operations on this system; each line of the log goes to `log`.
class WindowsJournalActions : public JournalActions {
public:
    explicit WindowsJournalActions(std::function<void(const std::string&)> log) : log_(std::move(log)) {}
    bool Exists(const std::string& path) override;
    uint32_t DeleteOneFile(const std::string& path) override;
    uint32_t MoveReplacing(const std::string& from, const std::string& to) override;
    bool SameContents(const std::string& a, const std::string& b) override;
    uint32_t RemoveFolderIfEmpty(const std::string& path, bool& removed) override;
    uint32_t RestoreKey(const RegistrySnapshot& snapshot, bool& changed) override;
    uint32_t DeleteAtRestart(const std::string& path) override;
    std::string ErrorText(uint32_t code) override;
    void Log(const std::string& line) override { log_(line); }

private:
    std::function<void(const std::string&)> log_;
};

// What RecoverJournalFile found and did.
enum class JournalRecovery {
    None,       // no journal
    Settled,    // undone or committed; the file is gone, or names only old copies still in use
    Unsettled,  // some steps could not be undone: the file is kept for the next try
    Foreign,    // its header names another product: left alone
};

// Puts right the journal at `path` that an interrupted run of the product
// `displayName` left: undone, or committed when it had reached its commit.
// The file is then deleted, or replaced by one that only names the old
// copies still in use (so that the next run deletes them). `owner` is filled
// from its header.
JournalRecovery RecoverJournalFile(const std::string& path, const std::string& displayName, JournalActions& actions,
                                   JournalOutcome& outcome, JournalOwner& owner);
// Replaces the journal at `path` with `text` (written beside it and renamed),
// or deletes it when text is empty. False when that failed.
bool ReplaceJournalFile(const std::string& path, const std::string& text);

// One installer or uninstaller of a product at a time on this machine: a
// named mutex in the global namespace, held for the owner's life. Move-only.
class InstallLock {
public:
    InstallLock() = default;
    // Takes the lock of the product `displayName`; false (and no lock held)
    // when another process holds it. True without a lock (Held() false) when
    // the system cannot make one at all.
    bool Acquire(const std::wstring& displayName);
    bool Held() const { return mutex_.valid(); }

private:
    UniqueHandle mutex_;
};
