// One installation as one transaction, tried as a hostile world would: an
// upgrade from client A to client B stopped by a kill at every step of its
// journal (each copy aside and each registration step included), followed
// by a new run and, separately, by the uninstaller; the upgrade itself,
// which must leave exactly B's files plus the user's own and, rolled back,
// exactly A; and replaced files that are read-only. Every time the files
// (byte for byte), the registry values and the shortcuts' targets are
// compared with a reference, and no journal and no old copy may be left.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "InstallerThread.h"
#include "ppmsg.h"
#include "rollback.h"
#include "sharednames.h"
#include "file_tree.h"
#include "process_windows.h"
#include "registry_values.h"
#include "shell_links.h"
#include "test_paths.h"

namespace {

const char kDisplayName[] = "Morvandite Transaction Test";
const char kButtonId[] = "{0C2D7E55-1B8C-4F3E-9A61-5D2C8B7E4F10}";
const std::string kUninstallKey = std::string(SharedNames::kUninstallRoot.narrow) + kDisplayName;
const std::string kButtonKey = std::string("Software\\Microsoft\\Internet Explorer\\Extensions\\") + kButtonId;
const int kPayloadA = 150, kDigestA = 151, kPayloadB = 152, kDigestB = 153;
const char kChildVariable[] = "MORVANDITE_TRANSACTION_CHILD";  // root|kill step

// A machine's state as far as an installation touches it: files by path
// relative to the scratch root (shortcuts by their target and arguments,
// the log and the tracking file by their presence, user.ini without its
// dates), and the registry values by key and name.
using State = FileTree;

std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name;
}

std::string JournalPath() { return TempPath(std::string(kDisplayName) + ".install-journal"); }

// user.ini without the two dates a run writes.
std::string WithoutDates(const std::string& ini) {
    std::string out;
    size_t at = 0;
    while (at < ini.size()) {
        size_t end = ini.find('\n', at);
        end = end == std::string::npos ? ini.size() : end + 1;
        const std::string line = ini.substr(at, end - at);
        if (line.rfind("InstallDate=", 0) != 0 && line.rfind("DownloadDate=", 0) != 0)
            out += line;
        at = end;
    }
    return out;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// What a file of the tree stands for.
std::string Contents(const std::string& relative, const std::string& full) {
    const size_t slash = relative.rfind('\\');
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    if (EndsWith(name, ".lnk")) {
        std::string arguments;
        const std::string target = LinkTarget(full, &arguments);
        return "link to " + target + " " + arguments;
    }
    if (name == SharedNames::kInstallLogFile.narrow || name == SharedNames::kTrackingFile.narrow)
        return "<present>";
    if (name == SharedNames::kUserSettingsFile.narrow || name == SharedNames::kUserSettingsBackupFile.narrow)
        return WithoutDates(ReadWholeFile(full));
    return ReadWholeFile(full);
}

void ReadKey(HKEY hive, const char* hiveName, const std::string& key, State& state) {
    std::map<std::string, std::string> values;
    if (!ReadRegistryValues(hive, key, values))
        return;
    state[std::string("key ") + hiveName + "\\" + key] = "";
    for (const auto& v : values)
        if (v.first != "InstallDate")  // the time of the run
            state[std::string("value ") + hiveName + "\\" + key + "\\" + v.first] = v.second;
}

// Old copies and temporary copies anywhere under root, and the journal.
std::string Debris(const State& state) {
    std::string out;
    for (const auto& s : state)
        if (s.first.find(".~rollback") != std::string::npos || s.first.find(".~copying") != std::string::npos)
            out += s.first + "\n";
    if (GetFileAttributesA(JournalPath().c_str()) != INVALID_FILE_ATTRIBUTES)
        out += "the journal " + JournalPath() + ":\n" + ReadWholeFileOrEmpty(JournalPath());
    return out;
}

// The kill: the process ends at once, as a user's task manager ends it.
int g_killAt = 0;
void KillAtStep(int step) {
    if (step == g_killAt)
        TerminateProcess(GetCurrentProcess(), 9);
}

class Transaction : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadMessageTable());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }

    void SetUp() override {
        if (const char* child = std::getenv(kChildVariable)) {
            const std::string text = child;
            root_ = text.substr(0, text.find('|'));
            return;  // the parent's state stays as it is
        }
        root_ = ScratchFolder("transaction");
        Clean();
    }
    void TearDown() override {
        if (!std::getenv(kChildVariable))
            Clean();
    }

    // Nothing of an installation: the scratch tree emptied, the keys and the journal gone.
    void Clean() {
        RemoveTree(root_);
        CreateDirectoryA(root_.c_str(), nullptr);
        for (const char* f : {"Programs", "Desktop", "StartMenu", "QuickLaunch"})
            CreateDirectoryA(Path(f).c_str(), nullptr);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
        SHDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey.c_str());
        SHDeleteKeyA(HKEY_CURRENT_USER, kButtonKey.c_str());
        DeleteFileA(JournalPath().c_str());
    }
    // Read-only files included.
    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                const std::string path = folder + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(path.c_str());
                }
            } while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(folder.c_str());
    }

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
    std::string Folder() const { return Path("Card Room"); }

    InstallOptions Options(bool overrideUserIni) const {
        InstallOptions o;
        o.productName = "Morvandite Transaction Group";
        o.displayName = kDisplayName;
        o.workFolderName = "MorvanditeTransactionTest";
        o.iconPath = "readme.txt";
        o.trackingInfo = "SRC=transaction-test\n";
        o.browserButtonId = kButtonId;
        o.hasAdminRights = 1;
        o.useLocalAppData = 0;
        o.launchAfterInstall = 0;
        o.allUsers = 0;
        o.browserButton = 1;
        o.overrideUserIni = overrideUserIni ? 1 : 0;
        o.installFolder = Folder().c_str();
        o.programsFolder = Path("Programs").c_str();
        o.desktopFolder = Path("Desktop").c_str();
        o.startMenuFolder = Path("StartMenu").c_str();
        o.quickLaunchFolder = Path("QuickLaunch").c_str();
        return o;
    }

    // One run of the worker with the payload `id`; its completion code.
    int32_t Install(int payload, int digest, bool overrideUserIni) {
        InstallerWorkerThread worker;
        worker.SetPayloadResourceId(payload);
        worker.SetPayloadDigestResourceId(digest);
        if (!worker.Start(Options(overrideUserIni), nullptr, 0))
            return 0;
        worker.WaitUntilEnded();
        return worker.LastCompletion();
    }

    // Before A: the user's own settings, large enough that copying them
    // takes a moment, already in the folder A goes to.
    void UserSettingsOnly() {
        CreateDirectoryA(Folder().c_str(), nullptr);
        std::string ini = "[Options]\r\nLocale=7\r\nMine=kept\r\n\r\n[Friends]\r\n";
        for (int i = 0; i < 20000; ++i)
            ini += "friend" + std::to_string(i) + "=player number " + std::to_string(i) + "\r\n";
        WriteWholeFile(Folder() + "\\" + SharedNames::kUserSettingsFile.narrow, ini);
        userSettings_ = ini;
    }
    // A installed over the user's settings (which it leaves alone).
    void InstalledA() {
        UserSettingsOnly();
        ASSERT_EQ(Install(kPayloadA, kDigestA, false), kInstallFinished);
    }

    State Now() const {
        State s;
        ReadFileTree(root_, s, &Contents, "file ");
        ReadKey(HKEY_LOCAL_MACHINE, "HKLM", kUninstallKey, s);
        ReadKey(HKEY_CURRENT_USER, "HKCU", kUninstallKey, s);
        ReadKey(HKEY_CURRENT_USER, "HKCU", kButtonKey, s);
        return s;
    }

    DWORD Uninstall() {
        const std::string uninstaller = BinaryPath("generated/upgrade-payloads/A/MorvanditeUninstall.exe");
        const DWORD code =
            RunAndWait("\"" + uninstaller + "\" \"/u:" + kDisplayName + "\" /quiet");
        return code;
    }

    // A copy of this program installs B over A and is killed at `step`
    // (never, for 0). Returns its exit code: 9 when it was killed.
    DWORD InstallBKilledAt(int step) {
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        const std::string value = root_ + "|" + std::to_string(step);
        SetEnvironmentVariableA(kChildVariable, value.c_str());
        const DWORD code = RunAndWait(std::string("\"") + self + "\" --gtest_filter=Transaction.ChildInstallsB");
        SetEnvironmentVariableA(kChildVariable, nullptr);
        return code;
    }

    std::string root_;
    std::string userSettings_;  // as the user had them before A
};

// The child of the kill tests: installs B over what the parent laid out,
// stopped by a kill at the step the parent names; when the run ends before
// that step it writes how many steps it had.
TEST_F(Transaction, ChildInstallsB) {
    const char* child = std::getenv(kChildVariable);
    if (!child)
        GTEST_SKIP() << "only run by the kill tests";
    g_killAt = std::atoi(std::strchr(child, '|') + 1);
    int steps = 0;
    static int* counter = &steps;
    SetJournalStepHook([](int step) {
        *counter = step;
        KillAtStep(step);
    });
    EXPECT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    SetJournalStepHook(nullptr);
    WriteWholeFile(Path("steps.txt"), std::to_string(steps));
}

TEST_F(Transaction, AnUpgradeLeavesExactlyTheNewFilesAndTheUsersOwn) {
    InstalledA();
    const State a = Now();
    // The user adds a file of their own to a folder of A's that B drops, and one beside the client.
    WriteWholeFile(Path("Card Room\\OldDir\\Deeper\\notes.txt"), "the user's notes");
    WriteWholeFile(Path("Card Room\\screenshot.png"), "the user's picture");
    ASSERT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    const State b = Now();
    EXPECT_EQ(Debris(b), "");
    // A's own files are gone, with the folders they leave empty; B's are there.
    for (const char* gone : {"Data\\old_only.txt", "OldDir\\a.txt", "OldDir\\Deeper\\b.txt"})
        EXPECT_FALSE(b.count(std::string("file Card Room\\") + gone)) << gone;
    EXPECT_TRUE(b.count("file Card Room\\OldDir\\Deeper\\notes.txt"));
    EXPECT_EQ(b.at("file Card Room\\screenshot.png"), "the user's picture");
    EXPECT_EQ(b.at("file Card Room\\Data\\common.txt"), "common data, version B\n");
    EXPECT_EQ(b.at("file Card Room\\NewDir\\c.txt"), "B's own folder\n");
    // Every file in the folder is B's, the user's or one the installer leaves.
    const std::string listed = ReadWholeFile(Folder() + "\\" + SharedNames::kUninstallListFile.narrow);
    for (const auto& entry : b) {
        const std::string prefix = "file Card Room\\";
        if (entry.first.rfind(prefix, 0) != 0 || entry.first.back() == '\\')
            continue;
        const std::string name = entry.first.substr(prefix.size());
        const bool installerFile = name == SharedNames::kInstallLogFile.narrow ||
                                   name == SharedNames::kTrackingFile.narrow ||
                                   name == SharedNames::kUserSettingsFile.narrow ||
                                   name == SharedNames::kUserSettingsBackupFile.narrow ||
                                   name == std::string("Uninstall ") + kDisplayName + ".lnk";
        const bool users = name == "screenshot.png" || name == "OldDir\\Deeper\\notes.txt";
        EXPECT_TRUE(installerFile || users || listed.find(name + "\r\n") != std::string::npos) << name;
    }
    // The user's settings are kept as they were, in user.ini.bak.
    EXPECT_TRUE(ReadWholeFile(Folder() + "\\" + SharedNames::kUserSettingsBackupFile.narrow) == userSettings_);
}

// A file list in a folder this product's entry does not record is some other
// installation's: nothing it lists is removed.
TEST_F(Transaction, AnotherInstallationsListInTheFolderRemovesNothing) {
    InstalledA();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
    ASSERT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    const State b = Now();
    EXPECT_EQ(b.at("file Card Room\\Data\\old_only.txt"), "only in A\n");
    EXPECT_EQ(b.at("file Card Room\\OldDir\\a.txt"), "A's own folder\n");
    EXPECT_EQ(Debris(b), "");
}

TEST_F(Transaction, AnUpgradeRolledBackIsExactlyTheEarlierInstallation) {
    InstalledA();
    const State a = Now();
    // B fails at its registration: the quick-launch folder runs through a file.
    WriteWholeFile(Path("QuickLaunch\\Blocker"), "a file");
    InstallOptions o = Options(true);
    const State withBlocker = Now();
    InstallerWorkerThread worker;
    worker.SetPayloadResourceId(kPayloadB);
    worker.SetPayloadDigestResourceId(kDigestB);
    o.quickLaunchFolder = Path("QuickLaunch\\Blocker\\Sub").c_str();
    ASSERT_TRUE(worker.Start(o, nullptr, 0));
    worker.WaitUntilEnded();
    EXPECT_EQ(worker.LastCompletion(), kInstallRegistryError);
    EXPECT_NE(std::string(worker.LastCompletionText().text()).find("Blocker"), std::string::npos)
        << worker.LastCompletionText().text();
    const State after = Now();
    EXPECT_EQ(TreeDifferences(withBlocker, after), "");
    EXPECT_EQ(Debris(after), "");
    EXPECT_EQ(worker.UndoFailures(), 0);
}

TEST_F(Transaction, ReadOnlyReplacedFilesLeaveNoCopyBehind) {
    InstalledA();
    for (const char* name : {"readme.txt", "Data\\common.txt", "Data\\old_only.txt"})
        ASSERT_TRUE(SetFileAttributesA((Folder() + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY)) << name;
    ASSERT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    const State b = Now();
    EXPECT_EQ(Debris(b), "");
    EXPECT_EQ(b.at("file Card Room\\readme.txt"), "readme of version B\n");
    EXPECT_FALSE(b.count("file Card Room\\Data\\old_only.txt"));
}

// A replaced program that is running (mapped as an image, as a running
// program's file is) can be renamed but not deleted: its old copy is left for
// the restart and kept in the journal, and the next run deletes it.
TEST_F(Transaction, AnOldCopyInUseIsDeletedOnceItIsFree) {
    InstalledA();
    const std::string program = Folder() + "\\" + SharedNames::kUninstallerFile.narrow;
    HMODULE inUse = LoadLibraryExA(program.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(inUse);
    ASSERT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    const std::string aside = program + ".~rollback";
    EXPECT_NE(GetFileAttributesA(aside.c_str()), INVALID_FILE_ATTRIBUTES) << "the copy in use went after all";
    const std::string journal = ReadWholeFileOrEmpty(JournalPath());
    EXPECT_NE(journal.find("R\t" + aside + "\n"), std::string::npos) << journal;
    const std::string log = ReadWholeFileOrEmpty(Folder() + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("Cannot delete the old copy '" + aside + "' now"), std::string::npos) << log;
    FreeLibrary(inUse);
    // Whatever comes next finishes it: here the uninstaller.
    EXPECT_EQ(Uninstall(), 0u);
    const State after = Now();
    EXPECT_EQ(Debris(after), "");
}

TEST_F(Transaction, TheUninstallerRemovesNothingWhileAnInstallerRuns) {
    InstalledA();
    const State a = Now();
    HANDLE held = CreateMutexA(nullptr, FALSE, (std::string("Global\\MorvanditeInstall-") + kDisplayName).c_str());
    ASSERT_TRUE(held);
    EXPECT_EQ(Uninstall(), 5u);
    EXPECT_EQ(TreeDifferences(a, Now()), "");
    CloseHandle(held);
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(Now().count("file Card Room\\readme.txt"));
}

// The heart of it: B over A, killed at every step of its journal. A new run
// then ends exactly as an undisturbed upgrade; the uninstaller instead ends
// exactly as uninstalling what the kill left (A, or B once it had committed).
TEST_F(Transaction, AKillAtAnyStepIsPutRightByTheNextRunAndByTheUninstaller) {
    // The references, each from a clean start.
    InstalledA();
    ASSERT_EQ(Uninstall(), 0u);
    const State uninstalledA = Now();
    Clean();
    InstalledA();
    ASSERT_EQ(InstallBKilledAt(0), 0u);  // the child's run, unkilled, counts its steps
    const int steps = std::atoi(ReadWholeFileOrEmpty(Path("steps.txt")).c_str());
    DeleteFileA(Path("steps.txt").c_str());
    const State upgraded = Now();
    ASSERT_EQ(Debris(upgraded), "");
    ASSERT_EQ(Uninstall(), 0u);
    const State uninstalledB = Now();
    // A run after one that had committed installs B a second time: the
    // backup of user.ini is then B's first one.
    Clean();
    InstalledA();
    ASSERT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    ASSERT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
    const State upgradedTwice = Now();
    ASSERT_GT(steps, 20) << "the upgrade has fewer steps than it should";
    ASSERT_LT(steps, 400);

    for (int step = 1; step <= steps; ++step) {
        for (const bool byUninstaller : {false, true}) {
            SCOPED_TRACE("killed at step " + std::to_string(step) + " of " + std::to_string(steps) + ", then " +
                         (byUninstaller ? "the uninstaller" : "a new run"));
            Clean();
            InstalledA();
            ASSERT_EQ(InstallBKilledAt(step), 9u) << "the run was not stopped there";
            const bool committed = ReadWholeFileOrEmpty(JournalPath()).find("\nS\n") != std::string::npos;
            if (byUninstaller) {
                EXPECT_EQ(Uninstall(), 0u);
                const State after = Now();
                EXPECT_EQ(TreeDifferences(committed ? uninstalledB : uninstalledA, after), "");
                EXPECT_EQ(Debris(after), "");
            } else {
                EXPECT_EQ(Install(kPayloadB, kDigestB, true), kInstallFinished);
                const State after = Now();
                EXPECT_EQ(TreeDifferences(committed ? upgradedTwice : upgraded, after), "");
                EXPECT_EQ(Debris(after), "");
            }
            if (HasFailure())
                return;  // one step's story is enough to read
        }
    }
}

}  // namespace
