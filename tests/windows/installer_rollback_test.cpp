// Rollback of the install worker under Wine: a cancel part-way into a fresh
// folder and over an earlier installation with other file contents, a
// registration that fails, a full disk, and a process killed part-way
// followed by a new run. Each time the folder tree (file by file) and the
// registry entry are compared with what they were before.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "InstallerThread.h"
#include "plog.h"
#include "ppmsg.h"
#include "sharednames.h"
#include "file_tree.h"
#include "registry_values.h"
#include "test_paths.h"

namespace {

const char kDisplayName[] = "Morvandite Rollback Test";
const std::string kUninstallKeyText = std::string(SharedNames::kUninstallRoot.narrow) + "Morvandite Rollback Test";
const char* const kUninstallKey = kUninstallKeyText.c_str();
const int kCorruptPayload = 140;
// The digest of those damaged bytes: the run gets past the integrity check
// and fails while decoding, after it has begun its journal.
const int kCorruptPayloadDigest = 141;

using Tree = FileTree;
Tree TreeOf(const std::string& root) { return FileTreeOf(root); }
std::string Differences(const Tree& before, const Tree& after) { return TreeDifferences(before, after); }

// The uninstall entry's values, by name (type and data); empty when there is no key.
std::map<std::string, std::string> Entry() {
    std::map<std::string, std::string> values;
    if (ReadRegistryValues(HKEY_LOCAL_MACHINE, kUninstallKey, values))
        values["<key>"] = "";
    return values;
}

std::string TempPath(const std::string& name) {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + name;
}

class Rollback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadMessageTable());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }

    void SetUp() override {
        root_ = ScratchFolder(std::string("rollback-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const char* f : {"Programs", "Desktop", "StartMenu", "QuickLaunch", "AppData"})
            CreateDirectoryA(Path(f).c_str(), nullptr);
        if (std::getenv("MORVANDITE_ROLLBACK_CHILD"))
            return;  // the parent's earlier installation and journal stay as they are
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        DeleteFileA(TempPath(std::string(kDisplayName) + ".install-journal").c_str());
    }
    void TearDown() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey); }

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    InstallOptions Options(const std::string& folder) const {
        InstallOptions o;
        o.productName = "Morvandite Rollback Group";
        o.displayName = kDisplayName;
        o.workFolderName = "MorvanditeRollbackTest";
        o.iconPath = "readme.txt";
        o.trackingInfo = "SRC=rollback-test\n";
        o.useLocalAppData = 0;
        o.launchAfterInstall = 0;
        o.allUsers = 0;
        o.browserButton = 0;
        o.installFolder = folder.c_str();
        o.programsFolder = Path("Programs").c_str();
        o.desktopFolder = Path("Desktop").c_str();
        o.startMenuFolder = Path("StartMenu").c_str();
        o.quickLaunchFolder = Path("QuickLaunch").c_str();
        return o;
    }

    // An earlier installation in folder: some of the payload's files with
    // other contents, a file the payload does not have, a settings file,
    // and its uninstall entry.
    void EarlierInstallation(const std::string& folder) {
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "\\Data").c_str(), nullptr);
        CreateDirectoryA((folder + "\\Data\\Set00").c_str(), nullptr);
        WriteWholeFile(folder + "\\readme.txt", "old readme");
        WriteWholeFile(folder + "\\Data\\Set00\\file000.bin", "old file 0");
        WriteWholeFile(folder + "\\Data\\Set00\\file001.bin", "old file 1");
        WriteWholeFile(folder + "\\Data\\Set00\\mine.txt", "not in the payload");
        WriteWholeFile(folder + "\\" + SharedNames::kUserSettingsFile.narrow, "[Options]\r\nLocale=4\r\n");
        WriteWholeFile(folder + "\\" + SharedNames::kInstallLogFile.narrow, "the earlier installation's log\r\n");
        WriteWholeFile(Path("Desktop\\") + kDisplayName + ".lnk", "an old shortcut");
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                  nullptr),
                  ERROR_SUCCESS);
        const char location[] = "C:\\old\\place";
        RegSetValueExA(k, SharedNames::kInstallLocationValue.narrow, 0, REG_SZ, reinterpret_cast<const BYTE*>(location), sizeof location);
        const DWORD language = 4;
        RegSetValueExA(k, "Language", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&language), sizeof language);
        RegCloseKey(k);
    }

    // Waits for the worker's completion on its own thread (no window).
    int32_t WaitForEnd(InstallerWorkerThread& worker) {
        for (int i = 0; i < 1200 && worker.IsRunning(); ++i)
            Sleep(50);
        EXPECT_FALSE(worker.IsRunning());
        if (!worker.IsRunning())
            worker.WaitUntilEnded();
        return worker.LastCompletion();
    }

    // Starts a run and holds it once it has written `files` payload files.
    void RunUntilPaused(InstallerWorkerThread& worker, const InstallOptions& o, int files) {
        ASSERT_TRUE(worker.Start(o, nullptr, 0));
        char name[32];
        std::snprintf(name, sizeof name, "\\Data\\Set%02d\\file%03d.bin", files / 50, files);
        const std::string probe = std::string(o.installFolder.text()) + name;
        for (int i = 0; i < 1200 && GetFileAttributesA(probe.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(5);
        worker.SetRunState(kRunStatePaused);
        Sleep(300);
        ASSERT_TRUE(worker.IsRunning()) << "the run ended before it could be held";
    }

    std::string root_;
};

TEST_F(Rollback, CancelInAFreshFolderLeavesNothing) {
    const Tree before = TreeOf(root_);
    InstallerWorkerThread worker;
    InstallOptions o = Options(Path("Games\\Card Room"));
    RunUntilPaused(worker, o, 3);
    EXPECT_GT(TreeOf(root_).size(), before.size() + 3) << "files were written before the cancel";
    worker.SetRunState(kRunStateStopRequested);
    EXPECT_EQ(WaitForEnd(worker), -2);

    const Tree after = TreeOf(root_);
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_TRUE(Entry().empty());
    EXPECT_EQ(GetFileAttributesA(TempPath(std::string(kDisplayName) + ".install-journal").c_str()),
              INVALID_FILE_ATTRIBUTES);
    const std::string log = ReadWholeFile(TempPath(std::string(kDisplayName) + " Install.log"));
    EXPECT_NE(log.find("Install canceled by user."), std::string::npos) << log;
    EXPECT_NE(log.find("Rolled back: removed '" + Path("Games\\Card Room\\Data\\Set00\\file000.bin") + "'"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("The install folder goes too; this log is kept as"), std::string::npos) << log;
}

TEST_F(Rollback, CancelOverAnEarlierInstallationPutsItsFilesBack) {
    const std::string folder = Path("Card Room");
    EarlierInstallation(folder);
    const Tree before = TreeOf(root_);
    const auto entryBefore = Entry();

    InstallerWorkerThread worker;
    RunUntilPaused(worker, Options(folder), 5);
    EXPECT_EQ(ReadWholeFile(folder + "\\Data\\Set00\\file001.bin").size(), 65536u) << "replaced before the cancel";
    worker.SetRunState(kRunStateStopRequested);
    EXPECT_EQ(WaitForEnd(worker), -2);

    Tree after = TreeOf(root_);
    // The earlier log gains this run's lines, rollback included; all else is as it was.
    const std::string log = after["Card Room\\Install.log"];
    after["Card Room\\Install.log"] = before.at("Card Room\\Install.log");
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_EQ(Entry(), entryBefore);
    EXPECT_EQ(log.rfind("the earlier installation's log\r\n", 0), 0u);
    EXPECT_NE(log.find("Rolled back: restored '" + folder + "\\Data\\Set00\\file001.bin'"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Rollback finished: everything the installation changed was put back"), std::string::npos) << log;
}

// Over an earlier installation some folders are old and some this run makes:
// files in the new ones are known to be new without a look at the disk, and
// go with their folders; the old ones come back.
TEST_F(Rollback, CancelAfterNewFoldersOverAnEarlierInstallationLeavesItAsItWas) {
    const std::string folder = Path("Card Room");
    EarlierInstallation(folder);
    ASSERT_TRUE(CreateDirectoryA((folder + "\\Data\\Set02").c_str(), nullptr));
    WriteWholeFile(folder + "\\Data\\Set02\\file100.bin", "an old file in a later folder");
    const Tree before = TreeOf(root_);

    InstallerWorkerThread worker;
    RunUntilPaused(worker, Options(folder), 160);
    EXPECT_EQ(ReadWholeFile(folder + "\\Data\\Set02\\file100.bin").size(), 65536u) << "replaced before the cancel";
    EXPECT_EQ(ReadWholeFile(folder + "\\Data\\Set01\\file060.bin").size(), 65536u) << "written before the cancel";
    worker.SetRunState(kRunStateStopRequested);
    EXPECT_EQ(WaitForEnd(worker), -2);

    Tree after = TreeOf(root_);
    after["Card Room\\Install.log"] = before.at("Card Room\\Install.log");
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_EQ(GetFileAttributesA((folder + "\\Data\\Set01").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Rollback, ASuccessfulRunOverAnEarlierInstallationKeepsNoOldCopies) {
    const std::string folder = Path("Card Room");
    EarlierInstallation(folder);
    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.Start(Options(folder), nullptr, 0));
    EXPECT_EQ(WaitForEnd(worker), 1000);

    const Tree after = TreeOf(root_);
    for (const auto& f : after)
        EXPECT_EQ(f.first.find(".~rollback"), std::string::npos) << f.first;
    EXPECT_EQ(after.at("Card Room\\readme.txt"), "new readme");
    EXPECT_EQ(after.at("Card Room\\Data\\Set00\\mine.txt"), "not in the payload");
    EXPECT_EQ(after.at("Card Room\\user.ini").find("[Options]"), 0u);  // kept, then updated by the settings writer
    EXPECT_EQ(Entry()[SharedNames::kInstallLocationValue.narrow], "1:" + folder + std::string(1, '\0'));
    EXPECT_EQ(GetFileAttributesA(TempPath(std::string(kDisplayName) + ".install-journal").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(Rollback, AFailedRegistrationIsUndoneAndTheEarlierEntryComesBack) {
    const std::string folder = Path("Card Room");
    EarlierInstallation(folder);
    const auto entryBefore = Entry();
    // The quick-launch folder runs through a file: registration fails after
    // the entry's values and the desktop and start-menu shortcuts are written.
    WriteWholeFile(Path("Blocker"), "a file");
    InstallOptions o = Options(folder);
    o.quickLaunchFolder = Path("Blocker\\Quick Launch").c_str();
    const Tree before = TreeOf(root_);

    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.Start(o, nullptr, 0));
    const int32_t code = WaitForEnd(worker);
    EXPECT_TRUE(code == -4 || code == -5) << code;

    Tree after = TreeOf(root_);
    const std::string log = after["Card Room\\Install.log"];
    after["Card Room\\Install.log"] = before.at("Card Room\\Install.log");
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_EQ(Entry(), entryBefore);
    // The start-menu shortcut was made before the failure.
    EXPECT_NE(log.find("Rolled back: removed '" + Path("StartMenu\\") + kDisplayName + ".lnk'"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Rolled back: restored registry key HKLM\\"), std::string::npos) << log;
    EXPECT_NE(log.find("Rolled back: restored '" + Path("Desktop\\") + kDisplayName + ".lnk'"), std::string::npos)
        << log;
}

TEST_F(Rollback, AFullDiskIsUndoneFileByFile) {
    // A small drive mapped into the prefix (tests/windows/rollback-disk-full.sh).
    const char* drive = std::getenv("MORVANDITE_SMALL_DRIVE");
    if (!drive || !*drive)
        GTEST_SKIP() << "no small drive mapped (MORVANDITE_SMALL_DRIVE)";
    const std::string root = std::string(drive) + "\\rollback";
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string folder = root + "\\Card Room";
    EarlierInstallation(folder);
    const Tree before = TreeOf(root);
    const auto entryBefore = Entry();

    // The install log is on the full drive too: a copy of it goes elsewhere.
    const std::string copy = TempPath("rollback-disk-full.log");
    DeleteFileA(copy.c_str());
    OpenLogMirror(new PLog(copy.c_str(), 0, nullptr));
    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.Start(Options(folder), nullptr, 0));
    const int32_t code = WaitForEnd(worker);
    OpenLogMirror(nullptr);
    const std::string log = ReadWholeFile(copy);
    EXPECT_EQ(code, -5) << log;

    Tree after = TreeOf(root);
    after["Card Room\\Install.log"] = before.at("Card Room\\Install.log");
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_EQ(Entry(), entryBefore);
    EXPECT_NE(log.find("Cannot write to file"), std::string::npos) << log;
    EXPECT_NE(log.find("Rollback finished: everything the installation changed was put back"), std::string::npos) << log;
}

// The child of the killed-process test: holds a run part-way until it is killed.
TEST_F(Rollback, ChildHeldUntilKilled) {
    const char* folder = std::getenv("MORVANDITE_ROLLBACK_CHILD");
    if (!folder)
        GTEST_SKIP() << "only run by KilledProcessIsPutRightByTheNextRun";
    static InstallerWorkerThread worker;  // never destroyed: the process is killed
    RunUntilPaused(worker, Options(folder), 5);
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, "rollback-child-held");
    ASSERT_TRUE(held);
    SetEvent(held);
    Sleep(INFINITE);
}

TEST_F(Rollback, KilledProcessIsPutRightByTheNextRun) {
    const std::string folder = Path("Card Room");
    EarlierInstallation(folder);
    const Tree before = TreeOf(root_);
    const auto entryBefore = Entry();

    // A copy of this test program holds a run part-way; then it is killed.
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("MORVANDITE_ROLLBACK_CHILD", folder.c_str());
    std::string commandLine = std::string("\"") + self + "\" --gtest_filter=Rollback.ChildHeldUntilKilled";
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, "rollback-child-held");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &child));
    SetEnvironmentVariableA("MORVANDITE_ROLLBACK_CHILD", nullptr);
    const bool wasHeld = WaitForSingleObject(held, 60000) == WAIT_OBJECT_0;
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(held);
    ASSERT_TRUE(wasHeld);

    // What the kill left: the old files moved aside, new ones half done, the journal.
    const Tree killed = TreeOf(root_);
    EXPECT_NE(Differences(before, killed), "");
    EXPECT_TRUE(killed.count("Card Room\\Data\\Set00\\file001.bin.~rollback")) << Differences(before, killed);
    EXPECT_NE(GetFileAttributesA(TempPath(std::string(kDisplayName) + ".install-journal").c_str()),
              INVALID_FILE_ATTRIBUTES);

    // The next run puts it right before it starts; this one then fails on a
    // damaged payload and rolls itself back too, so the end state is the first.
    InstallerWorkerThread next;
    next.SetPayloadResourceId(kCorruptPayload);
    next.SetPayloadDigestResourceId(kCorruptPayloadDigest);
    ASSERT_TRUE(next.Start(Options(folder), nullptr, 0));
    EXPECT_EQ(WaitForEnd(next), -3);

    Tree after = TreeOf(root_);
    const std::string log = after["Card Room\\Install.log"];
    after["Card Room\\Install.log"] = before.at("Card Room\\Install.log");
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_EQ(Entry(), entryBefore);
    EXPECT_NE(log.find("Rolling back an interrupted installation"), std::string::npos) << log;
    EXPECT_NE(log.find("Rolled back: restored '" + folder + "\\Data\\Set00\\file001.bin'"), std::string::npos) << log;
}

}  // namespace
