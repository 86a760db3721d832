// The journal of one installation: every change the installer makes to the
// machine is one or two lines of a text file outside the install folder, so
// that a cancelled or failed run - and a run whose process was killed at any
// moment - can be undone by this run, the next one or the uninstaller.
//
// A step is written before it is made when it is atomic (a rename, a file
// or folder created, a registry key about to be written: undoing what never
// happened does nothing). A copy is not: it is written in two lines, its
// intent before it starts (the temporary file that may then exist) and its
// undo once the copy is complete, flushed and renamed, so an undo never puts
// a partial copy over an original. Undoing is idempotent: a recovery that is
// itself killed is simply run again.
//
// Paths are UTF-8 text. Portable: the system operations go through
// JournalActions, which installjournal_win.h implements for Windows and the
// tests replace. The installer and the uninstaller share this file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What one journal line records. The letters are the line's first byte.
enum class JournalKind : char {
    Header = 'H',         // format, display name, install folder: whose journal this is
    CreatedFile = 'F',    // path: did not exist; removed on undo
    MovedAside = 'M',     // path, aside: path is renamed to aside (written first: the rename is atomic,
                          // so a missing aside means it never took place); put back on undo
    CopyingAside = 'T',   // temporary, aside: a copy in progress; either may exist and is removed
    CopiedAside = 'C',    // path, aside: a complete, flushed copy of path; put back on undo
    CreatedFolder = 'D',  // path: created by this run; removed on undo when empty
    RegistryKey = 'K',    // hive, key path, existed ("1"/"0"), number of V lines that follow: the key's
                          // state before the run; a snapshot with fewer V lines (interrupted) is not used
    RegistryValue = 'V',  // hive, key path, name (hex), type (decimal), data (hex): a value of the key above
    Leftover = 'R',       // path: an old copy an earlier run could not delete; removed when possible
    EmptiedFolder = 'E',  // path: files in it are removed on commit; the folder goes then when empty
    Committed = 'S',      // the run succeeded: only its old copies remain to be deleted
};

struct JournalEntry {
    JournalKind kind;
    std::vector<std::string> fields;
};

// The journal's format, written in its header line.
constexpr const char* kJournalFormat = "2";
// Where the old copies go: next to the file, so a rename never crosses volumes.
constexpr const char* kAsideSuffix = ".~rollback";
// A copy being made, before it is complete.
constexpr const char* kCopyingSuffix = ".~copying";

// A registry key as it was before the run: the K line and its V lines.
struct RegistrySnapshot {
    std::string hive;  // "HKLM", "HKCU" or "HKU" (see SnapshotHive)
    std::string key;
    bool existed = false;
    struct Value {
        std::string name;  // UTF-16LE bytes of the value's name
        uint32_t type = 0;
        std::string data;  // raw bytes
    };
    std::vector<Value> values;
};

// The hive a snapshot's key is in. Another user's hive is reached through
// HKEY_USERS: its name is "HKU" and its key path starts with that user's SID
// ("S-1-5-21-...\\Software\\..."), so that the journal can be undone by a
// process of any account.
enum class SnapshotHiveKind { Machine, CurrentUser, Users, Unknown };
// Unknown for a name other than "HKLM", "HKCU" and "HKU", and for an "HKU" key
// that does not start with a SID, a backslash and a subkey: such a snapshot
// (written by a damaged or newer journal) is never restored anywhere.
SnapshotHiveKind SnapshotHive(const RegistrySnapshot& snapshot);

// Whose journal it is, from the header line.
struct JournalOwner {
    std::string displayName;
    std::string installFolder;
};

// One line with its newline. Fields are separated by tabs: paths and keys
// must hold no tab or line break (Windows names cannot); names and data are
// written in hex.
std::string FormatJournalEntry(const JournalEntry& entry);
// The entries of a journal's text, in order. Lines that do not parse, and a
// last line without its newline (a process killed while writing it), are
// skipped: what they would have recorded had not been done yet.
std::vector<JournalEntry> ParseJournal(const std::string& text);
// The header's owner; false when the entries have no header (a journal of an
// older format or a damaged one).
bool FindJournalOwner(const std::vector<JournalEntry>& entries, JournalOwner& owner);
JournalEntry JournalHeader(const JournalOwner& owner);

std::string HexEncode(const std::string& bytes);
// False (out unchanged) for an odd length or a character that is not a hex digit.
bool HexDecode(const std::string& hex, std::string& out);

// The lines that record a registry key's state.
std::vector<JournalEntry> SnapshotEntries(const RegistrySnapshot& snapshot);

// The system operations of undoing and committing. Each returns 0 on success
// or the system's error code; ErrorText turns a code into the system's words.
class JournalActions {
public:
    virtual ~JournalActions() {}
    virtual bool Exists(const std::string& path) = 0;
    // Deletes a file, clearing a read-only attribute first.
    virtual uint32_t DeleteOneFile(const std::string& path) = 0;
    // Renames from to to, replacing what is there.
    virtual uint32_t MoveReplacing(const std::string& from, const std::string& to) = 0;
    // True when both files exist and hold the same bytes.
    virtual bool SameContents(const std::string& a, const std::string& b) = 0;
    // Removes the folder if it exists and is empty; `removed` says whether it did.
    virtual uint32_t RemoveFolderIfEmpty(const std::string& path, bool& removed) = 0;
    // Makes the key what the snapshot says: values restored, values added
    // since removed, the key removed when it did not exist. `changed` says
    // whether it differed from the snapshot.
    virtual uint32_t RestoreKey(const RegistrySnapshot& snapshot, bool& changed) = 0;
    // Has the system delete the file when it restarts.
    virtual uint32_t DeleteAtRestart(const std::string& path) = 0;
    virtual std::string ErrorText(uint32_t code) = 0;
    virtual void Log(const std::string& line) = 0;
};

// What undoing or committing did.
struct JournalOutcome {
    int changes = 0;   // steps that changed something back
    int failures = 0;  // steps that could not be undone or files that could not be deleted
    // Old copies that are still on disk after a commit (in use; deleted at the
    // next restart or by the next run): the journal must be kept for them.
    std::vector<std::string> leftovers;
};

// Undoes the entries, last first, and logs each change as "Rolled back: ..."
// and each step that could not be undone as "Rollback failed: ...: reason"
// (a registry snapshot of an Unknown hive is such a step, left untouched).
// A step that had not happened yet (a file never made, a rename that never
// took place) is no change and no failure. Failures do not stop the rest.
JournalOutcome UndoJournal(const std::vector<JournalEntry>& entries, JournalActions& actions);
// After success: deletes the old copies and temporary files, then the
// folders marked emptied when they are empty. A copy that cannot be deleted
// (in use) is left for the restart and reported in `leftovers`.
JournalOutcome CommitJournal(const std::vector<JournalEntry>& entries, JournalActions& actions);
// Puts right what an interrupted run left: a journal that reached its commit
// is committed, any other is undone. Logs which it does.
JournalOutcome RecoverJournal(const std::vector<JournalEntry>& entries, JournalActions& actions);
// True when the entries hold the commit marker.
bool JournalCommitted(const std::vector<JournalEntry>& entries);
// The journal to keep when a commit left old copies behind: the header, one
// Leftover line each and the commit marker; empty when nothing is left.
std::string LeftoverJournal(const JournalOwner& owner, const std::vector<std::string>& leftovers);

// Opens a file for the journal with a UTF-8 path and a stdio mode; null on
// failure. Defined per system (installjournal_win.cpp, installjournal_native.cpp).
std::FILE* OpenJournalFile(const std::string& path, const char* mode);

// The journal file being written: lines are appended and handed to the
// system one by one, so that whatever a killed process did is in the file
// before it is done. Moves, never copies; closed by Close or the destructor.
// Thread-safe only with outside locking.
class JournalWriter {
public:
    JournalWriter() = default;
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
    JournalWriter(JournalWriter&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    JournalWriter& operator=(JournalWriter&& other) noexcept;

    // Creates (replacing) the file; false when it cannot be.
    bool Open(const std::string& path);
    // Appends and flushes; false when the line did not reach the file.
    bool Append(const JournalEntry& entry);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();

private:
    std::FILE* file_ = nullptr;
};

// The whole journal file's text; false when it cannot be read.
bool ReadJournalFile(const std::string& path, std::string& text);
