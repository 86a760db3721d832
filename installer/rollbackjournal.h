// The rollback journal of one installation: every change the installer makes
// to the machine is recorded, before it is made, as one line of a text file
// outside the install folder, so that a cancelled or failed run - and a run
// whose process was killed - can be undone by this run or the next one.
// Portable: the undoing itself goes through RollbackActions, which the
// Windows part implements and the tests replace.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "punique.h"

// What one journal line records. The letters are the line's first byte.
enum class JournalKind : char {
    CreatedFile = 'F',    // path: did not exist; removed on rollback
    MovedAside = 'M',     // path, aside: the old file was renamed to aside; put back on rollback
    CopiedAside = 'C',    // path, aside: a copy of the old file; put back on rollback
    CreatedFolder = 'D',  // path: created by this run; removed on rollback when empty
    RegistryKey = 'K',    // hive, key path, existed ("1"/"0"): the key's state before the run
    RegistryValue = 'V',  // hive, key path, name (hex), type (decimal), data (hex): a value of the key above
    Committed = 'S',      // the run succeeded: only the aside copies remain to be deleted
};

struct JournalEntry {
    JournalKind kind;
    std::vector<std::string> fields;
};

// A registry key as it was before the run: the K line and its V lines.
struct RegistrySnapshot {
    std::string hive;  // "HKLM" or "HKCU"
    std::string key;
    bool existed = false;
    struct Value {
        std::string name;  // UTF-16LE bytes of the value's name
        uint32_t type = 0;
        std::string data;  // raw bytes
    };
    std::vector<Value> values;
};

// One line with its newline. Fields are separated by tabs: paths and keys
// must hold no tab or line break (Windows names cannot); names and data are
// written in hex.
std::string FormatJournalEntry(const JournalEntry& entry);
// The entries of a journal's text, in order. Lines that do not parse, and a
// last line without its newline (a process killed while writing it), are
// skipped: what they would have recorded had not been done yet.
std::vector<JournalEntry> ParseJournal(const std::string& text);

std::string HexEncode(const std::string& bytes);
// False (out unchanged) for an odd length or a character that is not a hex digit.
bool HexDecode(const std::string& hex, std::string& out);

// The lines that record a registry key's state.
std::vector<JournalEntry> SnapshotEntries(const RegistrySnapshot& snapshot);

// The system operations of a rollback. Each returns false on failure; the
// rollback logs it and goes on with the rest.
class RollbackActions {
public:
    virtual ~RollbackActions() {}
    // Removes a file; `removed` says whether there was one. True when it is
    // gone (also when it was never made).
    virtual bool RemoveCreatedFile(const std::string& path, bool& removed) = 0;
    // Puts aside back at path, replacing what is there.
    virtual bool PutBack(const std::string& aside, const std::string& path) = 0;
    // Removes the folder if it is empty; `removed` says whether it did. True
    // unless the folder exists, is empty and cannot be removed.
    virtual bool RemoveFolderIfEmpty(const std::string& path, bool& removed) = 0;
    // Makes the key what the snapshot says: values restored, values added
    // since removed, the key removed when it did not exist. `changed` says
    // whether it differed from the snapshot.
    virtual bool RestoreKey(const RegistrySnapshot& snapshot, bool& changed) = 0;
    // Deletes an aside copy after success; true when it is gone.
    virtual bool DeleteAside(const std::string& aside) = 0;
    virtual void Log(const std::string& line) = 0;
};

// Undoes the entries, last first, and logs each step as "Rolled back: ...".
// Failures are logged ("Rollback failed: ...") and do not stop the rest.
// Returns the number of failures.
int UndoJournal(const std::vector<JournalEntry>& entries, RollbackActions& actions);
// After success: deletes the aside copies. Returns the number of failures.
int CommitJournal(const std::vector<JournalEntry>& entries, RollbackActions& actions);
// Puts right what a killed run left: a journal that reached its commit is
// committed, any other is undone. Returns the number of failures.
int RecoverJournal(const std::vector<JournalEntry>& entries, RollbackActions& actions);
// True when the entries hold the commit marker.
bool JournalCommitted(const std::vector<JournalEntry>& entries);

// The journal file being written: lines are appended and flushed one by one,
// so that whatever a killed process did is on disk before it is done. Not
// copied but moves (the file goes with it); closed by Close or the
// destructor. Thread-safe only with outside locking.
class JournalWriter {
public:
    JournalWriter() = default;
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
    JournalWriter(JournalWriter&&) noexcept = default;
    JournalWriter& operator=(JournalWriter&&) noexcept = default;

    // Creates (replacing) the file; false when it cannot be.
    bool Open(const char* path);
    // Appends and flushes; false when the line did not reach the file.
    bool Append(const JournalEntry& entry);
    bool IsOpen() const { return file_.valid(); }
    void Close();

private:
    UniqueStdioFile file_;
};
