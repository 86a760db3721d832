// MorvanditeInstall.exe -silent under Wine, with no display: every option
// set and left out, a faulty command line, folders the installation plan
// refuses, a folder on a network share, a folder that cannot be made, a
// running client and a damaged installer, each judged by its exit code, the
// files, the uninstall entry and the log's copy.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "inixor.h"
#include "locales.h"
#include "network_share.h"
#include "registry_branch.h"
#include "sharednames.h"
#include "test_paths.h"
#include "tracking_file.h"
#include "tracking.h"

namespace {

const std::string kUninstallKeyText = std::string(SharedNames::kUninstallRoot.narrow) + "Morvandite";
const char* const kUninstallKey = kUninstallKeyText.c_str();
// The browser button of the shipped configuration (resources/config.ini).
const std::string kButtonKey =
    std::string(SharedNames::kBrowserButtonRoot.narrow) + "{D87C7BDB-FC51-4D7D-B65F-AC534187E603}";
const DWORD kBadCommandLine = 1639, kClientRunning = 18;
const DWORD kArchiveError = 3, kErrorWithText = DWORD(-5), kAnotherInstaller = 1618;

// A value of the uninstall entry; "<none>" when it is absent.
std::string EntryValue(const char* name) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return "<none>";
    char value[2048] = "";
    DWORD size = sizeof value - 1, type = 0;
    LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS)
        return "<none>";
    if (type == REG_DWORD)
        return std::to_string(*reinterpret_cast<DWORD*>(value));
    return std::string(value);
}

bool EntryExists() {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// Runs a program to its end and returns its exit code (STILL_ACTIVE after
// two minutes, when it is ended).
DWORD RunProgram(const std::string& exe, const std::string& arguments) {
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &info))
        return DWORD(-100);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(info.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    else
        TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
}

class Unattended : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = BinaryPath("bin\\MorvanditeInstall.exe");
        ASSERT_TRUE(PathExists(exe_)) << exe_;
        scratch_ = ScratchFolder(std::string("unattended-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        folder_ = scratch_ + "\\Card Room";  // a blank in the folder, so the quoting matters
        log_ = scratch_ + "\\logs\\copy.log";
        RemoveRegistration();
        ASSERT_FALSE(EntryExists());
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            registry_.Keep(hive, kUninstallKey);
            registry_.Keep(hive, kButtonKey);
        }
    }
    void TearDown() override {
        RemoveRegistration();
        registry_.Restore();
    }
    static void RemoveRegistration() {
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            DeleteRegistryTree(hive, kUninstallKey);
            DeleteRegistryTree(hive, kButtonKey);
        }
    }

    DWORD Install(const std::string& switches) { return RunProgram(exe_, "-silent " + switches + " \"-log=" + log_ + "\""); }

    // Every file the payload lists is in the folder.
    void ExpectPayloadFiles(const std::string& folder) {
        const std::string list = ReadWholeFileOrEmpty(folder + "\\uninstall.lst");
        ASSERT_FALSE(list.empty());
        size_t files = 0;
        for (size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2, ++files)
            EXPECT_TRUE(PathExists(folder + "\\" + list.substr(at, end - at))) << list.substr(at, end - at);
        EXPECT_GE(files, 9u);
    }

    std::string exe_, scratch_, folder_, log_;
    RegistryBranches registry_;
};

TEST_F(Unattended, EveryOptionSetIsObeyed) {
    ASSERT_EQ(Install("-dir=\"" + folder_ + "\" -lang=de -desktop=0 -quicklaunch=0 -startmenu=0 -browserbutton=0 "
                      "-allusers=0 -nolaunch"),
              0u);
    ExpectPayloadFiles(folder_);
    EXPECT_EQ(EntryValue(SharedNames::kInstallLocationValue.narrow), folder_);
    EXPECT_EQ(EntryValue("Language"), std::to_string(FindLocale("de")));
    // Per-user program group; none of the optional shortcuts.
    EXPECT_NE(EntryValue(SharedNames::kStartMenuGroupValue.narrow), "<none>");
    EXPECT_EQ(EntryValue(SharedNames::kCommonStartMenuGroupValue.narrow), "<none>");
    for (const char* link : {SharedNames::kDesktopLinkValue.narrow, SharedNames::kStartMenuLinkValue.narrow, SharedNames::kCommonStartMenuLinkValue.narrow, SharedNames::kQuickLaunchLinkValue.narrow})
        EXPECT_EQ(EntryValue(link), "<none>") << link;

    const std::string copy = ReadWholeFileOrEmpty(log_), own = ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(copy.find("Unattended installation"), std::string::npos) << copy;
    EXPECT_NE(copy.find(" Desktop: 0"), std::string::npos) << copy;
    EXPECT_NE(copy.find(" All users: 0"), std::string::npos) << copy;
    EXPECT_NE(copy.find(" Ie Button: 0"), std::string::npos) << copy;
    EXPECT_NE(copy.find("Install finished"), std::string::npos) << copy;
    EXPECT_NE(copy.find("Exit code: 0"), std::string::npos) << copy;
    EXPECT_EQ(copy.find("Launch main app"), std::string::npos) << copy;
    // The install log has the worker's lines, the copy has them too.
    EXPECT_NE(own.find("Install finished"), std::string::npos) << own;
    EXPECT_EQ(own.find("Unattended installation"), std::string::npos) << own;
}

TEST_F(Unattended, OptionsLeftOutTakeThePageDefaults) {
    ASSERT_EQ(Install("\"-dir=" + folder_ + "\" -nolaunch"), 0u);
    ExpectPayloadFiles(folder_);
    EXPECT_EQ(EntryValue(SharedNames::kInstallLocationValue.narrow), folder_);
    // The test prefix's user is an administrator: all users by default.
    EXPECT_NE(EntryValue(SharedNames::kCommonStartMenuGroupValue.narrow), "<none>");
    for (const char* link : {SharedNames::kDesktopLinkValue.narrow, SharedNames::kCommonStartMenuLinkValue.narrow, SharedNames::kQuickLaunchLinkValue.narrow})
        EXPECT_NE(EntryValue(link), "<none>") << link;
    EXPECT_TRUE(PathExists(EntryValue(SharedNames::kDesktopLinkValue.narrow))) << EntryValue(SharedNames::kDesktopLinkValue.narrow);
    const std::string copy = ReadWholeFileOrEmpty(log_);
    EXPECT_NE(copy.find(" Desktop: 1"), std::string::npos) << copy;
    EXPECT_NE(copy.find(" Ie Button: 1"), std::string::npos) << copy;
    EXPECT_NE(copy.find("Exit code: 0"), std::string::npos) << copy;
}

TEST_F(Unattended, AFaultyCommandLineInstallsNothing) {
    struct Case {
        std::string switches, why;
    };
    const Case cases[] = {{"-dir=Games -nolaunch", "not an absolute folder path"},
                          {"-dir=\"" + folder_ + "\" -desktop=2", "value must be 0 or 1"},
                          {"-dir=\"" + folder_ + "\" -lang=xx", "no such language code"},
                          {"-dir=\"" + folder_ + "\" -lang=de -lang=fr", "twice"},
                          {"-dir=" + folder_, "stray argument"},  // a blank left unquoted
                          // A catalogue code this build does not offer.
                          {"-dir=\"" + folder_ + "\" -lang=en-GB", "does not offer the language"}};
    for (const Case& c : cases) {
        DeleteFileA(log_.c_str());
        EXPECT_EQ(Install(c.switches), kBadCommandLine) << c.switches;
        const std::string copy = ReadWholeFileOrEmpty(log_);
        EXPECT_NE(copy.find("Bad command line"), std::string::npos) << copy;
        EXPECT_NE(copy.find(c.why), std::string::npos) << c.switches << "\n" << copy;
        EXPECT_NE(copy.find("Exit code: 1639"), std::string::npos) << copy;
    }
    EXPECT_FALSE(PathExists(folder_));
    EXPECT_FALSE(EntryExists());
}

// What a running installer of the product holds for its whole run.
HANDLE HoldInstallLock() { return CreateMutexA(nullptr, FALSE, "Global\\MorvanditeInstall-Morvandite"); }

TEST_F(Unattended, ASecondInstallerRefusesAtOnceAndWritesNothing) {
    HANDLE held = HoldInstallLock();
    ASSERT_TRUE(held);
    const DWORD start = GetTickCount();
    EXPECT_EQ(Install("-dir=\"" + folder_ + "\" -nolaunch"), kAnotherInstaller);
    EXPECT_LT(GetTickCount() - start, 20000u) << "an unattended run waits for no one";
    EXPECT_FALSE(PathExists(folder_));
    EXPECT_FALSE(EntryExists());
    const std::string copy = ReadWholeFileOrEmpty(log_);
    EXPECT_NE(copy.find("Another Morvandite installer is already running on this computer."), std::string::npos)
        << copy;
    EXPECT_NE(copy.find("Exit code: 1618"), std::string::npos) << copy;
    // In the language asked for, too.
    EXPECT_EQ(Install("-dir=\"" + folder_ + "\" -lang=de -nolaunch"), kAnotherInstaller);
    EXPECT_NE(ReadWholeFileOrEmpty(log_).find("Installationsprogramm von Morvandite"), std::string::npos)
        << ReadWholeFileOrEmpty(log_);
    CloseHandle(held);
    EXPECT_EQ(Install("-dir=\"" + folder_ + "\" -nolaunch"), 0u);
    ExpectPayloadFiles(folder_);
}

TEST_F(Unattended, TwoInstallersStartedTogetherNeverUndoEachOther) {
    const std::string exe = exe_;
    auto start = [&](const std::string& logName, PROCESS_INFORMATION& info) {
        std::string commandLine = "\"" + exe + "\" -silent -nolaunch \"-dir=" + folder_ + "\" \"-log=" + scratch_ +
                                  "\\" + logName + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        return CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &info) != FALSE;
    };
    PROCESS_INFORMATION first = {}, second = {};
    ASSERT_TRUE(start("first.log", first));
    ASSERT_TRUE(start("second.log", second));
    DWORD codes[2] = {STILL_ACTIVE, STILL_ACTIVE};
    int i = 0;
    for (PROCESS_INFORMATION* p : {&first, &second}) {
        if (WaitForSingleObject(p->hProcess, 180000) == WAIT_OBJECT_0)
            GetExitCodeProcess(p->hProcess, &codes[i]);
        else
            TerminateProcess(p->hProcess, 99);
        CloseHandle(p->hThread);
        CloseHandle(p->hProcess);
        ++i;
    }
    // One installs; the other refuses, or (when the first had ended before
    // it began) installs again. Never an error, never an undone installation.
    EXPECT_TRUE(codes[0] == 0 || codes[1] == 0) << codes[0] << " " << codes[1];
    for (DWORD code : codes)
        EXPECT_TRUE(code == 0 || code == kAnotherInstaller) << code;
    ExpectPayloadFiles(folder_);
    EXPECT_EQ(EntryValue(SharedNames::kInstallLocationValue.narrow), folder_);
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    EXPECT_FALSE(PathExists(std::string(temp) + "Morvandite.install-journal"));
    const std::string logs = ReadWholeFileOrEmpty(scratch_ + "\\first.log") + ReadWholeFileOrEmpty(scratch_ + "\\second.log");
    EXPECT_EQ(logs.find("interrupted installation"), std::string::npos) << logs;
}

// What an interrupted run left is put right once, and said once in each log.
TEST_F(Unattended, AnInterruptedRunIsPutRightAndLoggedOnce) {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string journal = std::string(temp) + "Morvandite.install-journal";
    const std::string stray = scratch_ + "\\half-written.dat";
    WriteWholeFile(stray, "written by a run that was killed");
    // The killed run's journal: its header, then a file it had begun.
    WriteWholeFile(journal, "H\t2\tMorvandite\t" + folder_ + "\nF\t" + stray + "\n");
    ASSERT_EQ(Install("-dir=\"" + folder_ + "\" -nolaunch"), 0u);
    EXPECT_FALSE(PathExists(stray));
    EXPECT_FALSE(PathExists(journal));
    const std::string line = "Rolled back: removed '" + stray + "'";
    for (const std::string& log : {ReadWholeFileOrEmpty(log_),
                                   ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow)}) {
        const size_t first = log.find(line);
        EXPECT_NE(first, std::string::npos) << log;
        EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "logged twice:\n" << log;
        EXPECT_NE(log.find("Interrupted installation put right"), std::string::npos) << log;
        EXPECT_EQ(log.find("Rollback failed"), std::string::npos) << log;
    }
    ExpectPayloadFiles(folder_);
}

// A journal whose header names another product is not this installation's:
// it is left alone, and so is everything it names.
TEST_F(Unattended, AnotherProductsJournalIsNeverApplied) {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string journal = std::string(temp) + "Morvandite.install-journal";
    const std::string theirs = scratch_ + "\\theirs.dat";
    WriteWholeFile(theirs, "another product's file");
    WriteWholeFile(journal, "H\t2\tLarkspur Cards\tC:\\Larkspur\nF\t" + theirs + "\n");
    EXPECT_NE(Install("-dir=\"" + folder_ + "\" -nolaunch"), 0u);
    EXPECT_TRUE(PathExists(theirs));
    EXPECT_EQ(ReadWholeFileOrEmpty(journal), "H\t2\tLarkspur Cards\tC:\\Larkspur\nF\t" + theirs + "\n");
    EXPECT_FALSE(EntryExists());
    DeleteFileA(journal.c_str());
}

TEST_F(Unattended, AFolderThatCannotBeMadeSaysWhyWithoutBlamingTheDisk) {
    // A file stands where a parent folder would have to be.
    WriteWholeFile(scratch_ + "\\blocker", "not a folder");
    const std::string folder = scratch_ + "\\blocker\\Morvandite";
    EXPECT_EQ(Install("-dir=\"" + folder + "\" -nolaunch"), kErrorWithText);
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(EntryExists());
    const std::string copy = ReadWholeFileOrEmpty(log_);
    EXPECT_NE(copy.find("rror occurred"), std::string::npos) << copy;
    EXPECT_NE(copy.find("blocker"), std::string::npos) << copy;
    // What the page's error box would have said: not a full disk, which
    // the system did not report.
    EXPECT_NE(copy.find("The installation could not be completed."), std::string::npos) << copy;
    EXPECT_EQ(copy.find("Disk write error"), std::string::npos) << copy;
    EXPECT_NE(copy.find("Exit code: -5"), std::string::npos) << copy;
}

// The names directly in a folder ("." and ".." left out).
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Every folder the installation plan refuses, given with -dir: the run says
// why in the log and ends with -5 before it writes anything.
TEST_F(Unattended, AFolderThePlanRefusesIsNamedInTheLogWithItsReasonAndNothingIsWritten) {
    const std::string profile = ShellFolder(CSIDL_PROFILE), windows = ShellFolder(CSIDL_WINDOWS);
    ASSERT_FALSE(profile.empty());
    ASSERT_FALSE(windows.empty());
    const char* const root = "it is the root folder of a drive or of a network share.";
    const char* const system = "it is a folder of Windows or of a user profile, or it contains one.";
    const char* const ending = "a name in it ends with a dot or a space.";
    const char* const reserved = "a name in it is reserved by Windows";
    const struct {
        std::string folder;
        const char* reason;
    } cases[] = {
        {"C:\\", root},
        {"\\\\server\\share", root},
        {scratch_ + "\\Morv.", ending},  // Windows would make "Morv" and the entry would name "Morv."
        {scratch_ + "\\Morv ", ending},
        {scratch_ + "\\Games.\\Morv", ending},
        {scratch_ + "\\CON", reserved},
        {scratch_ + "\\nul.txt\\x", reserved},
        {windows, system},
        {windows + "\\System32\\x", system},  // nothing goes inside Windows
        {profile, system},                    // the user's profile root
        {profile.substr(0, profile.rfind('\\')), system},  // the folder of every profile
        {scratch_ + "\\" + std::string(200, 'x'), "the path is too long."},
    };
    for (const auto& c : cases) {
        DeleteFileA(log_.c_str());
        EXPECT_EQ(Install("\"-dir=" + c.folder + "\" -nolaunch"), kErrorWithText) << c.folder;
        const std::string copy = ReadWholeFileOrEmpty(log_);
        EXPECT_NE(copy.find("The folder '" + c.folder + "' cannot be used for the installation: " + c.reason),
                  std::string::npos)
            << copy;
        EXPECT_NE(copy.find("Exit code: -5"), std::string::npos) << copy;
        EXPECT_EQ(copy.find("Log File Path"), std::string::npos) << "the worker ran: " << copy;
        EXPECT_FALSE(EntryExists()) << c.folder;
        // Nothing made beside the log, and nothing put into the system's folders.
        EXPECT_EQ(FolderNames(scratch_), std::vector<std::string>{"logs"}) << c.folder;
        for (const std::string& folder : {windows, profile})
            EXPECT_FALSE(PathExists(folder + "\\" + SharedNames::kUninstallerFile.narrow)) << c.folder;
    }
    EXPECT_FALSE(PathExists(windows + "\\System32\\x"));
}

// What is not a folder path at all is a fault of the command line (as on the
// page, where it is shown with the usage instead of the page).
TEST_F(Unattended, ADirThatIsNoFullFolderPathIsABadCommandLine) {
    for (const std::string& folder : std::vector<std::string>{"C:Games", "Games", "\\Games", "\\\\?\\C:\\x",
                                                              "\\\\server", scratch_ + "\\a|b", scratch_ + "\\a:b"}) {
        DeleteFileA(log_.c_str());
        EXPECT_EQ(Install("\"-dir=" + folder + "\" -nolaunch"), kBadCommandLine) << folder;
        const std::string copy = ReadWholeFileOrEmpty(log_);
        EXPECT_NE(copy.find("Bad command line: not an absolute folder path"), std::string::npos) << copy;
        EXPECT_FALSE(EntryExists()) << folder;
        EXPECT_EQ(FolderNames(scratch_), std::vector<std::string>{"logs"}) << folder;
    }
}

TEST_F(Unattended, TheFolderIsRecordedAsItIsCreated) {
    // Forward slashes and doubled separators, as Windows reads them.
    std::string given = folder_;
    for (char& c : given)
        if (c == '\\')
            c = '/';
    given.insert(given.rfind('/'), "/");
    ASSERT_EQ(Install("\"-dir=" + given + "//\" -nolaunch -desktop=0 -quicklaunch=0 -startmenu=0"), 0u);
    ExpectPayloadFiles(folder_);
    EXPECT_EQ(EntryValue(SharedNames::kInstallLocationValue.narrow), folder_);
    EXPECT_EQ(EntryValue("UninstallString"), "\"" + folder_ + "\\MorvanditeUninstall.exe\" /u:Morvandite");
}

// A network share (Wine serves it from the prefix): a folder below it is an
// install folder like any other, its missing parents made, its space asked
// of the share.
TEST_F(Unattended, AFolderOnANetworkShareIsInstalledAndRecordedAsGiven) {
    const TestNetworkShare share("morvandite-test", "unattended" + std::to_string(GetCurrentProcessId()));
    ASSERT_TRUE(share.Usable()) << share.Problem();
    const std::string folder = share.Root() + "\\Games\\Card Room";
    EXPECT_EQ(Install("\"-dir=" + folder + "\" -nolaunch -desktop=0 -quicklaunch=0 -startmenu=0"), 0u)
        << ReadWholeFileOrEmpty(log_);
    ExpectPayloadFiles(folder);
    EXPECT_TRUE(PathExists(share.Folder() + "\\Games\\Card Room\\Morvandite.exe"));
    EXPECT_EQ(EntryValue(SharedNames::kInstallLocationValue.narrow), folder);

    // A share that is not there is refused before anything is written.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    DeleteFileA(log_.c_str());
    EXPECT_EQ(Install("\"-dir=\\\\morvandite-test\\missing\\Games\" -nolaunch"), kErrorWithText);
    const std::string copy = ReadWholeFileOrEmpty(log_);
    EXPECT_NE(copy.find("The free space of the drive or network share of '\\\\morvandite-test\\missing\\Games' "
                        "cannot be found"),
              std::string::npos)
        << copy;
    EXPECT_EQ(copy.find("Log File Path"), std::string::npos) << copy;
    EXPECT_FALSE(EntryExists());
}

TEST_F(Unattended, ARunningClientEndsTheRunWithoutAQuestion) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "unattended-client-ready");
    const std::string holder = BinaryPath("bin\\instance_holder.exe");
    std::string commandLine = "\"" + holder + "\" --mutex MorvanditeLobbyClass unattended-client-ready";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION client = {};
    ASSERT_TRUE(CreateProcessA(holder.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                               &client));
    ASSERT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);

    const DWORD code = Install("-dir=\"" + folder_ + "\" -nolaunch");
    TerminateProcess(client.hProcess, 0);
    WaitForSingleObject(client.hProcess, 10000);
    CloseHandle(client.hThread);
    CloseHandle(client.hProcess);
    CloseHandle(ready);

    EXPECT_EQ(code, kClientRunning);
    EXPECT_FALSE(PathExists(folder_));
    EXPECT_FALSE(EntryExists());
    const std::string copy = ReadWholeFileOrEmpty(log_);
    EXPECT_NE(copy.find("currently running another version"), std::string::npos) << copy;
    EXPECT_NE(copy.find("Unattended answer: Abort"), std::string::npos) << copy;
    EXPECT_NE(copy.find("Exit code: 18"), std::string::npos) << copy;
}

TEST_F(Unattended, ADamagedInstallerIsAnArchiveError) {
    // The payload resource inside a copy of the installer, its compressed
    // body spoilt near the end so that decoding fails part-way.
    std::string image = ReadWholeFile(exe_);
    const std::string payload = ReadWholeFile(BinaryPath("generated\\payload.bin"));
    const size_t at = image.find(payload.substr(0, 4096));
    ASSERT_NE(at, std::string::npos);
    ASSERT_GT(payload.size(), 20000u);
    for (size_t i = payload.size() - 12000; i < payload.size() - 16; ++i)
        image[at + i] = char(image[at + i] ^ 0x5A);
    const std::string damaged = scratch_ + "\\MorvanditeInstall.exe";
    WriteWholeFile(damaged, image);

    const DWORD code = RunProgram(damaged, "-silent \"-dir=" + folder_ + "\" -nolaunch \"-log=" + log_ + "\"");
    EXPECT_EQ(code, kArchiveError);
    EXPECT_FALSE(EntryExists());
    // The integrity check refuses it before anything is written.
    EXPECT_FALSE(PathExists(folder_));
    const std::string copy = ReadWholeFileOrEmpty(log_);
    EXPECT_NE(copy.find("Install refused: the payload does not match its digest"), std::string::npos) << copy;
    EXPECT_NE(copy.find("This installer is damaged. Please download it again."), std::string::npos) << copy;
    EXPECT_NE(copy.find("Exit code: 3"), std::string::npos) << copy;
}

// The Windows version Wine reports to the installer alone: its own
// application defaults, which the test's process does not read.
class WindowsVersions : public Unattended {
protected:
    void SetUp() override {
        Unattended::SetUp();
        registry_.Keep(HKEY_CURRENT_USER, kAppDefaults);
    }
    void ReportVersion(const char* version) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), DWORD(strlen(version) + 1));
        RegCloseKey(key);
    }
    static constexpr const char* kAppDefaults = "Software\\Wine\\AppDefaults\\MorvanditeInstall.exe";
};

struct ReportedVersion {
    const char* wine;  // HKCU\Software\Wine's Version
    unsigned major, minor, build;
    bool localAppData;  // Vista or later
};

std::string Hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "%x", value);
    return text;
}

// Whether the log has a line that is exactly `line`.
bool HasLine(const std::string& log, const std::string& line) {
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) {
        const size_t end = at + line.size();
        if ((at == 0 || log[at - 1] == '\n') && (end == log.size() || log[end] == '\r' || log[end] == '\n'))
            return true;
    }
    return false;
}

std::string LocalAppDataFolder() {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// XP, 7 and 10 as Wine reports them (10 to a program whose manifest names
// it, as the installer's does). The log's "OS Version" is GetVersion's
// form; user.ini goes to local application data from Vista on and to the
// install folder before. (The page's test checks the wide calls of each.)
TEST_F(WindowsVersions, EachVersionIsLoggedAndGetsItsChoices) {
    const ReportedVersion versions[] = {
        {"winxp", 5, 1, 2600, false},
        {"win7", 6, 1, 7601, true},
        {"win10", 10, 0, 18362, true},
    };
    const std::string settingsFolder = LocalAppDataFolder() + "\\Morvandite";
    const bool settingsFolderBefore = PathExists(settingsFolder);
    const std::string userIniBefore = ReadWholeFileOrEmpty(settingsFolder + "\\user.ini");
    for (const ReportedVersion& v : versions) {
        SCOPED_TRACE(v.wine);
        ReportVersion(v.wine);
        const std::string folder = scratch_ + "\\" + v.wine;
        DeleteFileA(log_.c_str());
        ASSERT_EQ(Install("\"-dir=" + folder + "\" -nolaunch -desktop=0 -quicklaunch=0 -startmenu=0 "
                          "-browserbutton=0 -allusers=0"),
                  0u);
        const std::string log = ReadWholeFileOrEmpty(folder + "\\" + SharedNames::kInstallLogFile.narrow);
        const unsigned packed = v.major | v.minor << 8 | v.build << 16;
        EXPECT_TRUE(HasLine(log, "OS Version: " + Hex(packed))) << log;
        EXPECT_TRUE(HasLine(log, std::string("localAppData: ") + (v.localAppData ? "1" : "0"))) << log;
        const std::string settings = v.localAppData ? settingsFolder : folder;
        EXPECT_NE(log.find("Local settings directory: '" + settings + "'"), std::string::npos) << log;
        EXPECT_EQ(PathExists(folder + "\\user.ini"), !v.localAppData);

        // The per-user group the installation made, and its settings.
        const std::string group = EntryValue(SharedNames::kStartMenuGroupValue.narrow);
        for (const char* link : {"Morvandite.lnk", "Network Status.lnk", "Uninstall Morvandite.lnk"})
            DeleteFileA((group + "\\" + link).c_str());
        RemoveDirectoryA(group.c_str());
        RemoveRegistration();
    }
    if (settingsFolderBefore)
        WriteWholeFile(settingsFolder + "\\user.ini", userIniBefore);
    else if (PathExists(settingsFolder)) {
        DeleteFileA((settingsFolder + "\\user.ini").c_str());
        RemoveDirectoryA(settingsFolder.c_str());
    }
}

// Tracked copies whose blocks break the tag grammar: each is installed, its
// block used not at all ("tInfo rejected: ..."), and nothing of it reaches
// tinfo.dat or user.ini; a good block still lands as it always has.
TEST_F(Unattended, HostileTrackingBlocksLeaveNothingInTheClientsFiles) {
    const std::string settingsFolder = LocalAppDataFolder() + "\\Morvandite";
    const std::string userIni = settingsFolder + "\\" + SharedNames::kUserSettingsFile.narrow;
    const bool settingsFolderBefore = PathExists(settingsFolder);
    const std::string userIniBefore = ReadWholeFileOrEmpty(userIni);
    static const char kZeroByte[] = "SRC=evil\0[update]\nurl=http://evil.invalid/\n";
    std::string tooMany;
    for (int i = 0; i < 33; ++i)
        tooMany += "K" + std::to_string(i) + "=1\n";
    struct Case {
        const char* what;
        std::string block, reason;
    } cases[] = {
        {"a CR-injected section", "THM=x\r[update]\rurl=http://evil.invalid/\r\nSRC=cr\n", "line 1 holds a carriage return"},
        {"a section header", "SRC=evil\n[Options=]\nITS=5\nIZ=6\n", "line 2 is refused: the key holds '['"},
        {"a line without '='", "SRC=evil\nevil line\n", "line 2 is not KEY=value"},
        {"a zero byte", std::string(kZeroByte, sizeof kZeroByte - 1), "line 1 holds a zero byte"},
        {"an over-long value", "SRC=evil\nTHM=" + std::string(300, 'v') + "\n", "line 2 is refused: the value is longer"},
        {"too many lines", "SRC=evil\n" + tooMany, "more than 32 lines"},
    };
    const std::string image = ReadWholeFile(exe_);
    const std::string tracked = scratch_ + "\\MorvanditeInstall.exe";
    auto installTracked = [&](const std::string& block) {
        WriteWholeFile(tracked, StampTrackingBlock(image, block));
        DeleteFileA(userIni.c_str());
        DeleteFileA(log_.c_str());
        return RunProgram(tracked, "-silent \"-dir=" + folder_ + "\" -nolaunch -desktop=0 -quicklaunch=0 -startmenu=0 "
                                   "-browserbutton=0 -allusers=0 \"-log=" + log_ + "\"");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(installTracked(c.block), 0u);
        const std::string copy = ReadWholeFileOrEmpty(log_);
        EXPECT_NE(copy.find("tInfo rejected: " + c.reason), std::string::npos) << copy;
        EXPECT_FALSE(PathExists(folder_ + "\\" + SharedNames::kTrackingFile.narrow));
        const std::string settings = ReadWholeFileOrEmpty(userIni);
        ASSERT_NE(settings.find("[themes]"), std::string::npos) << settings;
        EXPECT_NE(settings.find("\n0=classic-felt@themes.morvandite.com"), std::string::npos) << settings;
        for (const char* trace : {"evil", "[update]", "vvvv", "url="})
            EXPECT_EQ(settings.find(trace), std::string::npos) << trace << " in\n" << settings;
    }
    // ITS in any spacing is the installer's own: the line is dropped and the
    // installer's time stands.
    ASSERT_EQ(installTracked(" ITS=1000000000\n\tiz = 99\n"), 0u);
    std::string tracking = TrackingFileText(folder_);
    EXPECT_EQ(tracking.rfind("[TInfo]\nITS=", 0), 0u) << tracking;
    EXPECT_EQ(tracking.find("1000000000"), std::string::npos) << tracking;
    EXPECT_EQ(tracking.find("IZ=99"), std::string::npos) << tracking;
    EXPECT_EQ(tracking.find("ITS=", 1), tracking.find("ITS=")) << "one ITS line: " << tracking;
    // A good block lands as today, in tinfo.dat and, its theme, in user.ini.
    ASSERT_EQ(installTracked("SRC=partner7\nTHM=midnight\n"), 0u);
    tracking = TrackingFileText(folder_);
    EXPECT_EQ(tracking.rfind("[TInfo]\nSRC=partner7\nTHM=midnight\nITS=", 0), 0u) << tracking;
    EXPECT_NE(ReadWholeFileOrEmpty(userIni).find("\n0=midnight"), std::string::npos) << ReadWholeFileOrEmpty(userIni);
    EXPECT_EQ(ReadWholeFileOrEmpty(log_).find("tInfo rejected"), std::string::npos);

    const std::string group = EntryValue(SharedNames::kStartMenuGroupValue.narrow);
    for (const char* link : {"Morvandite.lnk", "Network Status.lnk", "Uninstall Morvandite.lnk"})
        DeleteFileA((group + "\\" + link).c_str());
    RemoveDirectoryA(group.c_str());
    if (settingsFolderBefore)
        WriteWholeFile(userIni, userIniBefore);
    else if (PathExists(settingsFolder)) {
        DeleteFileA(userIni.c_str());
        RemoveDirectoryA(settingsFolder.c_str());
    }
}

}  // namespace
