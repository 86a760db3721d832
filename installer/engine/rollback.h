// One installation as one transaction on Windows: every step that changes
// the machine records its own undo in the run's journal
// (protocols/installjournal.h) at the place it makes the change - payload
// files and folders, the registry keys registration writes, the shortcuts,
// the settings and tracking files, the files an upgrade leaves behind - and
// the run's end either commits the journal or undoes it. The journal lives
// in the temporary folder as "<display name>.install-journal"; a run that
// finds one left by an interrupted run puts that right before it starts.
//
// Threads: the worker thread, and the payload's writing thread it waits for;
// the recording calls lock. Paths are PStringX text; the journal holds them
// as UTF-8.
#pragma once
#include <windows.h>

#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "installoptions.h"
#include "installjournal.h"
#include "pstring.h"

class InstallRollback {
public:
    InstallRollback() = default;
    ~InstallRollback();
    InstallRollback(const InstallRollback&) = delete;
    InstallRollback& operator=(const InstallRollback&) = delete;

    // Before anything is changed: puts right a journal an interrupted run
    // left (its lines are kept for AfterLogOpened) and starts this run's
    // journal. Without a journal file (temporary folder unusable) the run
    // goes on unrecorded; that is logged.
    void Begin(const InstallOptions& options);
    // Once the install log is open: writes the lines of Begin there.
    void AfterLogOpened();

    // Before a payload file is opened for writing: an existing file is moved
    // aside (same folder, so same volume), a new one is recorded. A file whose
    // folder this run made is new without a look at the disk (under Wine each
    // look is a request to its server, thousands per installation). Throws
    // PSystemError with TXTINS_Cannot_open_file_XN0X and the system's reason
    // when the old file cannot be moved aside.
    void BeforeWriteFile(const char* path);
    // A folder this run made (CreateFolderWithParents reports each one it
    // is given this journal for): removed by the undo once empty, and the
    // files in it new without a look at the disk.
    void NoteCreatedFolder(const char* path);
    // Before a file other than the payload's is written, replaced or renamed
    // over (shortcuts, user.ini and its backup, tinfo.dat): an existing one
    // is copied aside durably first, a new one is recorded. False (logged)
    // when the old file could not be kept: then it must not be changed.
    bool BeforeReplaceFile(const PString& path);
    // Before the first write to a registry key in this run: its values as
    // they are. hive is HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, or HKEY_USERS
    // with key starting with the user's SID ("S-1-5-21-...\Software\...").
    void BeforeRegistryWrite(HKEY hive, const PString& key);
    // Removes a file an earlier installation left that this one does not
    // have: moved aside now, deleted at the commit, put back on undo; its
    // folder goes at the commit when that leaves it empty. False (logged)
    // when it could not be moved.
    bool RemoveOldFile(const PString& path);

    // The run's end: on success the old copies are deleted (and the journal
    // with them, unless a copy is still in use); otherwise everything
    // recorded is undone and logged. Never throws.
    void Finish(bool success);
    // After Finish(false): the number of steps that could not be undone.
    int UndoFailures() const { return undoFailures_; }
    // After the install log is closed: when the run was undone and had made
    // the install folder, its Install.log is moved to the temporary folder
    // ("<display name> Install.log") and the folders the run made are
    // removed once empty.
    void AfterLogClosed();
    // Where the log of an undone run that removed its install folder is kept.
    PString KeptLogPath() const;
    // Where the last run's Install.log is after AfterLogClosed: in the
    // install folder, or at KeptLogPath when the undo removed the folder.
    PString RunLogPath() const;

private:
    void Record(const JournalEntry& entry);
    // Several lines as one step.
    void RecordAll(const std::vector<JournalEntry>& entries);
    std::string NextAsideName(const std::string& path);

    std::mutex lock_;
    JournalWriter writer_;
    std::string journalPath_;
    JournalOwner owner_;
    InstallOptions options_;
    std::vector<JournalEntry> entries_;
    // The folders this run made, exactly as they were named to it.
    std::unordered_set<std::string> createdFolders_;
    // Registry keys already recorded in this run ("HKLM\key").
    std::set<std::string> recordedKeys_;
    // Aside names handed out in this run (not yet on disk while a rename runs).
    std::set<std::string> asideNames_;
    std::vector<std::string> earlierLines_;
    bool recording_ = false;
    bool undone_ = false;
    bool logKept_ = false;
    int undoFailures_ = 0;
};

// A seam for the tests that stop an installation at each of its steps:
// called after each journal line is written and once inside each copy
// aside (complete, not yet renamed), with the number of calls so far in the
// process. Null (the default) calls nothing. Any thread that records.
using JournalStepHook = void (*)(int step);
void SetJournalStepHook(JournalStepHook hook);
