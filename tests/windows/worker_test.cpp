// The install worker under Wine, against the real registry and file system of
// the test prefix: whole runs, pause and stop, failures and their codes.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <functional>
#include <map>
#include <string>
#include <zlib.h>
#include <vector>

#include "InstallerThread.h"
#include "helpers/stand_in_shell.h"
#include "inixor.h"
#include "locales.h"
#include "msgids.h"
#include "perror.h"
#include "pencoding.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "registry_branch.h"
#include "registry_values.h"
#include "sharednames.h"
#include "shell_links.h"
#include "small_drive.h"
#include "test_paths.h"

namespace {

const char kDisplayName[] = "Morvandite Worker Test";
const char kButtonId[] = "{7D1A52C4-93E0-4F1B-8C3A-2B6E0F4D9A11}";
const std::string kUninstallKeyText = std::string(SharedNames::kUninstallRoot.narrow) + "Morvandite Worker Test";
const char* const kUninstallKey = kUninstallKeyText.c_str();
const std::string kButtonKey = std::string(SharedNames::kBrowserButtonRoot.narrow) + kButtonId;

struct Notice {
    WPARAM code;
    std::string text;
};

// The desktop's user of the runs for another account than the installing
// one: a hive of its own under HKEY_USERS (Wine lets the tests make one; on
// Windows it is the logged-on user's loaded hive).
const char kDesktopUserSid[] = "S-1-5-21-1111-2222-3333-1013";

bool IsCompletion(WPARAM w) {
    int32_t code = int32_t(w);
    return code == 1000 || (code < 0 && code >= -5);
}

class WorkerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadMessageTable());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }

    void SetUp() override {
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        root_ = ScratchFolder(std::string("worker-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        RemoveRegistration();
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            registry_.Keep(hive, kUninstallKey);
            registry_.Keep(hive, kButtonKey);
        }
    }
    void TearDown() override {
        DestroyWindow(window_);
        RemoveRegistration();
        registry_.Restore();  // the parents a run made: Extensions, the user's Uninstall
    }
    static void RemoveRegistration() {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        SHDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            SHDeleteKeyA(hive, kButtonKey.c_str());
        SHDeleteKeyA(HKEY_USERS, kDesktopUserSid);
    }

    RegistryBranches registry_;

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    InstallOptions Options() const {
        InstallOptions o;
        o.productName = "Morvandite Test Group";
        o.displayName = kDisplayName;
        o.workFolderName = "MorvanditeWorkerTest";
        o.browserButtonId = kButtonId;
        o.iconPath = "readme.txt";
        o.site = "https://www.example.org/cards";
        o.trackingInfo = "SRC=worker-test\n";
        o.useLocalAppData = 0;
        o.launchAfterInstall = 0;
        o.allUsers = 0;
        o.installFolder = Path("Install\\Here").c_str();
        o.programsFolder = Path("Programs").c_str();
        o.desktopFolder = Path("Desktop").c_str();
        o.startMenuFolder = Path("StartMenu").c_str();
        o.quickLaunchFolder = Path("QuickLaunch").c_str();
        CreateDirectoryA(Path("Desktop").c_str(), nullptr);
        CreateDirectoryA(Path("StartMenu").c_str(), nullptr);
        return o;
    }

    // The log of a run that was rolled back out of a folder it had made: the
    // folder is gone and the log is kept in the temporary folder.
    std::string KeptLog(const InstallOptions& o) const {
        EXPECT_EQ(GetFileAttributesA(o.installFolder.text()), INVALID_FILE_ATTRIBUTES) << o.installFolder.text();
        EXPECT_EQ(GetFileAttributesA(Path("Install").c_str()), INVALID_FILE_ATTRIBUTES);
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        return ReadWholeFile(std::string(temp) + o.displayName.text() + " Install.log");
    }

    // Pumps the window's queue until a completion arrives or the worker has
    // ended and nothing is left to read.
    std::vector<Notice> Collect(InstallerWorkerThread& worker, DWORD limitMs = 60000) {
        std::vector<Notice> seen;
        DWORD start = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, window_, WM_INSTALL_STATUS, WM_INSTALL_STATUS, PM_REMOVE)) {
                Notice n{msg.wParam, ""};
                if (int32_t(msg.wParam) == -5 && msg.lParam) {
                    PString* text = reinterpret_cast<PString*>(msg.lParam);
                    n.text = text->text();
                    delete text;
                }
                seen.push_back(n);
                if (IsCompletion(msg.wParam))
                    return seen;
            }
            if (!worker.IsRunning()) {
                if (!PeekMessageW(&msg, window_, WM_INSTALL_STATUS, WM_INSTALL_STATUS, PM_NOREMOVE))
                    return seen;
            }
            if (GetTickCount() - start > limitMs) {
                ADD_FAILURE() << "the worker did not finish";
                return seen;
            }
            Sleep(10);
        }
    }

    void WaitUntilIdle(InstallerWorkerThread& worker) {
        for (int i = 0; i < 600 && worker.IsRunning(); ++i)
            Sleep(100);
        if (!worker.IsRunning())
            worker.WaitUntilEnded();
    }

    std::string MachineString(const char* name) {
        PString out;
        ReadMachineString(kUninstallKey, name, out);
        return out.text();
    }
    // A 32-bit number of the entry; false when there is none of that type.
    static bool MachineNumber(const char* name, DWORD& value) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD type = 0, size = sizeof value;
        const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value;
    }
    // Whether the entry has a value of that name at all.
    static bool MachineValueExists(const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        const LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }
    // The payload's decoded length as its header states it (the second
    // 32-bit number of resource 130), in KiB rounded up.
    static DWORD PayloadKiB() {
        HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(130), "MV");
        const BYTE* data = found ? static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))) : nullptr;
        if (!data || SizeofResource(nullptr, found) < 8)
            return 0;
        const DWORD total = data[4] | data[5] << 8 | data[6] << 16 | DWORD(data[7]) << 24;
        return total / 1024 + (total % 1024 ? 1 : 0);
    }
    // Today's local date as YYYYMMDD.
    static std::string LocalDay() {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char text[16];
        snprintf(text, sizeof text, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
        return text;
    }

    HWND window_ = nullptr;
    std::string root_;
};

TEST_F(WorkerTest, WholeRunLeavesFilesLogEntryShortcutsAndSettings) {
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    const std::string runDay = LocalDay();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);

    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(int32_t(seen.back().code), 1000);
    EXPECT_EQ(int32_t(seen[seen.size() - 2].code), 100);
    for (size_t i = 1; i + 1 < seen.size(); ++i)
        EXPECT_LE(seen[i - 1].code, seen[i].code) << "progress must not go back";

    std::string folder = o.installFolder.text();
    std::string source = SourcePath("tests/windows/data/worker-payload");
    for (const char* f : {"readme.txt", "Themes\\themes.ini", "Data\\empty.dat", "Data\\Deep\\cards.bin",
                          "Data\\Deep\\table.txt"}) {
        std::string rel(f);
        std::string unixRel = rel;
        for (char& c : unixRel)
            if (c == '\\')
                c = '/';
        EXPECT_EQ(ReadWholeFile(folder + "\\" + rel), ReadWholeFile(source + "/" + unixRel)) << rel;
    }

    std::string log = ReadWholeFile(folder + "\\" + SharedNames::kInstallLogFile.narrow);
    size_t order = 0;
    for (const char* line : {"Log File Path: ", "OS Version: ", "isWow64: ", "localAppData: 0",
                             "Has admin rights: ", "Locale: 0", "Extracting files:", "Themes\\themes.ini",
                             "Source: ", "\nOptions:", " All users: 0", "Programs: ", "Install finished"}) {
        size_t at = log.find(line, order);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << line;
        if (at != std::string::npos)
            order = at;
    }
    EXPECT_NE(log.find("\r\n"), std::string::npos);

    EXPECT_EQ(MachineString(SharedNames::kDisplayNameValue.narrow), kDisplayName);
    EXPECT_EQ(MachineString("UninstallString"),
              "\"" + folder + "\\MorvanditeUninstall.exe\" /u:" + kDisplayName);
    EXPECT_EQ(MachineString(SharedNames::kInstallLocationValue.narrow), folder);
    // What Programs and Features shows and reads.
    const std::string quotedUninstaller = "\"" + folder + "\\MorvanditeUninstall.exe\"";
    EXPECT_EQ(MachineString("DisplayIcon"), quotedUninstaller);
    EXPECT_EQ(MachineString("Publisher"), kDisplayName);
    EXPECT_EQ(MachineString("QuietUninstallString"), quotedUninstaller + " /u:" + kDisplayName + " /quiet");
    EXPECT_EQ(MachineString("DisplayVersion"), "3.2.1.9");  // the product version of this program's resource
    EXPECT_EQ(MachineString("URLInfoAbout"), "https://www.example.org/cards");
    EXPECT_EQ(MachineString("HelpLink"), "https://www.example.org/cards");
    const std::string date = MachineString("InstallDate");
    ASSERT_EQ(date.size(), 8u) << date;
    EXPECT_EQ(date.find_first_not_of("0123456789"), std::string::npos) << date;
    EXPECT_TRUE(date == runDay || date == LocalDay()) << date;  // the run may cross midnight
    DWORD size = 0;
    ASSERT_TRUE(MachineNumber("EstimatedSize", size));
    ASSERT_NE(PayloadKiB(), 0u);
    EXPECT_EQ(size, PayloadKiB());
    std::string group = Path("Programs\\Morvandite Test Group");
    EXPECT_EQ(MachineString(SharedNames::kStartMenuGroupValue.narrow), group);
    EXPECT_EQ(MachineString(SharedNames::kDesktopLinkValue.narrow), Path("Desktop\\Morvandite Worker Test.lnk"));
    EXPECT_EQ(MachineString(SharedNames::kQuickLaunchLinkValue.narrow), Path("QuickLaunch\\Morvandite Worker Test.lnk"));

    EXPECT_EQ(LinkTarget(group + "\\Morvandite Worker Test.lnk"), folder + "\\MorvanditeUpdate.exe");
    EXPECT_EQ(LinkTarget(group + "\\Network Status.lnk"), folder + "\\Tracer.exe");
    if (o.hasAdminRights) {
        std::string args;
        EXPECT_EQ(LinkTarget(folder + "\\Uninstall Morvandite Worker Test.lnk", &args),
                  folder + "\\" + SharedNames::kUninstallerFile.narrow);
        EXPECT_EQ(args, std::string("/u:") + kDisplayName);
    }

    std::string tinfo = ReadWholeFile(folder + "\\" + SharedNames::kTrackingFile.narrow);
    _PBlock block;
    memcpy(block.alloc(uint32_t(tinfo.size())), tinfo.data(), tinfo.size());
    ScrambleBlock(block);
    std::string plain(reinterpret_cast<const char*>(block.ptr()), block.size());
    EXPECT_EQ(plain.rfind("SRC=worker-test\nITS=", 0), 0u) << plain;
    EXPECT_NE(plain.find("\nIZ="), std::string::npos);
    EXPECT_EQ(plain.back(), '\n');

    EncIniFile ini;
    ini.Load((folder + "\\" + SharedNames::kUserSettingsFile.narrow).c_str(), &PStringXEncoding);
    ASSERT_NE(ini.FindSection("Options"), nullptr);
    EXPECT_STREQ(ini.FindSection("Options")->FindItem("Locale")->value.text(), "0");
    EXPECT_STREQ(ini.FindSection("Options")->FindItem("CardBack")->value.text(), "13");
    ASSERT_NE(ini.FindSection("Installer"), nullptr);
    EXPECT_NE(ini.FindSection("Installer")->FindItem("InstallDate"), nullptr);
    ASSERT_NE(ini.FindSection("themes"), nullptr);
    EXPECT_NE(std::string(ini.FindSection("themes")->FindItem("0")->value.text()).find('@'), std::string::npos);
}

// Thousands of files make thousands of reports, but the window shows whole
// percents: each percentage is posted once, in order, up to 100.
TEST_F(WorkerTest, ProgressIsPostedOncePerPercentage) {
    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.SetStatusWindow(window_, WM_INSTALL_STATUS));
    MSG m;
    while (PeekMessageW(&m, window_, 0, 0, PM_REMOVE)) {
    }
    const uint32_t files = 1000;
    for (uint32_t i = 1; i <= files; ++i)
        worker.OnFileStarted(files, i, "name");
    std::vector<WPARAM> posted;
    while (PeekMessageW(&m, window_, WM_INSTALL_STATUS, WM_INSTALL_STATUS, PM_REMOVE))
        posted.push_back(m.wParam);
    ASSERT_EQ(posted.size(), 101u);  // 0 (files 1 to 9) and 1 to 100
    for (size_t i = 0; i < posted.size(); ++i)
        EXPECT_EQ(posted[i], WPARAM(i));
}

TEST_F(WorkerTest, MessageNumberZeroPostsNoCompletion) {
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    ASSERT_TRUE(worker.Start(o, window_, 0));
    WaitUntilIdle(worker);
    MSG msg;
    // Progress goes to message 0, which nobody filters for; no completion code anywhere.
    while (PeekMessageW(&msg, window_, 0, 0, PM_REMOVE))
        EXPECT_FALSE(IsCompletion(msg.wParam) && msg.message == WM_INSTALL_STATUS);
    EXPECT_NE(ReadWholeFile(std::string(o.installFolder.text()) + "\\" + SharedNames::kInstallLogFile.narrow).find("Install finished"),
              std::string::npos);
}

TEST_F(WorkerTest, PauseHoldsStartIsRefusedAndStopEndsWithCanceled) {
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    worker.SetRunState(kRunStatePaused);
    Sleep(500);
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.Start(o, window_, WM_INSTALL_STATUS));  // does not disturb the run
    EXPECT_EQ(worker.RunState(), kRunStatePaused);
    worker.SetRunState(kRunStateStopRequested);
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -2);
    std::string log = KeptLog(o);
    EXPECT_NE(log.find("Install canceled by user."), std::string::npos);
    EXPECT_EQ(log.find("Install finished"), std::string::npos);
}

TEST_F(WorkerTest, PauseThenResumeFinishes) {
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    worker.SetRunState(kRunStatePaused);
    Sleep(300);
    worker.SetRunState(kRunStateRunning);
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), 1000);
    // A finished worker can run again.
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
    WaitUntilIdle(worker);
}

TEST_F(WorkerTest, InstallFolderThatIsAFileEndsWithItsText) {
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    WriteWholeFile(Path("Blocked"), "a file, not a folder");
    o.installFolder = Path("Blocked\\Inside").c_str();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -5);
    EXPECT_EQ(seen.back().text, "same name object but not a directory");
}

TEST_F(WorkerTest, UnwritableFileEndsNamingItsFullPath) {
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    // A folder where the payload wants to write a file.
    std::string blocked = std::string(o.installFolder.text()) + "\\readme.txt";
    CreateDirectoryA(Path("Install").c_str(), nullptr);
    CreateDirectoryA(o.installFolder.text(), nullptr);
    CreateDirectoryA(blocked.c_str(), nullptr);
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -5);
    EXPECT_NE(seen.back().text.find("'" + blocked + "'"), std::string::npos) << seen.back().text;
}

// Damaged LZMA data that matches its digest (as a faulty build would make):
// the decoder's failure is still an archive error, and the run is not
// reported as finished.
TEST_F(WorkerTest, CorruptPayloadIsAnArchiveError) {
    InstallerWorkerThread worker;
    worker.SetPayloadResourceId(140);
    worker.SetPayloadDigestResourceId(141);
    InstallOptions o = Options();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -3);
    const std::string log = KeptLog(o);
    EXPECT_NE(log.find("Install failed: archive error"), std::string::npos) << log;
    EXPECT_EQ(log.find("Install finished"), std::string::npos) << log;
    EXPECT_NE(log.find("Rolling back the installation"), std::string::npos) << log;
}

// One flipped bit in the packed header, the middle or the last bytes, a
// missing digest and a missing payload: refused before the install folder
// (or its log) exists, and nothing is registered, however the check was taken.
TEST_F(WorkerTest, DamagedPayloadWritesAndRegistersNothing) {
    const struct {
        int payload, digest;
        const char* what;
    } cases[] = {
        {150, 132, "bit flipped in the packed header"}, {151, 132, "bit flipped in the middle"},
        {152, 132, "bit flipped in the last bytes"},    {130, 999, "no digest resource"},
        {999, 132, "no payload resource"},
    };
    // Checked by the run itself, and begun early as the page does (the run
    // then waits for that answer); a second run of the same worker is
    // refused again from the answer it already has.
    for (bool early : {false, true}) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + (early ? ", checked early" : "");
            InstallerWorkerThread worker;
            worker.SetPayloadResourceId(c.payload);
            worker.SetPayloadDigestResourceId(c.digest);
            if (early)
                worker.BeginPayloadCheck();
            for (int run = 0; run < 2; ++run) {
                ASSERT_TRUE(worker.Start(Options(), window_, WM_INSTALL_STATUS));
                std::vector<Notice> seen = Collect(worker);
                WaitUntilIdle(worker);
                ASSERT_FALSE(seen.empty()) << what;
                EXPECT_EQ(int32_t(seen.back().code), -3) << what;
                EXPECT_EQ(seen.size(), 1u) << what << ": no progress before the refusal";
                EXPECT_EQ(GetFileAttributesA(Path("Install").c_str()), INVALID_FILE_ATTRIBUTES) << what;
                EXPECT_EQ(MachineString(SharedNames::kInstallLocationValue.narrow), "") << what;
                EXPECT_EQ(GetFileAttributesA(Path("Programs").c_str()), INVALID_FILE_ATTRIBUTES) << what;
            }
        }
    }
    // An answer taken for other resources is not reused: begun for the good
    // payload, then pointed at a damaged one, the run refuses.
    {
        InstallerWorkerThread worker;
        worker.BeginPayloadCheck();
        worker.SetPayloadResourceId(151);
        ASSERT_TRUE(worker.Start(Options(), window_, WM_INSTALL_STATUS));
        EXPECT_EQ(int32_t(Collect(worker).back().code), -3);
        WaitUntilIdle(worker);
        EXPECT_EQ(GetFileAttributesA(Path("Install").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // The good payload beside them still installs, checked early too.
    InstallerWorkerThread worker;
    worker.BeginPayloadCheck();
    ASSERT_TRUE(worker.Start(Options(), window_, WM_INSTALL_STATUS));
    EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
    WaitUntilIdle(worker);
}

// The system's code of a failed folder creation reaches the text (it used to
// be read after other calls had reset it: "Success (0=0x0)").
TEST_F(WorkerTest, InstallFolderOnAMissingDriveCarriesTheSystemCode) {
    const DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char c = 'R'; c <= 'Y' && !letter; ++c)
        if (!(drives & (1u << (c - 'A'))))
            letter = c;
    ASSERT_NE(letter, 0) << "no free drive letter";
    InstallerWorkerThread worker;
    InstallOptions o = Options();
    const std::string folder = std::string(1, letter) + ":\\Morvandite";
    o.installFolder = folder.c_str();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -5);
    const std::string& text = seen.back().text;
    EXPECT_EQ(text.rfind("Cannot create folder '" + folder + "': ", 0), 0u) << text;
    // The drive's path is not there: ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
    EXPECT_TRUE(text.find("(2=0x2)") != std::string::npos || text.find("(3=0x3)") != std::string::npos) << text;
    EXPECT_EQ(text.find("(0=0x0)"), std::string::npos) << text;
}

// A drive that fills up while the files are written: the real system error
// (ERROR_DISK_FULL, 112), raised on the writing thread, in the text and the
// log. Needs the small drive that tests/small-drive.sh maps.
TEST_F(WorkerTest, FullDiskEndsWithTheSystemsDiskFullError) {
    const std::string root = SmallDriveRoot();
    if (root.empty())
        GTEST_SKIP() << "no small drive mapped (run through tests/small-drive.sh)";
    const std::string folder = root + "WorkerFull";
    // Leave about 100 KB: the first files fit, the 300 KB one does not.
    const std::string filler = FillDriveLeaving(root, 100000);
    ASSERT_FALSE(filler.empty());

    InstallerWorkerThread worker;
    InstallOptions o = Options();
    o.installFolder = folder.c_str();
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    DeleteFileA(filler.c_str());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -5);
    const std::string& text = seen.back().text;
    EXPECT_EQ(text.rfind("Cannot write to file '" + folder + "\\Data\\Deep\\cards.bin': ", 0), 0u) << text;
    EXPECT_NE(text.find("(112=0x70)"), std::string::npos) << text;
    // The run made the folder, so rolling back took it and kept the log aside.
    const std::string log = KeptLog(o);
    EXPECT_NE(log.find("System error occurred: " + text), std::string::npos) << log;
    EXPECT_EQ(log.find("Install finished"), std::string::npos) << log;
}

TEST_F(WorkerTest, ExistingUserIniIsKeptUnlessOverridden) {
    InstallOptions o = Options();
    CreateDirectoryA(Path("Install").c_str(), nullptr);
    CreateDirectoryA(o.installFolder.text(), nullptr);
    std::string userIni = std::string(o.installFolder.text()) + "\\" + SharedNames::kUserSettingsFile.narrow;
    WriteWholeFile(userIni, "[Mine]\r\nkeep=1\r\n[update]\r\nold=1\r\n");
    {
        InstallerWorkerThread worker;
        ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
        EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
        WaitUntilIdle(worker);
    }
    EXPECT_EQ(ReadWholeFile(userIni), "[Mine]\r\nkeep=1\r\n[update]\r\nold=1\r\n");
    o.overrideUserIni = 1;
    {
        InstallerWorkerThread worker;
        ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
        EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
        WaitUntilIdle(worker);
    }
    EXPECT_EQ(ReadWholeFile(userIni + ".bak"), "[Mine]\r\nkeep=1\r\n[update]\r\nold=1\r\n");
    EncIniFile ini;
    ini.Load(userIni.c_str(), &PStringXEncoding);
    EXPECT_NE(ini.FindSection("Mine"), nullptr);
    EXPECT_EQ(ini.FindSection("update"), nullptr);
    EXPECT_NE(ini.FindSection("Options"), nullptr);
}

// The scrambled form of an INI text: gzip, then the scrambling key.
std::string Scrambled(const std::string& text) {
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string gz(text.size() + 256, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(&gz[0]);
    z.avail_out = uInt(gz.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    gz.resize(z.total_out);
    deflateEnd(&z);
    _PBlock block;
    memcpy(block.alloc(uint32_t(gz.size())), gz.data(), gz.size());
    ScrambleBlock(block);
    return std::string(reinterpret_cast<const char*>(block.ptr()), block.size());
}

// A user.ini in the scrambled form is the user's file too: kept as it is
// unless overriding, and its keys carried into the new plain file when overriding.
TEST_F(WorkerTest, ScrambledUserIniIsReadAndItsKeysKept) {
    InstallOptions o = Options();
    CreateDirectoryA(Path("Install").c_str(), nullptr);
    CreateDirectoryA(o.installFolder.text(), nullptr);
    std::string userIni = std::string(o.installFolder.text()) + "\\" + SharedNames::kUserSettingsFile.narrow;
    const std::string scrambled = Scrambled("[Mine]\r\nkeep=1\r\n[Options]\r\nNick=Player\r\nLocale=7\r\n");
    WriteWholeFile(userIni, scrambled);
    {
        InstallerWorkerThread worker;
        ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
        EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
        WaitUntilIdle(worker);
    }
    EXPECT_EQ(ReadWholeFile(userIni), scrambled);
    EXPECT_EQ(GetFileAttributesA((userIni + ".bak").c_str()), INVALID_FILE_ATTRIBUTES);

    o.overrideUserIni = 1;
    {
        InstallerWorkerThread worker;
        ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
        EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
        WaitUntilIdle(worker);
    }
    EXPECT_EQ(ReadWholeFile(userIni + ".bak"), scrambled);
    EncIniFile ini;
    ini.Load(userIni.c_str(), &PStringXEncoding);  // written back in the plain form
    ASSERT_NE(ini.FindSection("Mine"), nullptr);
    EXPECT_STREQ(ini.FindSection("Mine")->FindItem("keep")->value.text(), "1");
    ASSERT_NE(ini.FindSection("Options"), nullptr);
    EXPECT_STREQ(ini.FindSection("Options")->FindItem("Nick")->value.text(), "Player");
    EXPECT_STREQ(ini.FindSection("Options")->FindItem("Locale")->value.text(), "0");
}

// tinfo.dat is written beside its place and moved there whole: when that
// cannot be done, the failure is logged and no partial file is left.
TEST_F(WorkerTest, TrackingFileThatCannotBeWrittenIsReportedNotLeftHalfDone) {
    InstallOptions o = Options();
    CreateDirectoryA(Path("Install").c_str(), nullptr);
    CreateDirectoryA(o.installFolder.text(), nullptr);
    std::string tinfo = std::string(o.installFolder.text()) + "\\" + SharedNames::kTrackingFile.narrow;
    WriteWholeFile(tinfo, "stale tracking data");
    CreateDirectoryA((tinfo + ".new").c_str(), nullptr);  // the sibling cannot be made
    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    EXPECT_EQ(int32_t(Collect(worker).back().code), 1000);
    WaitUntilIdle(worker);
    EXPECT_EQ(GetFileAttributesA(tinfo.c_str()), INVALID_FILE_ATTRIBUTES);
    std::string log = ReadWholeFile(std::string(o.installFolder.text()) + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("Error in open tInfo file"), std::string::npos) << log;
    RemoveDirectoryA((tinfo + ".new").c_str());

    // Once it can be written, the whole file is in place and no sibling is left.
    InstallerWorkerThread again;
    ASSERT_TRUE(again.Start(o, window_, WM_INSTALL_STATUS));
    EXPECT_EQ(int32_t(Collect(again).back().code), 1000);
    WaitUntilIdle(again);
    EXPECT_NE(ReadWholeFile(tinfo).size(), 0u);
    EXPECT_EQ(GetFileAttributesA((tinfo + ".new").c_str()), INVALID_FILE_ATTRIBUTES);
}

bool KeyExists(HKEY hive, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// ---- Under UAC ---------------------------------------------------------------

// An elevated run hands the launcher to the desktop's shell, which starts it
// as the user who owns the desktop; the worker does not start it itself.
TEST_F(WorkerTest, AnElevatedRunStartsTheLauncherThroughTheDesktopShell) {
    InstallerWorkerThread worker;
    StandInDesktopShell shell;
    worker.SetDesktopShell(&shell);
    InstallOptions o = Options();
    o.launchAfterInstall = 1;
    o.runsElevated = 1;
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), 1000);

    const std::string folder = o.installFolder.text();
    const std::string launcher = folder + "\\MorvanditeUpdate.exe";
    const std::vector<StandInDesktopShell::Request> asked = shell.Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].file, launcher);
    EXPECT_EQ(asked[0].arguments, "");
    EXPECT_EQ(asked[0].folder, folder);
    const std::string log = ReadWholeFile(folder + "\\" + SharedNames::kInstallLogFile.narrow);
    size_t order = 0;
    for (const std::string& line : {std::string("Elevated: 1"), "Launch main app: '" + launcher + "'",
                                   "Started through the desktop's shell, as the desktop's user, not elevated: '" +
                                       launcher + "'",
                                   std::string("Install finished")}) {
        const size_t at = log.find(line, order);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        if (at != std::string::npos)
            order = at;
    }
}

// The installer starts the launcher itself, in the install folder and
// without arguments, where no desktop shell answers (said in the log) and in
// every run that is not elevated (as it always did).
TEST_F(WorkerTest, TheLauncherIsStartedByTheInstallerWithoutADesktopShellOrWithoutElevation) {
    const std::string record = Path("record.txt");
    SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", record.c_str());
    struct Case {
        bool elevated;
        bool shellAnswers;
        const char* logLine;
    };
    for (const Case& c : {Case{true, false, "Started by the installer itself, elevated, as the desktop's shell does "
                                             "not answer: a stand-in without a desktop: '"},
                          Case{false, true, "Started by the installer itself, not elevated: '"}}) {
        SCOPED_TRACE(c.elevated ? "elevated" : "not elevated");
        DeleteFileA(record.c_str());
        InstallOptions o = Options();
        const std::string folder = o.installFolder.text();
        const std::string launcher = folder + "\\MorvanditeUpdate.exe";
        // The payload has no launcher: a stand-in that writes down its start waits there.
        CreateDirectoryA(Path("Install").c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(BinaryPath("bin\\record_args.exe").c_str(), launcher.c_str(), FALSE));
        o.launchAfterInstall = 1;
        o.runsElevated = c.elevated ? 1 : 0;
        InstallerWorkerThread worker;
        StandInDesktopShell shell(c.shellAnswers);
        worker.SetDesktopShell(&shell);
        ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
        std::vector<Notice> seen = Collect(worker);
        WaitUntilIdle(worker);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(int32_t(seen.back().code), 1000);
        EXPECT_EQ(shell.Requests().size(), c.elevated ? 1u : 0u);

        std::string started;
        for (int i = 0; i < 200 && started.find("\nfolder=") == std::string::npos; ++i, Sleep(50))
            started = ReadWholeFileOrEmpty(record);
        EXPECT_EQ(started.rfind("module=" + launcher + "\n", 0), 0u) << started;
        EXPECT_NE(started.find("\nfolder=" + folder + "\n"), std::string::npos) << started;
        EXPECT_EQ(started.find("\narg="), std::string::npos) << started;
        const std::string log = ReadWholeFile(folder + "\\" + SharedNames::kInstallLogFile.narrow);
        EXPECT_NE(log.find(std::string(c.logLine) + launcher + "'"), std::string::npos) << log;
        EXPECT_NE(log.find(c.elevated ? "Elevated: 1" : "Elevated: 0"), std::string::npos);
    }
    SetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", nullptr);
}

// Elevated as another account than the desktop's: user.ini, the per-user
// shortcuts and the browser button go to the desktop user's folders and to
// that user's hive under HKEY_USERS, and the log says for whom.
// The desktop user's hive as a logged-on user's is: there, with its Software key.
bool MakeHive(const std::string& sid) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_USERS, (sid + "\\Software").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Options for a run elevated as another account than the desktop's, whose
// folders are below root_\Lena and whose hive is the one of `sid`.
InstallOptions ForTheDesktopsUser(const InstallOptions& base, const std::string& sid, const std::string& note,
                                  const std::function<std::string(const char*)>& path) {
    InstallOptions o = base;
    o.hasAdminRights = 1;
    o.allUsers = 0;
    o.browserButton = 1;
    o.useLocalAppData = 1;
    for (const char* f : {"Lena", "Lena\\Desktop", "Lena\\Start Menu", "Lena\\Local", "Lena\\Roaming"})
        CreateDirectoryA(path(f).c_str(), nullptr);
    o.desktopFolder = path("Lena\\Desktop").c_str();
    o.programsFolder = path("Lena\\Start Menu\\Programs").c_str();
    o.startMenuFolder = path("Lena\\Start Menu").c_str();
    o.quickLaunchFolder = path("Lena\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch").c_str();
    o.localAppDataFolder = path("Lena\\Local").c_str();
    o.userHiveSid = sid.c_str();
    o.perUserNote = note.c_str();
    return o;
}

TEST_F(WorkerTest, ForTheDesktopsUserThePerUserFilesGoToTheirFoldersAndHive) {
    const std::string sid = kDesktopUserSid;
    ASSERT_TRUE(MakeHive(sid));
    const std::string note = "Per-user files: for the desktop's user CARDROOM\\lena (" + sid +
                             "), not for the installing account CARDROOM\\admin (S-1-5-21-9-9-9-500)";
    const InstallOptions o =
        ForTheDesktopsUser(Options(), sid, note, [this](const char* f) { return Path(f); });
    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), 1000);

    const std::string folder = o.installFolder.text();
    const std::string log = ReadWholeFile(folder + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("\r\n" + note + "\r\n"), std::string::npos) << log;
    const std::string settings = Path("Lena\\Local\\MorvanditeWorkerTest");
    EXPECT_NE(log.find("Local settings directory: '" + settings + "'"), std::string::npos) << log;
    EncIniFile ini;
    ini.Load((settings + "\\" + SharedNames::kUserSettingsFile.narrow).c_str(), &PStringXEncoding);
    ASSERT_NE(ini.FindSection("Options"), nullptr) << "no user.ini for the desktop's user";
    EXPECT_STREQ(ini.FindSection("Options")->FindItem("CardBack")->value.text(), "13");

    const std::string link = std::string(kDisplayName) + ".lnk";
    const std::string launcher = folder + "\\MorvanditeUpdate.exe";
    for (const std::string& shortcut : {Path("Lena\\Desktop\\") + link, Path("Lena\\Start Menu\\") + link,
                                        Path("Lena\\Start Menu\\Programs\\Morvandite Test Group\\") + link,
                                        Path("Lena\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\") + link})
        EXPECT_EQ(LinkTarget(shortcut), launcher) << shortcut;

    const std::string button = sid + "\\Software\\Microsoft\\Internet Explorer\\Extensions\\" + kButtonId;
    PString exec, recorded;
    ReadRegistryString(HKEY_USERS, button.c_str(), "Exec", exec);
    EXPECT_EQ(std::string(exec.text()), launcher);
    ReadRegistryString(HKEY_USERS, (sid + "\\" + kUninstallKeyText).c_str(), SharedNames::kUserBrowserButtonValue.narrow,
                       recorded);
    EXPECT_STREQ(recorded.text(), kButtonId);
    // Nothing of it in the installing account's hive or the machine's.
    EXPECT_EQ(MachineString(SharedNames::kUserBrowserButtonValue.narrow), "");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string("Software\\Microsoft\\Internet Explorer\\Extensions\\") + kButtonId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKeyText));
    // Nor in its folders: no user.ini in the install folder.
    EXPECT_EQ(GetFileAttributesA((folder + "\\" + SharedNames::kUserSettingsFile.narrow).c_str()), INVALID_FILE_ATTRIBUTES);
}

// A run for the desktop's user that is stopped after its registration puts
// that user's keys back in that user's hive: the journal names them under
// HKEY_USERS with the SID, never as the installing account's HKEY_CURRENT_USER.
InstallerWorkerThread* stopAfterUsersHive = nullptr;
std::string journalToWatch;

TEST_F(WorkerTest, ARunForTheDesktopsUserIsRolledBackInThatUsersHive) {
    const std::string sid = kDesktopUserSid;
    ASSERT_TRUE(MakeHive(sid));
    InstallOptions o = ForTheDesktopsUser(Options(), sid, "Per-user files: for the desktop's user",
                                          [this](const char* f) { return Path(f); });
    // The user's button key as it was: an earlier value that must come back.
    const std::string button = sid + "\\Software\\Microsoft\\Internet Explorer\\Extensions\\" + kButtonId;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, button.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char old[] = "C:\\Old\\MorvanditeUpdate.exe";
    RegSetValueExA(key, "Exec", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof old);
    RegCloseKey(key);

    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    journalToWatch = std::string(temp) + kDisplayName + ".install-journal";
    InstallerWorkerThread worker;
    stopAfterUsersHive = &worker;
    // Once the user's keys are recorded (registration comes after the last
    // file), a stop request ends the run at its check after the settings.
    SetJournalStepHook([](int) {
        if (stopAfterUsersHive && ReadWholeFileOrEmpty(journalToWatch).find("\nK\tHKU\t") != std::string::npos) {
            stopAfterUsersHive->SetRunState(kRunStateStopRequested);
            stopAfterUsersHive = nullptr;
        }
    });
    ASSERT_TRUE(worker.Start(o, window_, WM_INSTALL_STATUS));
    std::vector<Notice> seen = Collect(worker);
    WaitUntilIdle(worker);
    SetJournalStepHook(nullptr);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(int32_t(seen.back().code), -2);

    PString exec;
    ReadRegistryString(HKEY_USERS, button.c_str(), "Exec", exec);
    EXPECT_STREQ(exec.text(), old);
    PString recorded;
    ReadRegistryString(HKEY_USERS, (sid + "\\" + kUninstallKeyText).c_str(),
                       SharedNames::kUserBrowserButtonValue.narrow, recorded);
    EXPECT_STREQ(recorded.text(), "");
    const std::string log = KeptLog(o);
    EXPECT_NE(log.find("Rolled back: restored registry key HKU\\" + button), std::string::npos) << log;
    EXPECT_NE(log.find("Rolled back: removed registry key HKU\\" + sid + "\\" + kUninstallKeyText), std::string::npos)
        << log;
    EXPECT_EQ(GetFileAttributesA(Path("Lena\\Local\\MorvanditeWorkerTest\\user.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((Path("Lena\\Desktop\\") + kDisplayName + ".lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(Path("Lena\\Roaming\\Microsoft").c_str()), INVALID_FILE_ATTRIBUTES);
}

class RegistrationTest : public WorkerTest {
protected:
    int Register(const InstallOptions& o, PString* failure = nullptr) {
        CreateDirectoryA(Path("Install").c_str(), nullptr);
        CreateDirectoryA(o.installFolder.text(), nullptr);
        EXPECT_TRUE(worker_.SetOptions(o));
        return worker_.RegisterInstallation(failure);
    }
    InstallerWorkerThread worker_;
};

TEST_F(RegistrationTest, UserWithoutAdminRightsGetsNoUninstallShortcutsNorButton) {
    InstallOptions o = Options();
    o.hasAdminRights = 0;
    EXPECT_EQ(Register(o), 0);
    std::string folder = o.installFolder.text();
    EXPECT_EQ(GetFileAttributesA((folder + "\\Uninstall Morvandite Worker Test.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(Path("Programs\\Morvandite Test Group\\Uninstall Morvandite Worker Test.lnk").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(Path("Programs\\Morvandite Test Group\\Network Status.lnk").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string("Software\\Microsoft\\Internet Explorer\\Extensions\\") + kButtonId));
}

// The group's own shortcuts are not recorded in the entry: the uninstaller
// removes them by the names in sharednames.h, so a German installation gets
// those very names (and the German language recorded in the entry).
TEST_F(RegistrationTest, AGermanInstallationsShortcutsHaveTheNamesTheUninstallerRemoves) {
    InstallOptions o = Options();
    o.hasAdminRights = 1;
    o.locale = FindLocale("de");
    ASSERT_GT(o.locale, 0);
    EXPECT_EQ(Register(o), 0);
    const std::string group = Path("Programs\\Morvandite Test Group");
    const std::string folder = o.installFolder.text();
    const std::string uninstallLink = std::string(SharedNames::kUninstallLinkPrefix.narrow) + kDisplayName + ".lnk";
    EXPECT_EQ(LinkTarget(group + "\\" + SharedNames::kNetworkStatusLink.narrow), folder + "\\Tracer.exe");
    EXPECT_EQ(LinkTarget(group + "\\" + uninstallLink), folder + "\\" + SharedNames::kUninstallerFile.narrow);
    EXPECT_EQ(LinkTarget(folder + "\\" + uninstallLink), folder + "\\" + SharedNames::kUninstallerFile.narrow);
    EXPECT_EQ(GetFileAttributesA((group + "\\Netzwerkstatus.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    DWORD language = 0;
    EXPECT_TRUE(MachineNumber("Language", language));
    EXPECT_EQ(language, DWORD(o.locale));
}

TEST_F(RegistrationTest, WithoutASiteTheEntryHasNoSupportLinks) {
    InstallOptions o = Options();
    o.hasAdminRights = 1;
    o.site = "";
    EXPECT_EQ(Register(o), 0);
    EXPECT_EQ(MachineString(SharedNames::kDisplayNameValue.narrow), kDisplayName);
    EXPECT_FALSE(MachineValueExists("URLInfoAbout"));
    EXPECT_FALSE(MachineValueExists("HelpLink"));
    EXPECT_EQ(MachineString("DisplayVersion"), "3.2.1.9");
    DWORD size = 0;
    EXPECT_TRUE(MachineNumber("EstimatedSize", size));
    EXPECT_EQ(size, PayloadKiB());
}

TEST_F(RegistrationTest, AllUsersWithEmptyCommonFoldersFallsBackWhereItShould) {
    InstallOptions o = Options();
    o.hasAdminRights = 1;
    o.allUsers = 1;  // every all-users folder is empty
    EXPECT_EQ(Register(o), 0);
    EXPECT_EQ(MachineString(SharedNames::kStartMenuGroupValue.narrow), Path("Programs\\Morvandite Test Group"));
    EXPECT_EQ(MachineString(SharedNames::kCommonStartMenuGroupValue.narrow), "");
    EXPECT_EQ(MachineString(SharedNames::kDesktopLinkValue.narrow), Path("Desktop\\Morvandite Worker Test.lnk"));  // user's desktop
    EXPECT_EQ(MachineString(SharedNames::kCommonStartMenuLinkValue.narrow), "");  // no fallback for the start menu
    EXPECT_EQ(MachineString(SharedNames::kStartMenuLinkValue.narrow), "");
    EXPECT_EQ(GetFileAttributesA(Path("StartMenu\\Morvandite Worker Test.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    // The button goes to the machine hive for all users.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string("Software\\Microsoft\\Internet Explorer\\Extensions\\") + kButtonId));
    EXPECT_EQ(MachineString(SharedNames::kMachineBrowserButtonValue.narrow), kButtonId);
}

TEST_F(RegistrationTest, LegacySystemSkipsStartMenuAndButton) {
    InstallOptions o = Options();
    o.hasAdminRights = 1;
    o.legacyWindows = 1;
    EXPECT_EQ(Register(o), 0);
    EXPECT_EQ(MachineString(SharedNames::kStartMenuLinkValue.narrow), "");
    EXPECT_EQ(GetFileAttributesA(Path("StartMenu\\Morvandite Worker Test.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string("Software\\Microsoft\\Internet Explorer\\Extensions\\") + kButtonId));
    EXPECT_EQ(MachineString(SharedNames::kDesktopLinkValue.narrow), Path("Desktop\\Morvandite Worker Test.lnk"));
}

bool RunsOn64BitWindows() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// On a 64-bit system the button goes where the browser reads it: the user's
// key as it is (HKCU\Software is shared by both kinds of program), the
// machine's in the 32-bit view. Nothing is spelt Wow6432Node: a user's
// Wow6432Node key is one no browser reads (and makes Wine redirect every
// 32-bit program's HKCU\Software into it), and a 32-bit program that spells
// it in HKLM gets a doubled node under Wine.
TEST_F(RegistrationTest, BrowserButtonOfA64BitSystemIsWhereTheBrowserReadsIt) {
    const std::string launcher = std::string(Options().installFolder.text()) + "\\MorvanditeUpdate.exe";
    const bool userWowNodeBefore = RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Wow6432Node", KEY_WOW64_64KEY);
    {
        SCOPED_TRACE("for this user");
        InstallOptions o = Options();
        o.hasAdminRights = 1;
        o.isWow64 = 1;
        EXPECT_EQ(Register(o), 0);
        PString exec;
        ReadRegistryString(HKEY_CURRENT_USER, kButtonKey.c_str(), "Exec", exec);
        EXPECT_EQ(std::string(exec.text()), launcher);
        EXPECT_EQ(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Wow6432Node", KEY_WOW64_64KEY), userWowNodeBefore);
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, std::string(SharedNames::kOldBrowserButtonRootWow64.narrow) +
                                                              kButtonId, KEY_WOW64_64KEY));
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kButtonKey, KEY_WOW64_32KEY));
        EXPECT_EQ(MachineString(SharedNames::kUserBrowserButtonValue.narrow), "");  // in the button's hive
        PString button1;
        ReadRegistryString(HKEY_CURRENT_USER, kUninstallKey, SharedNames::kUserBrowserButtonValue.narrow, button1);
        EXPECT_STREQ(button1.text(), kButtonId);
        EXPECT_EQ(MachineString(SharedNames::kStartMenuLinkValue.narrow), Path("StartMenu\\Morvandite Worker Test.lnk"));
    }
    RemoveRegistration();
    {
        SCOPED_TRACE("for all users");
        InstallOptions o = Options();
        o.hasAdminRights = 1;
        o.isWow64 = 1;
        o.allUsers = 1;
        EXPECT_EQ(Register(o), 0);
        std::map<std::string, std::string> values;
        ASSERT_TRUE(ReadRegistryValues(HKEY_LOCAL_MACHINE, kButtonKey, values));
        EXPECT_EQ(values["Exec"], "1:" + launcher + std::string(1, '\0'));
        EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kButtonKey, KEY_WOW64_32KEY));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kButtonKey));
        EXPECT_EQ(MachineString(SharedNames::kMachineBrowserButtonValue.narrow), kButtonId);
        const std::string doubled = std::string("Software\\Wow6432Node\\Wow6432Node");
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, doubled, KEY_WOW64_64KEY));
        if (RunsOn64BitWindows()) {
            // Seen by a 64-bit program: the 32-bit view's key, under its one node.
            const std::string physical = std::string(SharedNames::kOldBrowserButtonRootWow64.narrow) + kButtonId;
            EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, physical, KEY_WOW64_64KEY));
            EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kButtonKey, KEY_WOW64_64KEY));
        }
    }
}

TEST_F(RegistrationTest, GroupFolderThatCannotBeMadeFailsRegistration) {
    InstallOptions o = Options();
    WriteWholeFile(Path("Programs"), "a file where the programs folder should be");
    o.programsFolder = Path("Programs\\Sub").c_str();
    // A path through an existing file is a registration failure like any
    // other folder that cannot be made (-4), named with the folder and the reason.
    PString failure;
    EXPECT_EQ(Register(o, &failure), -1);
    const std::string text = failure.text();
    EXPECT_NE(text.find("Cannot create folder '" + Path("Programs\\Sub\\")), std::string::npos) << text;
    EXPECT_NE(text.find("(267)"), std::string::npos) << text;  // ERROR_DIRECTORY
}

}  // namespace
