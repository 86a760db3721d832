#define PASSERT_SOURCE "InstallerThread"
#include "rollback.h"

#include <atomic>
#include <cstring>

#include "installjournal_win.h"
#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"
#include "ppmsg.h"
#include "sharednames.h"

namespace {
const PStringEncoding* Paths() { return &PStringXEncoding; }

std::atomic<JournalStepHook> g_stepHook{nullptr};
std::atomic<int> g_steps{0};

void Step() {
    if (JournalStepHook hook = g_stepHook.load())
        hook(++g_steps);
}

std::wstring WideOf(const char* text) {
    PWString w;
    ToWide(w, text, Paths());
    w.terminate();
    return std::wstring(w.wide());
}

std::string Utf8Of(const char* text) { return WideToUtf8(WideOf(text)); }

PString PathOf(const std::string& utf8) {
    const std::wstring w = Utf8ToWide(utf8);
    PString out;
    FromWide(out, reinterpret_cast<const uint16_t*>(w.c_str()), Paths());
    return out;
}

// The system's operations, each line into the process log.
WindowsJournalActions LoggingActions() {
    return WindowsJournalActions([](const std::string& line) { LogLine("%s", PathOf(line).text()); });
}

PString TempFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH, path);
    PString out;
    if (n == 0 || n > MAX_PATH)
        return out;
    FromWide(out, reinterpret_cast<const uint16_t*>(path), Paths());
    while (out.length() > 3 && out.text()[out.length() - 1] == '\\')
        out.truncate(out.length() - 1);
    return out;
}

std::string ErrorText(uint32_t code) { return LoggingActions().ErrorText(code); }
}  // namespace

void SetJournalStepHook(JournalStepHook hook) {
    g_steps.store(0);
    g_stepHook.store(hook);
}

InstallRollback::~InstallRollback() = default;

void InstallRollback::Begin(const InstallOptions& options) {
    std::lock_guard<std::mutex> guard(lock_);
    options_ = options;
    owner_.displayName = Utf8Of(options.displayName.text());
    owner_.installFolder = Utf8Of(options.installFolder.text());
    entries_.clear();
    createdFolders_.clear();
    recordedKeys_.clear();
    asideNames_.clear();
    earlierLines_.clear();
    undone_ = false;
    undoFailures_ = 0;
    recording_ = false;

    journalPath_ = JournalPathFor(WideOf(options.displayName.text()));
    if (journalPath_.empty()) {
        earlierLines_.push_back("Rollback journal: no temporary folder; this run cannot be rolled back");
        return;
    }

    // A journal left behind: its run was interrupted, or its old copies were
    // still in use when it finished.
    std::vector<std::string>& held = earlierLines_;
    WindowsJournalActions actions([&held](const std::string& line) {
        const PString text = PathOf(line);
        LogLine("%s", text.text());  // reaches a log's mirror (-log) if there is one
        held.push_back(text.text());
    });
    JournalOutcome outcome;
    JournalOwner earlier;
    const JournalRecovery recovery = RecoverJournalFile(journalPath_, owner_.displayName, actions, outcome, earlier);
    if (recovery == JournalRecovery::Settled || recovery == JournalRecovery::Unsettled) {
        std::string summary = outcome.failures ? "Interrupted installation: " + std::to_string(outcome.failures) +
                                                     " step(s) could not be undone"
                                               : "Interrupted installation put right";
        if (!earlier.installFolder.empty())
            summary += " (it was installing into '" + earlier.installFolder + "')";
        actions.Log(summary);
    }
    if (recovery == JournalRecovery::Unsettled || recovery == JournalRecovery::Foreign) {
        // Its steps stay recorded for the next try; this run must not start
        // a journal over them, so it stops here: nothing is changed.
        actions.Log("The interrupted installation must be put right first; see the lines above");
        throw PSystemError(MsgString(TXTINS_Some_changes_of_the_installat_ELL, PathOf(journalPath_).text()).text(),
                           ERROR_INSTALL_FAILURE);
    }
    // Old copies of an earlier run that are still in use travel on in this
    // run's journal, so that its commit or undo deletes them.
    std::vector<std::string> leftovers = outcome.leftovers;

    if (!writer_.Open(journalPath_)) {
        earlierLines_.push_back(std::string("Rollback journal: cannot create '") + PathOf(journalPath_).text() +
                                "'; this run cannot be rolled back");
        return;
    }
    recording_ = true;
    const JournalEntry header = JournalHeader(owner_);
    entries_.push_back(header);
    writer_.Append(header);
    for (const std::string& path : leftovers) {
        const JournalEntry e{JournalKind::Leftover, {path}};
        entries_.push_back(e);
        writer_.Append(e);
    }
    Step();
}

void InstallRollback::AfterLogOpened() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines.swap(earlierLines_);
    }
    // The mirror had them as they happened; the install log gets them once.
    for (const std::string& line : lines)
        LogLineToProcessLogOnly("%s", line.c_str());
}

void InstallRollback::Record(const JournalEntry& entry) { RecordAll({entry}); }

void InstallRollback::RecordAll(const std::vector<JournalEntry>& entries) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!recording_)
        return;
    for (const JournalEntry& entry : entries) {
        entries_.push_back(entry);
        if (!writer_.Append(entry))
            LogLine("Rollback journal: cannot write '%s'", PathOf(journalPath_).text());
    }
    Step();
}

std::string InstallRollback::NextAsideName(const std::string& path) {
    WindowsJournalActions actions = LoggingActions();
    std::lock_guard<std::mutex> guard(lock_);
    for (int i = 0;; ++i) {
        std::string aside = path + kAsideSuffix;
        if (i)
            aside += std::to_string(i);
        if (!asideNames_.count(aside) && !actions.Exists(aside) && !actions.Exists(aside + kCopyingSuffix)) {
            asideNames_.insert(aside);
            return aside;
        }
    }
}

void InstallRollback::BeforeWriteFile(const char* path) {
    if (!recording_)
        return;
    const std::string file = Utf8Of(path);
    bool folderIsNew = false;
    if (const char* slash = std::strrchr(path, '\\')) {
        std::lock_guard<std::mutex> guard(lock_);
        folderIsNew = createdFolders_.count(std::string(path, slash)) != 0;
    }
    if (folderIsNew) {
        Record({JournalKind::CreatedFile, {file}});
        return;
    }
    const std::wstring wide = Utf8ToWide(file);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Record({JournalKind::CreatedFile, {file}});
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return;  // not ours to move: opening it for writing fails as it always did
    const std::string aside = NextAsideName(file);
    // Recorded first: the rename is atomic, so a process killed between the
    // two steps leaves a line whose copy does not exist, which undoing reads
    // as "never moved", never a moved file nobody knows of.
    Record({JournalKind::MovedAside, {file, aside}});
    if (!MoveFileExW(wide.c_str(), Utf8ToWide(aside).c_str(), 0)) {
        const DWORD code = GetLastError();
        throw PSystemError(MsgString(TXTINS_Cannot_open_file_XN0X, path).text(), code);
    }
}

void InstallRollback::NoteCreatedFolder(const char* path) {
    Record({JournalKind::CreatedFolder, {Utf8Of(path)}});
    std::lock_guard<std::mutex> guard(lock_);
    if (recording_)
        createdFolders_.insert(path);
}

bool InstallRollback::BeforeReplaceFile(const PString& path) {
    if (!recording_)
        return true;
    const std::string file = Utf8Of(path.text());
    WindowsJournalActions actions = LoggingActions();
    if (!actions.Exists(file)) {
        Record({JournalKind::CreatedFile, {file}});
        return true;
    }
    const std::string aside = NextAsideName(file);
    const std::string copying = aside + kCopyingSuffix;
    // The copy's undo line is written only once the copy is whole and on
    // the disk: an interrupted copy leaves a temporary file that undoing
    // deletes, never a partial copy that it would put over the original.
    Record({JournalKind::CopyingAside, {copying, aside}});
    if (const uint32_t code = CopyAsideDurably(file, copying, aside, &Step)) {
        LogLine("Rollback: cannot keep a copy of '%s': %s; it is left unchanged", path.text(),
                PathOf(ErrorText(code)).text());
        return false;
    }
    Record({JournalKind::CopiedAside, {file, aside}});
    return true;
}

void InstallRollback::BeforeRegistryWrite(HKEY hive, const PString& key) {
    if (!recording_)
        return;
    const std::string hiveName = hive == HKEY_CURRENT_USER ? "HKCU" : hive == HKEY_USERS ? "HKU" : "HKLM";
    const std::string keyText = Utf8Of(key.text());
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!recordedKeys_.insert(hiveName + "\\" + keyText).second)
            return;
    }
    // One step: the key is written only after its whole snapshot is.
    RecordAll(SnapshotEntries(SnapshotRegistryKey(hiveName, keyText)));
}

bool InstallRollback::RemoveOldFile(const PString& path) {
    const std::string file = Utf8Of(path.text());
    const std::wstring wide = Utf8ToWide(file);
    if (!recording_) {
        // Unrecorded, the file simply goes.
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(wide.c_str()) != 0;
    }
    const std::string aside = NextAsideName(file);
    Record({JournalKind::MovedAside, {file, aside}});
    if (!MoveFileExW(wide.c_str(), Utf8ToWide(aside).c_str(), 0)) {
        LogLine("Cannot remove the earlier installation's '%s': %s", path.text(),
                PathOf(ErrorText(GetLastError())).text());
        return false;
    }
    const size_t slash = file.rfind('\\');
    if (slash != std::string::npos)
        Record({JournalKind::EmptiedFolder, {file.substr(0, slash)}});
    return true;
}

void InstallRollback::Finish(bool success) {
    std::vector<JournalEntry> entries;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!recording_)
            return;
        recording_ = false;
        entries = entries_;  // AfterLogClosed still needs the folders
    }
    JournalOutcome outcome;
    bool settled = false;
    try {
        WindowsJournalActions actions = LoggingActions();
        if (success) {
            writer_.Append({JournalKind::Committed, {}});
            Step();
            outcome = CommitJournal(entries, actions);
        } else {
            LogLine("Rolling back the installation");
            outcome = UndoJournal(entries, actions);
            undoFailures_ = outcome.failures;
            if (outcome.failures)
                LogLine("Rollback finished: %d step(s) could not be undone", outcome.failures);
            else
                LogLine("Rollback finished: everything the installation changed was put back");
            undone_ = true;
            for (const JournalEntry& e : entries)
                if (e.kind == JournalKind::CreatedFolder && e.fields[0] == owner_.installFolder)
                    LogLine("The install folder goes too; this log is kept as '%s'", KeptLogPath().text());
        }
        settled = success || outcome.failures == 0;
    } catch (...) {
        LogLine("Rollback: unexpected error");
    }
    writer_.Close();
    if (!settled) {
        // What could not be undone stays recorded: the next run (or the
        // uninstaller) tries again.
        LogLine("The journal '%s' is kept for the next run", PathOf(journalPath_).text());
        return;
    }
    // Gone, or reduced to the old copies still in use.
    if (!ReplaceJournalFile(journalPath_, LeftoverJournal(owner_, outcome.leftovers)))
        LogLine("Rollback journal: cannot update '%s'", PathOf(journalPath_).text());
}

PString InstallRollback::KeptLogPath() const {
    PString p(TempFolder());
    p.append('\\');
    AppendText(p, options_.displayName.text());
    p.append(" Install.log");
    return p;
}

PString InstallRollback::RunLogPath() const {
    return logKept_ ? KeptLogPath() : JoinPath(options_.installFolder.text(), SharedNames::kInstallLogFile.narrow);
}

void InstallRollback::AfterLogClosed() {
    logKept_ = false;
    if (!undone_)
        return;
    undone_ = false;
    // The install folder goes only if this run made it; its log is kept in
    // the temporary folder.
    bool madeInstallFolder = false;
    for (const JournalEntry& e : entries_)
        if (e.kind == JournalKind::CreatedFolder && e.fields[0] == owner_.installFolder)
            madeInstallFolder = true;
    if (madeInstallFolder) {
        const std::wstring log = WideOf(JoinPath(options_.installFolder.text(),
                                                 SharedNames::kInstallLogFile.narrow).text());
        const std::wstring kept = WideOf(KeptLogPath().text());
        if (GetFileAttributesW(log.c_str()) != INVALID_FILE_ATTRIBUTES)
            logKept_ = MoveFileExW(log.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
    }
    WindowsJournalActions actions([](const std::string&) {});
    for (size_t i = entries_.size(); i-- > 0;) {
        if (entries_[i].kind != JournalKind::CreatedFolder)
            continue;
        bool removed = false;
        actions.RemoveFolderIfEmpty(entries_[i].fields[0], removed);
    }
    entries_.clear();
}
