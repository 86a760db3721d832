// The rollback journal: its lines, how a killed writer's last line is read,
// and the order and resilience of undoing, committing and recovering.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rollbackjournal.h"
#include "test_paths.h"

namespace {

// Actions on an imaginary machine: files by path with their contents,
// folders, and registry keys with their values; chosen operations fail.
class FakeMachine : public RollbackActions {
public:
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::map<std::string, std::map<std::string, std::string>> keys;  // "hive\key" -> name -> data
    std::set<std::string> failing;  // paths or keys whose operation fails
    std::vector<std::string> log;

    bool RemoveCreatedFile(const std::string& path, bool& removed) override {
        removed = false;
        if (failing.count(path))
            return false;
        removed = files.erase(path) > 0;
        return true;
    }
    bool PutBack(const std::string& aside, const std::string& path) override {
        if (failing.count(path) || !files.count(aside))
            return false;
        files[path] = files[aside];
        files.erase(aside);
        return true;
    }
    bool RemoveFolderIfEmpty(const std::string& path, bool& removed) override {
        removed = false;
        if (failing.count(path))
            return false;
        for (const auto& f : files)
            if (f.first.rfind(path + "\\", 0) == 0)
                return true;
        for (const std::string& d : folders)
            if (d.rfind(path + "\\", 0) == 0)
                return true;
        removed = folders.erase(path) > 0;
        return true;
    }
    bool RestoreKey(const RegistrySnapshot& s, bool& changed) override {
        const std::string id = s.hive + "\\" + s.key;
        changed = false;
        if (failing.count(id))
            return false;
        if (!s.existed) {
            changed = keys.erase(id) > 0;
            return true;
        }
        std::map<std::string, std::string> old;
        for (const auto& v : s.values)
            old[v.name] = v.data;
        changed = !keys.count(id) || keys[id] != old;
        keys[id] = old;
        return true;
    }
    bool DeleteAside(const std::string& aside) override {
        if (failing.count(aside))
            return false;
        files.erase(aside);
        return true;
    }
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
    EXPECT_EQ(UndoJournal(entries, m), 0);
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
    EXPECT_EQ(UndoJournal({Folder("C:\\G"), Created("C:\\G\\a"), Created("C:\\G\\b"), Created("C:\\G\\c")}, m), 1);
    EXPECT_EQ(m.files.count("C:\\G\\a"), 0u);
    EXPECT_EQ(m.files.count("C:\\G\\c"), 0u);
    EXPECT_EQ(m.files.count("C:\\G\\b"), 1u);
    EXPECT_TRUE(m.Logged("Rollback failed: removed 'C:\\G\\b'"));
    // A folder that still holds something is kept, and that is no failure.
    EXPECT_EQ(m.folders.count("C:\\G"), 1u);
    EXPECT_TRUE(m.Logged("kept folder 'C:\\G' (not empty)"));
    // A file recorded but never made is no step of the rollback.
    FakeMachine early;
    EXPECT_EQ(UndoJournal({Created("C:\\never")}, early), 0);
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
    EXPECT_EQ(UndoJournal(SnapshotEntries(ours), untouched), 0);
    EXPECT_TRUE(untouched.log.empty());
}

TEST(Rollback, RecoveryUndoesAnUnfinishedRunAndCommitsAFinishedOne) {
    const std::vector<JournalEntry> unfinished = {Moved("C:\\G\\a", "C:\\G\\a.~rollback")};
    FakeMachine killed;
    killed.files = {{"C:\\G\\a", "half written"}, {"C:\\G\\a.~rollback", "old"}};
    EXPECT_EQ(RecoverJournal(unfinished, killed), 0);
    EXPECT_EQ(killed.files, (std::map<std::string, std::string>{{"C:\\G\\a", "old"}}));
    EXPECT_TRUE(killed.Logged("interrupted installation"));

    std::vector<JournalEntry> finished = unfinished;
    finished.push_back({JournalKind::Committed, {}});
    FakeMachine done;
    done.files = {{"C:\\G\\a", "new"}, {"C:\\G\\a.~rollback", "old"}};
    EXPECT_TRUE(JournalCommitted(finished));
    EXPECT_EQ(RecoverJournal(finished, done), 0);
    EXPECT_EQ(done.files, (std::map<std::string, std::string>{{"C:\\G\\a", "new"}}));

    // An aside copy that is already gone cannot be put back: logged, counted.
    FakeMachine lost;
    lost.files = {{"C:\\G\\a", "half"}};
    EXPECT_EQ(RecoverJournal(unfinished, lost), 1);
    EXPECT_TRUE(lost.Logged("Rollback failed: restored 'C:\\G\\a'"));
}

TEST(RollbackJournalFile, EachLineIsOnDiskAsSoonAsItIsAppended) {
    const std::string path = ScratchFolder("rollback-journal") + "/journal";
    JournalWriter writer;
    ASSERT_TRUE(writer.Open(path.c_str()));
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
    ASSERT_TRUE(first.Open(path.c_str()));
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
