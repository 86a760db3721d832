#define PASSERT_SOURCE "InstallerThread"
#include "rollback.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "pfile.h"
#include "plog.h"
#include "ppathtext.h"
#include "ppmsg.h"
#include "punique.h"
#include "sharednames.h"

namespace {
const PStringEncoding* Paths() { return &PStringXEncoding; }

std::atomic<InstallRollback*> g_recording{nullptr};


std::wstring Wide(const std::string& text) {
    PWString w;
    ToWide(w, text.c_str(), Paths());
    w.terminate();
    return std::wstring(w.wide());
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

HKEY Hive(const std::string& name) { return name == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

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

// Built as registration builds its paths, so that the files kept are the
// ones it writes.
PString Join(const PString& folder, const char* name) { return JoinPath(folder.text(), name); }

// A file in the temporary folder named after the product: both texts may be
// in either PStringX form.
PString TempFile(const PString& temp, const PString& displayName, const char* suffix) {
    PString p(temp);
    p.append('\\');
    AppendText(p, displayName.text());
    p.append(suffix);
    return p;
}

// A name next to path that nothing uses yet.
PString AsideName(const char* path) {
    for (int i = 0;; ++i) {
        PString aside(path);
        aside.append(".~rollback");
        if (i) {
            char n[16];
            std::snprintf(n, sizeof n, "%d", i);
            aside.append(n);
        }
        if (!Exists(aside.text()))
            return aside;
    }
}

RegistrySnapshot Snapshot(const char* hiveName, const PString& key) {
    RegistrySnapshot s;
    s.hive = hiveName;
    s.key = key.text();
    UniqueRegistryKey opened;
    if (RegOpenKeyExW(Hive(s.hive), Wide(s.key).c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return s;
    HKEY k = opened.get();
    s.existed = true;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(k, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLength = 16384;
        if (RegEnumValueW(k, i, name, &nameLength, nullptr, &type,
                          size ? reinterpret_cast<BYTE*>(&data[0]) : nullptr, &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        RegistrySnapshot::Value v;
        v.name.assign(reinterpret_cast<const char*>(name), nameLength * sizeof(wchar_t));
        v.type = type;
        v.data = data;
        s.values.push_back(v);
    }
    return s;
}

std::string Contents(const std::string& path, bool& ok) {
    std::string text;
    ok = false;
    if (const UniqueStdioFile f{OpenFile(path.c_str(), "rb", Paths())}) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0;)
            text.append(buffer, n);
        ok = !std::ferror(f.get());
    }
    return text;
}

bool SameContents(const std::string& a, const std::string& b) {
    bool okA = false, okB = false;
    const std::string ta = Contents(a, okA), tb = Contents(b, okB);
    return okA && okB && ta == tb;
}

// The rollback's system operations, logging to the process log.
class WindowsRollbackActions : public RollbackActions {
public:
    bool RemoveCreatedFile(const std::string& path, bool& removed) override {
        removed = false;
        if (!Exists(path))
            return true;
        removed = DeleteFileW(Wide(path).c_str()) != 0;
        return removed;
    }
    bool PutBack(const std::string& aside, const std::string& path) override {
        // A kept copy of a file nobody changed goes, and the file stays
        // untouched (an existing user.ini, say).
        if (Exists(path) && Exists(aside) && SameContents(aside, path))
            return DeleteFileW(Wide(aside).c_str()) != 0;
        return MoveFileExW(Wide(aside).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    }
    bool RemoveFolderIfEmpty(const std::string& path, bool& removed) override {
        removed = false;
        const std::wstring w = Wide(path);
        DWORD attributes = GetFileAttributesW(w.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        WIN32_FIND_DATAW found;
        bool empty = true;
        if (const UniqueFindHandle find{FindFirstFileW((w + L"\\*").c_str(), &found)}) {
            do {
                if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
                    empty = false;
            } while (empty && FindNextFileW(find.get(), &found));
        }
        if (!empty)
            return true;
        removed = RemoveDirectoryW(w.c_str()) != 0;
        return removed;
    }
    bool RestoreKey(const RegistrySnapshot& s, bool& changed) override {
        const HKEY hive = Hive(s.hive);
        const std::wstring key = Wide(s.key);
        changed = false;
        if (!s.existed) {
            LONG rc = RegDeleteKeyW(hive, key.c_str());
            changed = rc == ERROR_SUCCESS;
            return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
        }
        // Nothing to do when the key is as it was.
        {
            RegistrySnapshot now = Snapshot(s.hive.c_str(), PString(s.key.c_str()));
            bool same = now.existed && now.values.size() == s.values.size();
            for (size_t i = 0; same && i < s.values.size(); ++i) {
                bool found = false;
                for (const RegistrySnapshot::Value& v : now.values)
                    found = found || (v.name == s.values[i].name && v.type == s.values[i].type &&
                                      v.data == s.values[i].data);
                same = found;
            }
            if (same)
                return true;
        }
        changed = true;
        UniqueRegistryKey opened;
        if (RegCreateKeyExW(hive, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.put(), nullptr) !=
            ERROR_SUCCESS)
            return false;
        HKEY k = opened.get();
        bool ok = true;
        // Values the run added go; the old ones come back as they were.
        std::vector<std::wstring> added;
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD length = 16384;
            if (RegEnumValueW(k, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            const std::string bytes(reinterpret_cast<const char*>(name), length * sizeof(wchar_t));
            bool old = false;
            for (const RegistrySnapshot::Value& v : s.values)
                old = old || v.name == bytes;
            if (!old)
                added.emplace_back(name, length);
        }
        for (const std::wstring& name : added)
            ok = RegDeleteValueW(k, name.c_str()) == ERROR_SUCCESS && ok;
        for (const RegistrySnapshot::Value& v : s.values) {
            std::wstring name(reinterpret_cast<const wchar_t*>(v.name.data()), v.name.size() / sizeof(wchar_t));
            ok = RegSetValueExW(k, name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                DWORD(v.data.size())) == ERROR_SUCCESS &&
                 ok;
        }
        return ok;
    }
    bool DeleteAside(const std::string& aside) override {
        return !Exists(aside) || DeleteFileW(Wide(aside).c_str()) != 0;
    }
    void Log(const std::string& line) override { LogLine("%s", line.c_str()); }
};

// Collects the lines of a recovery that runs before the install log exists.
class HeldLogActions : public WindowsRollbackActions {
public:
    explicit HeldLogActions(std::vector<std::string>& lines) : lines_(lines) {}
    void Log(const std::string& line) override {
        LogLine("%s", line.c_str());  // reaches a log's copy (-log) if there is one
        lines_.push_back(line);
    }

private:
    std::vector<std::string>& lines_;
};
}  // namespace

void NoteCreatedFolder(const char* path) {
    if (InstallRollback* r = g_recording.load())
        r->NoteCreatedFolder(path);
}

InstallRollback::~InstallRollback() {
    InstallRollback* self = this;
    g_recording.compare_exchange_strong(self, nullptr);
}

void InstallRollback::Begin(const InstallOptions& options) {
    std::lock_guard<std::mutex> guard(lock_);
    options_ = options;
    displayName_ = options.displayName;
    entries_.clear();
    createdFolders_.clear();
    earlierLines_.clear();
    undone_ = false;
    recording_ = false;

    PString temp = TempFolder();
    if (temp.empty()) {
        earlierLines_.push_back("Rollback journal: no temporary folder; this run cannot be rolled back");
        return;
    }
    journalPath_ = TempFile(temp, displayName_, ".install-journal");

    // A journal left behind: its run was killed before it could finish.
    if (Exists(journalPath_.text())) {
        bool read = false;
        const std::string text = Contents(journalPath_.text(), read);
        HeldLogActions actions(earlierLines_);
        int failures = RecoverJournal(ParseJournal(text), actions);
        if (failures)
            earlierLines_.push_back("Interrupted installation: " + std::to_string(failures) + " step(s) failed");
        RemoveFile(journalPath_.text(), Paths());
    }

    if (!writer_.Open(journalPath_.text())) {
        earlierLines_.push_back(std::string("Rollback journal: cannot create '") + journalPath_.text() +
                                "'; this run cannot be rolled back");
        return;
    }
    recording_ = true;
    g_recording.store(this);

    // The keys registration writes, as they are now.
    PString uninstallKey(SharedNames::kUninstallRoot.narrow);
    AppendText(uninstallKey, displayName_.text());
    std::vector<RegistrySnapshot> keys = {Snapshot("HKLM", uninstallKey), Snapshot("HKCU", uninstallKey)};
    if (!options.browserButtonId.empty()) {
        PString button(options.isWow64 ? "Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\"
                                       : "Software\\Microsoft\\Internet Explorer\\Extensions\\");
        AppendText(button, options.browserButtonId.text());
        keys.push_back(Snapshot("HKLM", button));
        keys.push_back(Snapshot("HKCU", button));
    }
    for (const RegistrySnapshot& s : keys)
        for (const JournalEntry& e : SnapshotEntries(s)) {
            entries_.push_back(e);
            writer_.Append(e);
        }
}

void InstallRollback::AfterLogOpened() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(lock_);
        lines.swap(earlierLines_);
    }
    for (const std::string& line : lines)
        LogLine("%s", line.c_str());
    if (!recording_)
        return;

    // Files that registration and the settings writers replace or delete.
    const InstallOptions& o = options_;
    const PString link = PString(o.displayName).append(".lnk");
    const PString uninstallLink = PString("Uninstall ").append(o.displayName).append(".lnk");
    std::vector<PString> files;
    for (const PString* programs : {&o.programsFolder, &o.commonProgramsFolder}) {
        if (programs->empty())
            continue;
        PString group = Join(*programs, o.productName.text());
        for (const PString* name : {&link, &uninstallLink})
            files.push_back(Join(group, name->text()));
        files.push_back(Join(group, "Network Status.lnk"));
    }
    files.push_back(Join(o.installFolder, uninstallLink.text()));
    for (const PString* folder : {&o.desktopFolder, &o.commonDesktopFolder, &o.startMenuFolder,
                                  &o.commonStartMenuFolder, &o.quickLaunchFolder})
        if (!folder->empty())
            files.push_back(Join(*folder, link.text()));
    files.push_back(Join(o.installFolder, SharedNames::kTrackingFile.narrow));
    std::vector<PString> settingsFolders = {o.installFolder};
    if (o.useLocalAppData) {
        wchar_t appData[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, appData))) {
            PString folder;
            FromWide(folder, reinterpret_cast<const uint16_t*>(appData), Paths());
            folder = Join(folder, o.workFolderName.text());
            if (!Exists(folder.text()))
                Record({JournalKind::CreatedFolder, {folder.text()}});
            settingsFolders.push_back(folder);
        }
    }
    for (const PString& folder : settingsFolders) {
        files.push_back(Join(folder, SharedNames::kUserSettingsFile.narrow));
        files.push_back(Join(folder, SharedNames::kUserSettingsBackupFile.narrow));
    }
    for (const PString& f : files)
        KeepCopy(f);
}

void InstallRollback::Record(const JournalEntry& entry) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!recording_)
        return;
    entries_.push_back(entry);
    if (!writer_.Append(entry))
        LogLine("Rollback journal: cannot write '%s'", journalPath_.text());
}

void InstallRollback::KeepCopy(const PString& path) {
    if (!Exists(path.text())) {
        Record({JournalKind::CreatedFile, {path.text()}});
        return;
    }
    PString aside = AsideName(path.text());
    Record({JournalKind::CopiedAside, {path.text(), aside.text()}});
    if (!CopyFileW(Wide(path.text()).c_str(), Wide(aside.text()).c_str(), FALSE))
        LogLine("Rollback: cannot keep a copy of '%s' (%lu)", path.text(), GetLastError());
}

void InstallRollback::BeforeWriteFile(const char* path) {
    if (!recording_)
        return;
    bool folderIsNew = false;
    if (const char* slash = std::strrchr(path, '\\')) {
        std::lock_guard<std::mutex> guard(lock_);
        folderIsNew = createdFolders_.count(std::string(path, slash)) != 0;
    }
    if (folderIsNew) {
        Record({JournalKind::CreatedFile, {path}});
        return;
    }
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Record({JournalKind::CreatedFile, {path}});
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return;  // not ours to move: opening it for writing fails as it always did
    PString aside = AsideName(path);
    // Recorded first: a process killed between the two steps leaves a line
    // whose copy is missing, never a moved file nobody knows of.
    Record({JournalKind::MovedAside, {path, aside.text()}});
    if (!MoveFileExW(Wide(path).c_str(), Wide(aside.text()).c_str(), 0))
        throw PSystemError(MsgString(TXTINS_Cannot_open_file_XN0X, path).text(), GetLastError());
}

void InstallRollback::NoteCreatedFolder(const char* path) {
    Record({JournalKind::CreatedFolder, {path}});
    std::lock_guard<std::mutex> guard(lock_);
    if (recording_)
        createdFolders_.insert(path);
}

void InstallRollback::Finish(bool success) {
    InstallRollback* self = this;
    g_recording.compare_exchange_strong(self, nullptr);
    std::vector<JournalEntry> entries;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!recording_)
            return;
        recording_ = false;
        entries.swap(entries_);
        entries_ = entries;  // AfterLogClosed still needs the folders
    }
    try {
        WindowsRollbackActions actions;
        if (success) {
            writer_.Append({JournalKind::Committed, {}});
            CommitJournal(entries, actions);
        } else {
            LogLine("Rolling back the installation");
            int failures = UndoJournal(entries, actions);
            LogLine("Rollback finished: %d step(s) failed", failures);
            undone_ = true;
            for (const JournalEntry& e : entries)
                if (e.kind == JournalKind::CreatedFolder && e.fields[0] == options_.installFolder.text())
                    LogLine("The install folder goes too; this log is kept as '%s'", KeptLogPath().text());
        }
    } catch (...) {
        LogLine("Rollback: unexpected error");
    }
    writer_.Close();
    RemoveFile(journalPath_.text(), Paths());
}

PString InstallRollback::KeptLogPath() const {
    return TempFile(TempFolder(), displayName_, " Install.log");
}

void InstallRollback::AfterLogClosed() {
    if (!undone_)
        return;
    undone_ = false;
    // The install folder goes only if this run made it; its log is kept in
    // the temporary folder.
    bool madeInstallFolder = false;
    for (const JournalEntry& e : entries_)
        if (e.kind == JournalKind::CreatedFolder && e.fields[0] == options_.installFolder.text())
            madeInstallFolder = true;
    if (madeInstallFolder) {
        PString log = Join(options_.installFolder, SharedNames::kInstallLogFile.narrow);
        PString kept = KeptLogPath();
        if (Exists(log.text()))
            MoveFileExW(Wide(log.text()).c_str(), Wide(kept.text()).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    }
    WindowsRollbackActions actions;
    for (size_t i = entries_.size(); i-- > 0;) {
        if (entries_[i].kind != JournalKind::CreatedFolder)
            continue;
        bool removed = false;
        actions.RemoveFolderIfEmpty(entries_[i].fields[0], removed);
    }
    entries_.clear();
}
