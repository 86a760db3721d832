// Undoing a cancelled or failed installation on Windows: the worker's
// journal of what its run changes (rollbackjournal.h), the moving aside of
// files it replaces, the snapshots of the registry keys it writes, and the
// undoing itself. The journal lives in the temporary folder as
// "<display name>.install-journal"; a run that finds one left by a killed
// process puts that right before it starts. Worker thread (and the writing
// thread it waits for); the recording calls lock.
#pragma once
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "InstallOptions.h"
#include "pstring.h"
#include "rollbackjournal.h"

class InstallRollback {
public:
    InstallRollback() = default;
    ~InstallRollback();
    InstallRollback(const InstallRollback&) = delete;
    InstallRollback& operator=(const InstallRollback&) = delete;

    // Before anything is changed: puts right a journal a killed run left
    // (its lines are kept for LogEarlierLines), starts this run's journal,
    // records the state of the registry keys registration writes, and makes
    // this the recording that CreateFolderWithParents reports to. Without a
    // journal file (temporary folder unusable) the run goes on unrecorded;
    // that is logged.
    void Begin(const InstallOptions& options);
    // Once the install log is open: writes the lines of Begin, and keeps
    // copies of the files registration and the settings writers may replace
    // (shortcuts, tinfo.dat, user.ini and user.ini.bak).
    void AfterLogOpened();
    // Before a payload file is opened for writing: an existing file is moved
    // aside (same folder, so same volume), a new one is recorded. A file whose
    // folder this run made is new without a look at the disk (under Wine each
    // look is a request to its server, thousands per installation). Throws
    // PSystemError with TXTINS_Cannot_open_file_XN0X when the old file cannot
    // be moved aside.
    void BeforeWriteFile(const char* path);
    void NoteCreatedFolder(const char* path);

    // The run's end: on success the old copies and the journal are deleted;
    // otherwise everything recorded is undone and logged. Never throws.
    void Finish(bool success);
    // After the install log is closed: when the run was undone and had made
    // the install folder, its Install.log is moved to the temporary folder
    // ("<display name> Install.log") and the folders the run made are
    // removed once empty.
    void AfterLogClosed();

private:
    void Record(const JournalEntry& entry);
    void KeepCopy(const PString& path);
    PString KeptLogPath() const;

    std::mutex lock_;
    JournalWriter writer_;
    PString journalPath_;
    PString displayName_;
    InstallOptions options_;
    std::vector<JournalEntry> entries_;
    // The folders this run made, exactly as they were named to it.
    std::unordered_set<std::string> createdFolders_;
    std::vector<std::string> earlierLines_;
    bool recording_ = false;
    bool undone_ = false;
};

// Reports a folder made by CreateFolderWithParents to the run that is
// recording, if any.
void NoteCreatedFolder(const char* path);
