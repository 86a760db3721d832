// The rollback journal: its lines, how a killed writer's last line is read,
// and the order and resilience of undoing, committing and recovering.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "installjournal.h"
#include "test_paths.h"

namespace {

// Actions on an imaginary machine: files by path with their contents,
// folders, and registry keys with their values; chosen operations fail.
class FakeMachine : public JournalActions {
public:
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::map<std::string, std::map<std::string, std::string>> keys;  // "hive\key" -> name -> data
    std::set<std::string> failing;  // paths or keys whose operation fails (error 5)
    std::set<std::string> atRestart;
    std::vector<std::string> log;

    bool Exists(const std::string& path) override { return files.count(path) || folders.count(path); }
    uint32_t DeleteOneFile(const std::string& path) override {
        if (failing.count(path))
            return 5;
        files.erase(path);
        return 0;
    }
    uint32_t MoveReplacing(const std::string& from, const std::string& to) override {
        if (failing.count(to) || failing.count(from) || !files.count(from))
            return 5;
        files[to] = files[from];
        files.erase(from);
        return 0;
    }
    bool SameContents(const std::string& a, const std::string& b) override {
        return files.count(a) && files.count(b) && files[a] == files[b];
    }
    uint32_t RemoveFolderIfEmpty(const std::string& path, bool& removed) override {
        removed = false;
        if (failing.count(path))
            return 5;
        for (const auto& f : files)
            if (f.first.rfind(path + "\\", 0) == 0)
                return 0;
        for (const std::string& d : folders)
            if (d.rfind(path + "\\", 0) == 0)
                return 0;
        removed = folders.erase(path) > 0;
        return 0;
    }
    uint32_t RestoreKey(const RegistrySnapshot& s, bool& changed) override {
        const std::string id = s.hive + "\\" + s.key;
        changed = false;
        if (failing.count(id))
            return 5;
        if (!s.existed) {
            changed = keys.erase(id) > 0;
            return 0;
        }
        std::map<std::string, std::string> old;
        for (const auto& v : s.values)
            old[v.name] = v.data;
        changed = !keys.count(id) || keys[id] != old;
        keys[id] = old;
        return 0;
    }
    uint32_t DeleteAtRestart(const std::string& path) override {
        atRestart.insert(path);
        return 0;
    }
    std::string ErrorText(uint32_t code) override { return "error " + std::to_string(code); }
    void Log(const std::string& line) override { log.push_back(line); }

    bool Logged(const std::string& part) const {
        for (const std::string& l : log)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
};

JournalEntry Created(const std::string& path) { return {JournalKind::CreatedFile, {path}}; }
JournalEntry Folder(const std::string& path) { return {JournalKind::CreatedFolder, {path}}; }
JournalEntry Moved(const std::string& path, const std::string& aside) {
    return {JournalKind::MovedAside, {path, aside}};
}

std::string Text(const std::vector<JournalEntry>& entries) {
    std::string text;
    for (const JournalEntry& e : entries)
        text += FormatJournalEntry(e);
    return text;
}

TEST(RollbackJournalText, EveryKindSurvivesTheRoundTrip) {
    RegistrySnapshot s;
    s.hive = "HKLM";
    s.key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvandite";
    s.existed = true;
    s.values.push_back({std::string("D\0N\0", 4), 1, std::string("old\0\t\n", 6)});
    s.values.push_back({std::string(), 4, std::string()});  // the default value, empty data
    std::vector<JournalEntry> entries = {Folder("C:\\Games\\Card Room"),
                                         Created("C:\\Games\\Card Room\\a b.exe"),
                                         Moved("C:\\x\\old.dll", "C:\\x\\old.dll.~rollback"),
                                         {JournalKind::CopiedAside, {"C:\\d\\M.lnk", "C:\\d\\M.lnk.~rollback"}}};
    for (const JournalEntry& e : SnapshotEntries(s))
        entries.push_back(e);
    entries.push_back({JournalKind::Committed, {}});

    const std::vector<JournalEntry> back = ParseJournal(Text(entries));
    ASSERT_EQ(back.size(), entries.size());
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].kind, entries[i].kind) << i;
        EXPECT_EQ(back[i].fields, entries[i].fields) << i;
    }
    // Binary names and data, tabs and line breaks included, come back whole.
    FakeMachine m;
    m.keys["HKLM\\" + s.key]["stray"] = "added by the run";
    UndoJournal(back, m);
    const auto& restored = m.keys["HKLM\\" + s.key];
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_EQ(restored.at(std::string("D\0N\0", 4)), std::string("old\0\t\n", 6));
    EXPECT_EQ(restored.at(std::string()), std::string());
}

TEST(RollbackJournalText, AKilledWritersLastLineAndGarbageAreSkipped) {
    std::string text = Text({Created("C:\\a"), Created("C:\\b")});
    // The process died in the middle of the third line.
    text += "F\tC:\\c";
    EXPECT_EQ(ParseJournal(text).size(), 2u);
    // Lines of unknown kinds, wrong field counts, empty paths and bad hex.
    const std::string garbage = "X\tC:\\a\nF\nFC:\\a\nM\tC:\\only-one\nF\t\nK\tHKLM\tkey\nD\tC:\\a\tC:\\b\n\r\n";
    EXPECT_TRUE(ParseJournal(garbage).empty());
    EXPECT_EQ(ParseJournal("F\tC:\\a\r\n").size(), 1u);  // CR LF written by hand is fine
    std::string out = "unchanged";
    EXPECT_FALSE(HexDecode("abc", out));
    EXPECT_FALSE(HexDecode("zz", out));
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(HexDecode("00FFa0", out));
    EXPECT_EQ(out, std::string("\0\xff\xa0", 3));
}

TEST(Rollback, UndoesInReverseOrderAndPutsTheOldFilesBack) {
    FakeMachine m;
    // Before: an earlier install with old.dll; the run made a folder, a
    // file in it, and replaced old.dll.
    m.folders = {"C:\\G", "C:\\G\\Data"};
    m.files = {{"C:\\G\\Data\\new.txt", "new"}, {"C:\\G\\old.dll", "new version"},
               {"C:\\G\\old.dll.~rollback", "old version"}, {"C:\\G\\user.ini", "mine"}};
    const std::vector<JournalEntry> entries = {Folder("C:\\G\\Data"), Created("C:\\G\\Data\\new.txt"),
                                               Moved("C:\\G\\old.dll", "C:\\G\\old.dll.~rollback")};
    EXPECT_EQ(UndoJournal(entries, m).failures, 0);
    // The folder could only go once its file was gone: reverse order.
    EXPECT_EQ(m.folders, (std::set<std::string>{"C:\\G"}));
    const std::map<std::string, std::string> expected = {{"C:\\G\\old.dll", "old version"},
                                                         {"C:\\G\\user.ini", "mine"}};
    EXPECT_EQ(m.files, expected);
    EXPECT_TRUE(m.Logged("Rolled back: removed 'C:\\G\\Data\\new.txt'"));
    EXPECT_TRUE(m.Logged("Rolled back: restored 'C:\\G\\old.dll'"));
    EXPECT_TRUE(m.Logged("Rolled back: removed folder 'C:\\G\\Data'"));
}

TEST(Rollback, AFailureIsLoggedAndTheRestGoesOn) {
    FakeMachine m;
    m.folders = {"C:\\G"};
    m.files = {{"C:\\G\\a", "1"}, {"C:\\G\\b", "2"}, {"C:\\G\\c", "3"}};
    m.failing = {"C:\\G\\b"};
    EXPECT_EQ(UndoJournal({Folder("C:\\G"), Created("C:\\G\\a"), Created("C:\\G\\b"), Created("C:\\G\\c")}, m).failures, 1);
    EXPECT_EQ(m.files.count("C:\\G\\a"), 0u);
    EXPECT_EQ(m.files.count("C:\\G\\c"), 0u);
    EXPECT_EQ(m.files.count("C:\\G\\b"), 1u);
    EXPECT_TRUE(m.Logged("Rollback failed: cannot remove 'C:\\G\\b': error 5"));
    // A folder that still holds something is kept, and that is no failure.
    EXPECT_EQ(m.folders.count("C:\\G"), 1u);
    EXPECT_TRUE(m.Logged("kept folder 'C:\\G' (not empty)"));
    // A file recorded but never made is no step of the rollback.
    FakeMachine early;
    EXPECT_EQ(UndoJournal({Created("C:\\never")}, early).failures, 0);
    EXPECT_TRUE(early.log.empty());
}

TEST(Rollback, OnlyWhatTheJournalNamesIsTouched) {
    FakeMachine m;
    m.folders = {"C:\\G"};
    m.files = {{"C:\\G\\theirs.txt", "keep"}, {"C:\\G\\ours.txt", "x"}, {"C:\\other\\file", "keep"}};
    m.keys["HKLM\\Software\\Other"]["v"] = "keep";
    m.keys["HKLM\\Software\\Ours"]["v"] = "new";
    RegistrySnapshot ours;
    ours.hive = "HKLM";
    ours.key = "Software\\Ours";
    ours.existed = false;
    std::vector<JournalEntry> entries = SnapshotEntries(ours);
    entries.push_back(Created("C:\\G\\ours.txt"));
    UndoJournal(entries, m);
    EXPECT_EQ(m.files.size(), 2u);
    EXPECT_EQ(m.files.count("C:\\G\\theirs.txt"), 1u);
    EXPECT_EQ(m.keys.count("HKLM\\Software\\Ours"), 0u);
    EXPECT_EQ(m.keys["HKLM\\Software\\Other"]["v"], "keep");
    EXPECT_EQ(m.folders.count("C:\\G"), 1u);
    EXPECT_TRUE(m.Logged("Rolled back: removed registry key HKLM\\Software\\Ours"));
    // A key the run never got to write is no step of the rollback.
    FakeMachine untouched;
    EXPECT_EQ(UndoJournal(SnapshotEntries(ours), untouched).failures, 0);
    EXPECT_TRUE(untouched.log.empty());
}

// An elevated run that installs for the desktop's user records that user's
// keys under HKEY_USERS with the SID in the key path; undoing restores them
// there, and a hive the journal does not know is never taken for another.
TEST(RollbackOtherUsersHive, KeysUnderTheUsersSidAreRestoredThere) {
    const std::string sid = "S-1-5-21-3623811015-3361044348-30300820-1013";
    RegistrySnapshot button;
    button.hive = "HKU";
    button.key = sid + "\\Software\\Microsoft\\Internet Explorer\\Extensions\\{7D1A52C4}";
    button.existed = true;
    button.values.push_back({std::string("E\0x\0e\0c\0", 8), 1, std::string("old launcher")});
    RegistrySnapshot entry;
    entry.hive = "HKU";
    entry.key = sid + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvandite";
    entry.existed = false;
    std::vector<JournalEntry> entries = SnapshotEntries(button);
    for (const JournalEntry& e : SnapshotEntries(entry))
        entries.push_back(e);

    FakeMachine m;
    m.keys["HKU\\" + button.key][std::string("E\0x\0e\0c\0", 8)] = "new launcher";
    m.keys["HKU\\" + entry.key]["Button1"] = "{7D1A52C4}";
    // The machine's and the current user's keys of the same path are not
    // the user's: they stay as they are.
    m.keys["HKLM\\" + button.key]["x"] = "machine";
    m.keys["HKCU\\" + entry.key]["x"] = "current user";
    const JournalOutcome undone = UndoJournal(ParseJournal(Text(entries)), m);
    EXPECT_EQ(undone.failures, 0);
    EXPECT_EQ(m.keys["HKU\\" + button.key], (std::map<std::string, std::string>{
                                                {std::string("E\0x\0e\0c\0", 8), "old launcher"}}));
    EXPECT_EQ(m.keys.count("HKU\\" + entry.key), 0u);
    EXPECT_EQ(m.keys["HKLM\\" + button.key]["x"], "machine");
    EXPECT_EQ(m.keys["HKCU\\" + entry.key]["x"], "current user");
    EXPECT_TRUE(m.Logged("Rolled back: restored registry key HKU\\" + button.key));
    EXPECT_TRUE(m.Logged("Rolled back: removed registry key HKU\\" + entry.key));
}

TEST(RollbackOtherUsersHive, OnlyAKeyBelowAUsersSidIsInThatHive) {
    auto hive = [](const std::string& name, const std::string& key) {
        RegistrySnapshot s;
        s.hive = name;
        s.key = key;
        return SnapshotHive(s);
    };
    EXPECT_EQ(hive("HKLM", "Software\\X"), SnapshotHiveKind::Machine);
    EXPECT_EQ(hive("HKCU", "Software\\X"), SnapshotHiveKind::CurrentUser);
    EXPECT_EQ(hive("HKU", "S-1-5-21-1-2-3-1001\\Software\\X"), SnapshotHiveKind::Users);
    EXPECT_EQ(hive("HKU", "S-1-5-18\\Software"), SnapshotHiveKind::Users);
    for (const char* key : {"Software\\X",                  // no SID
                            "S-1-5-21-1-2-3-1001",           // the user's whole hive
                            "S-1-5-21-1-2-3-1001\\",         // the same
                            "S-1-\\Software", "S-1-5--21\\Software", "S-1-5-\\Software",
                            "S-1-5-21-1x\\Software", ".DEFAULT\\Software", "S-2-5-21\\Software", ""})
        EXPECT_EQ(hive("HKU", key), SnapshotHiveKind::Unknown) << key;
    for (const char* name : {"HKEY_USERS", "hku", "HKCR", "", "HKU "})
        EXPECT_EQ(hive(name, "S-1-5-21-1-2-3-1001\\Software"), SnapshotHiveKind::Unknown) << name;

    // Undone, such a snapshot is a step that failed, and no key anywhere is touched.
    RegistrySnapshot stray;
    stray.hive = "HKX";
    stray.key = "Software\\Morvandite";
    RegistrySnapshot rootless;
    rootless.hive = "HKU";
    rootless.key = "Software\\Morvandite";
    FakeMachine m;
    m.keys["HKLM\\Software\\Morvandite"]["v"] = "machine";
    m.keys["HKX\\Software\\Morvandite"]["v"] = "x";
    m.keys["HKU\\Software\\Morvandite"]["v"] = "u";
    std::vector<JournalEntry> entries = SnapshotEntries(stray);
    for (const JournalEntry& e : SnapshotEntries(rootless))
        entries.push_back(e);
    EXPECT_EQ(UndoJournal(ParseJournal(Text(entries)), m).failures, 2);
    EXPECT_EQ(m.keys.size(), 3u);
    EXPECT_EQ(m.keys["HKLM\\Software\\Morvandite"]["v"], "machine");
    EXPECT_TRUE(m.Logged("Rollback failed: cannot restore registry key HKX\\Software\\Morvandite: no hive of that name"));
}

TEST(Rollback, RecoveryUndoesAnUnfinishedRunAndCommitsAFinishedOne) {
    const std::vector<JournalEntry> unfinished = {Moved("C:\\G\\a", "C:\\G\\a.~rollback")};
    FakeMachine killed;
    killed.files = {{"C:\\G\\a", "half written"}, {"C:\\G\\a.~rollback", "old"}};
    EXPECT_EQ(RecoverJournal(unfinished, killed).failures, 0);
    EXPECT_EQ(killed.files, (std::map<std::string, std::string>{{"C:\\G\\a", "old"}}));
    EXPECT_TRUE(killed.Logged("interrupted installation"));

    std::vector<JournalEntry> finished = unfinished;
    finished.push_back({JournalKind::Committed, {}});
    FakeMachine done;
    done.files = {{"C:\\G\\a", "new"}, {"C:\\G\\a.~rollback", "old"}};
    EXPECT_TRUE(JournalCommitted(finished));
    EXPECT_EQ(RecoverJournal(finished, done).failures, 0);
    EXPECT_EQ(done.files, (std::map<std::string, std::string>{{"C:\\G\\a", "new"}}));

    // A process killed between the line and the rename: the old file is
    // still in its place, so nothing is to be put back and nothing failed.
    FakeMachine beforeRename;
    beforeRename.files = {{"C:\\G\\a", "old"}};
    const JournalOutcome untouched = RecoverJournal(unfinished, beforeRename);
    EXPECT_EQ(untouched.failures, 0);
    EXPECT_EQ(untouched.changes, 0);
    EXPECT_EQ(beforeRename.files, (std::map<std::string, std::string>{{"C:\\G\\a", "old"}}));
    EXPECT_FALSE(beforeRename.Logged("Rollback failed"));

    // Both the file and its old copy gone: that is a loss, and it says so.
    FakeMachine lost;
    EXPECT_EQ(RecoverJournal(unfinished, lost).failures, 1);
    EXPECT_TRUE(lost.Logged("Rollback failed: cannot restore 'C:\\G\\a': its old copy 'C:\\G\\a.~rollback' is gone"));
}

JournalEntry Copying(const std::string& path) {
    return {JournalKind::CopyingAside, {path + ".~rollback.~copying", path + ".~rollback"}};
}
JournalEntry Copied(const std::string& path) { return {JournalKind::CopiedAside, {path, path + ".~rollback"}}; }

// The copy aside of a file registration or the settings writer replaces,
// interrupted at each of its moments: the original is never replaced by a
// copy that was not complete, and nothing of the copy is left behind.
TEST(RollbackCopies, AnInterruptedCopyNeverReplacesTheOriginal) {
    const std::string ini = "C:\\Users\\u\\user.ini";
    struct Moment {
        const char* name;
        std::vector<JournalEntry> journal;
        std::map<std::string, std::string> extra;  // files the interrupted copy left
    };
    const std::vector<Moment> moments = {
        {"before the copy began", {Copying(ini)}, {}},
        {"during the copy", {Copying(ini)}, {{ini + ".~rollback.~copying", "[Opt"}}},
        {"after the rename, before its line", {Copying(ini)}, {{ini + ".~rollback", "[Options]\nLocale=4\n"}}},
    };
    for (const Moment& m : moments) {
        FakeMachine machine;
        machine.files = {{ini, "[Options]\nLocale=4\n"}};
        for (const auto& f : m.extra)
            machine.files.insert(f);
        const JournalOutcome outcome = RecoverJournal(m.journal, machine);
        EXPECT_EQ(outcome.failures, 0) << m.name;
        EXPECT_EQ(machine.files, (std::map<std::string, std::string>{{ini, "[Options]\nLocale=4\n"}})) << m.name;
    }
    // Complete: the copy's line was written, the file then replaced.
    FakeMachine replaced;
    replaced.files = {{ini, "new"}, {ini + ".~rollback", "[Options]\nLocale=4\n"}};
    EXPECT_EQ(RecoverJournal({Copying(ini), Copied(ini)}, replaced).changes, 1);
    EXPECT_EQ(replaced.files, (std::map<std::string, std::string>{{ini, "[Options]\nLocale=4\n"}}));
    // A complete copy whose put-back fails is not deleted with the temporary file.
    FakeMachine stuck;
    stuck.files = {{ini, "new"}, {ini + ".~rollback", "old"}};
    stuck.failing = {ini};
    EXPECT_EQ(RecoverJournal({Copying(ini), Copied(ini)}, stuck).failures, 1);
    EXPECT_EQ(stuck.files.at(ini + ".~rollback"), "old");
}

// A recovery that is itself interrupted runs again: the second time finds
// nothing to do and reports no failure.
TEST(RollbackCopies, RecoveryCanRunTwice) {
    const std::vector<JournalEntry> journal = {Folder("C:\\G"), Created("C:\\G\\new.txt"),
                                               Moved("C:\\G\\old.dll", "C:\\G\\old.dll.~rollback"),
                                               Copying("C:\\D\\M.lnk"), Copied("C:\\D\\M.lnk")};
    FakeMachine m;
    m.folders = {"C:\\D"};
    m.files = {{"C:\\G\\new.txt", "n"}, {"C:\\G\\old.dll", "new"}, {"C:\\G\\old.dll.~rollback", "old"},
               {"C:\\D\\M.lnk", "new link"}, {"C:\\D\\M.lnk.~rollback", "old link"}};
    m.folders.insert("C:\\G");
    const JournalOutcome first = RecoverJournal(journal, m);
    EXPECT_EQ(first.failures, 0);
    EXPECT_EQ(first.changes, 3);  // the folder still holds old.dll
    const auto after = m.files;
    m.log.clear();
    const JournalOutcome second = RecoverJournal(journal, m);
    EXPECT_EQ(second.failures, 0);
    EXPECT_EQ(second.changes, 0);
    EXPECT_EQ(m.files, after);
    EXPECT_FALSE(m.Logged("Rollback failed"));
    EXPECT_EQ(m.files, (std::map<std::string, std::string>{{"C:\\G\\old.dll", "old"}, {"C:\\D\\M.lnk", "old link"}}));
}

// After success an old copy that cannot be deleted (in use) is left for the
// restart and for the next run, through a journal of its own.
TEST(RollbackCopies, OldCopiesInUseOutliveTheCommitInAJournal) {
    const std::vector<JournalEntry> journal = {Moved("C:\\G\\a.exe", "C:\\G\\a.exe.~rollback"),
                                               Moved("C:\\G\\b.dll", "C:\\G\\b.dll.~rollback"),
                                               {JournalKind::Committed, {}}};
    FakeMachine m;
    m.files = {{"C:\\G\\a.exe", "new"}, {"C:\\G\\a.exe.~rollback", "old"}, {"C:\\G\\b.dll", "new"},
               {"C:\\G\\b.dll.~rollback", "old"}};
    m.failing = {"C:\\G\\a.exe.~rollback"};
    const JournalOutcome outcome = RecoverJournal(journal, m);
    EXPECT_EQ(outcome.leftovers, std::vector<std::string>{"C:\\G\\a.exe.~rollback"});
    EXPECT_EQ(m.atRestart, std::set<std::string>{"C:\\G\\a.exe.~rollback"});
    EXPECT_EQ(m.files.count("C:\\G\\b.dll.~rollback"), 0u);
    EXPECT_TRUE(m.Logged("Cannot delete the old copy 'C:\\G\\a.exe.~rollback' now (error 5)"));

    const JournalOwner owner{"Morvandite", "C:\\G"};
    const std::string kept = LeftoverJournal(owner, outcome.leftovers);
    const std::vector<JournalEntry> next = ParseJournal(kept);
    JournalOwner read;
    ASSERT_TRUE(FindJournalOwner(next, read));
    EXPECT_EQ(read.installFolder, "C:\\G");
    EXPECT_TRUE(JournalCommitted(next));
    // The file is free again: the next recovery deletes it and leaves nothing to keep.
    m.failing.clear();
    const JournalOutcome later = RecoverJournal(next, m);
    EXPECT_TRUE(later.leftovers.empty());
    EXPECT_EQ(m.files, (std::map<std::string, std::string>{{"C:\\G\\a.exe", "new"}, {"C:\\G\\b.dll", "new"}}));
    EXPECT_TRUE(LeftoverJournal(owner, later.leftovers).empty());
    // An undo deletes such leftovers too and never puts them anywhere.
    FakeMachine undo;
    undo.files = {{"C:\\G\\x.~rollback", "old"}};
    EXPECT_EQ(UndoJournal({{JournalKind::Leftover, {"C:\\G\\x.~rollback"}}}, undo).changes, 0);
    EXPECT_TRUE(undo.files.empty());
}

// An upgrade's removed files: put back on undo; on commit deleted, and the
// folders they leave empty go, deepest first, while a folder with the
// user's own file stays.
TEST(RollbackCopies, AnUpgradesRemovedFilesAndTheirFolders) {
    const std::vector<JournalEntry> journal = {
        Moved("C:\\G\\Old\\Sub\\a.txt", "C:\\G\\Old\\Sub\\a.txt.~rollback"),
        {JournalKind::EmptiedFolder, {"C:\\G\\Old\\Sub"}},
        {JournalKind::EmptiedFolder, {"C:\\G\\Old"}},
        Moved("C:\\G\\Data\\b.txt", "C:\\G\\Data\\b.txt.~rollback"),
        {JournalKind::EmptiedFolder, {"C:\\G\\Data"}}};
    auto machine = [] {
        FakeMachine m;
        m.folders = {"C:\\G", "C:\\G\\Old", "C:\\G\\Old\\Sub", "C:\\G\\Data"};
        m.files = {{"C:\\G\\Old\\Sub\\a.txt.~rollback", "a"}, {"C:\\G\\Data\\b.txt.~rollback", "b"},
                   {"C:\\G\\Data\\mine.txt", "the user's"}};
        return m;
    };
    FakeMachine undone = machine();
    EXPECT_EQ(UndoJournal(journal, undone).failures, 0);
    EXPECT_EQ(undone.files.at("C:\\G\\Old\\Sub\\a.txt"), "a");
    EXPECT_EQ(undone.files.at("C:\\G\\Data\\b.txt"), "b");
    EXPECT_EQ(undone.folders.size(), 4u);

    std::vector<JournalEntry> committed = journal;
    committed.push_back({JournalKind::Committed, {}});
    FakeMachine done = machine();
    EXPECT_TRUE(RecoverJournal(committed, done).leftovers.empty());
    EXPECT_EQ(done.folders, (std::set<std::string>{"C:\\G", "C:\\G\\Data"}));
    EXPECT_EQ(done.files, (std::map<std::string, std::string>{{"C:\\G\\Data\\mine.txt", "the user's"}}));
}

// A process stopped while it wrote a key's snapshot had not written the key
// yet: the part it wrote must not be taken for the whole key, whose other
// values undoing would otherwise remove.
TEST(RollbackJournalText, AnInterruptedSnapshotIsNotUsed) {
    RegistrySnapshot s;
    s.hive = "HKLM";
    s.key = "Software\\Uninstall\\Morvandite";
    s.existed = true;
    for (const char* name : {"DisplayName", "InstallLocation", "UninstallString"})
        s.values.push_back({std::string(name), 1, std::string("value of ") + name});
    std::vector<JournalEntry> cut = SnapshotEntries(s);
    cut.pop_back();
    FakeMachine m;
    m.keys["HKLM\\" + s.key] = {{"DisplayName", "value of DisplayName"}, {"InstallLocation", "value of InstallLocation"},
                                 {"UninstallString", "value of UninstallString"}};
    const auto before = m.keys;
    const JournalOutcome outcome = UndoJournal(ParseJournal(Text(cut)), m);
    EXPECT_EQ(outcome.changes, 0);
    EXPECT_EQ(outcome.failures, 0);
    EXPECT_EQ(m.keys, before);
    // Whole, it is used.
    m.keys["HKLM\\" + s.key]["Added"] = "by the run";
    EXPECT_EQ(UndoJournal(ParseJournal(Text(SnapshotEntries(s))), m).changes, 1);
    EXPECT_EQ(m.keys, before);
}

TEST(RollbackJournalText, TheHeaderNamesWhoseJournalItIs) {
    const JournalOwner owner{"Larkspur Cards", "D:\\Spiele\\Larkspur \xc3\xa9"};
    const std::vector<JournalEntry> read = ParseJournal(FormatJournalEntry(JournalHeader(owner)) +
                                                        FormatJournalEntry(Created("D:\\x")));
    JournalOwner back;
    ASSERT_TRUE(FindJournalOwner(read, back));
    EXPECT_EQ(back.displayName, owner.displayName);
    EXPECT_EQ(back.installFolder, owner.installFolder);
    // Undoing passes over the header; a journal of another format has no owner.
    FakeMachine m;
    EXPECT_EQ(UndoJournal(read, m).failures, 0);
    EXPECT_FALSE(FindJournalOwner(ParseJournal("H\t1\tX\tC:\\X\n"), back));
}

TEST(RollbackJournalFile, EachLineIsOnDiskAsSoonAsItIsAppended) {
    const std::string path = ScratchFolder("rollback-journal") + "/journal";
    JournalWriter writer;
    ASSERT_TRUE(writer.Open(path));
    ASSERT_TRUE(writer.Append(Created("C:\\a b\\c")));
    // Read while the writer still holds the file, as a next run after a kill would.
    const std::vector<JournalEntry> read = ParseJournal(ReadWholeFile(path));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].fields[0], "C:\\a b\\c");
    writer.Close();
    EXPECT_FALSE(writer.Append(Created("C:\\x")));
    EXPECT_FALSE(writer.Open("/nonexistent-folder/journal"));
}

TEST(RollbackJournalFile, AMovedWriterKeepsAppendingToTheSameFile) {
    const std::string path = ScratchFolder("rollback-journal-move") + "/journal";
    JournalWriter first;
    ASSERT_TRUE(first.Open(path));
    ASSERT_TRUE(first.Append(Created("C:\\one")));
    JournalWriter moved(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_FALSE(first.Append(Created("C:\\lost")));
    ASSERT_TRUE(moved.Append(Created("C:\\two")));
    JournalWriter assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved.IsOpen());
    ASSERT_TRUE(assigned.Append(Created("C:\\three")));
    const std::vector<JournalEntry> read = ParseJournal(ReadWholeFile(path));
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].fields[0], "C:\\one");
    EXPECT_EQ(read[1].fields[0], "C:\\two");
    EXPECT_EQ(read[2].fields[0], "C:\\three");
}

}  // namespace
