// MorvanditeInstall.exe from start to exit under Wine, driven through its
// window class and control ids as a user would drive it: installations with
// and without the launch, cancelling on the page and while installing, a
// running client, language changes, the version notice and the uninstaller;
// and installers made by mkinstaller from another client, signed and tracked.
// Wine is detected in the test prefix, so the program runs its ANSI path.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "buildvariant.h"
#include "imagedigest.h"
#include "inixor.h"
#include "locales.h"
#include "msgids.h"
#include "pencoding.h"
#include "ppmsg.h"
#include "screenshot.h"
#include "selfcheck.h"
#include "sharednames.h"
#include "small_drive.h"
#include "pregistry.h"
#include "process_windows.h"
#include "registry_branch.h"
#include "test_paths.h"
#include "tracking_file.h"
#include "tracking.h"

namespace {

const char kInstallerClass[] = "MorvanditeInstaller";
const char kClientClass[] = "MorvanditeLobbyClass";
const std::string kUninstallKeyText = std::string(SharedNames::kUninstallRoot.narrow) + "Morvandite";
const char* const kUninstallKey = kUninstallKeyText.c_str();
// The browser button of the shipped configuration (resources/config.ini).
const std::string kButtonKey =
    std::string(SharedNames::kBrowserButtonRoot.narrow) + "{D87C7BDB-FC51-4D7D-B65F-AC534187E603}";
const int kLanguageList = 1001, kInstall = 1002, kCancel = 105, kAgreement = 151, kLocation = 133,
          kProgress = 114, kAllUsers = 150;
const DWORD kExitCanceled = DWORD(-1);

std::string WindowText(HWND w) {
    char text[1024] = "";
    GetWindowTextA(w, text, sizeof text);
    return text;
}

std::string MachineString(const char* key, const char* name) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return std::string();
    char value[2048] = "";
    DWORD size = sizeof value - 1, type = 0;
    LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    return rc == ERROR_SUCCESS ? std::string(value) : std::string();
}

bool MachineKeyExists(const char* key) {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

std::string LocalAppData() {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path);
    return path;
}

// Ends every copy of the installed client, as its user would: close its window.
void CloseClients() {
    for (int round = 0; round < 20; ++round) {
        HWND w = FindWindowA(kClientClass, nullptr);
        if (!w)
            return;
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        PostMessageA(w, WM_CLOSE, 0, 0);
        if (process) {
            if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
                TerminateProcess(process, 0);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
}

// One run of an installer executable.
class InstallerRun {
public:
    // environment: extra NAME=value entries for the process (the Unix locale, say).
    InstallerRun(const std::string& exe, const std::string& arguments = "",
                 const std::vector<std::string>& environment = {}) {
        std::string commandLine = "\"" + exe + "\"";
        if (!arguments.empty())
            commandLine += " " + arguments;
        std::string block;
        if (!environment.empty()) {
            for (const std::string& e : environment)
                block += e + '\0';
            char* inherited = GetEnvironmentStringsA();
            for (const char* p = inherited; *p; p += std::strlen(p) + 1) {
                bool replaced = false;
                for (const std::string& e : environment)
                    if (_strnicmp(p, e.c_str(), e.find('=') + 1) == 0)
                        replaced = true;
                if (!replaced)
                    block += std::string(p) + '\0';
            }
            FreeEnvironmentStringsA(inherited);
            block += '\0';
        }
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        started_ = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                  block.empty() ? nullptr : &block[0], nullptr, &si, &info_) != 0;
    }
    ~InstallerRun() {
        if (!started_)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 10000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    InstallerRun(const InstallerRun&) = delete;
    InstallerRun& operator=(const InstallerRun&) = delete;

    bool Started() const { return started_; }
    DWORD Pid() const { return info_.dwProcessId; }

    // The page, once it is built and shown.
    HWND Page(DWORD ms = 60000) {
        HWND page = nullptr;
        WaitUntil(
            [&] {
                page = FindProcessWindow(kInstallerClass, Pid());
                return page && GetDlgItem(page, kProgress) != nullptr;
            },
            ms);
        if (page)
            DrainPostedCheckStates(page);
        return page;
    }

    // The page posts its check boxes' first states (BM_SETCHECK); a click sent
    // before they arrive is undone by them. (WaitForInputIdle cannot tell:
    // it returns at once for a process that was idle before.) A state posted
    // here is handled after them, so once it shows they are all applied; the
    // agreement box, unchecked as built, is then put back.
    static void DrainPostedCheckStates(HWND page) {
        const HWND agreement = GetDlgItem(page, kAgreement);
        if (!agreement || SendMessageA(agreement, BM_GETCHECK, 0, 0) != BST_UNCHECKED)
            return;
        PostMessageA(agreement, BM_SETCHECK, BST_CHECKED, 0);
        WaitUntil([&] { return SendMessageA(agreement, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 10000);
        SendMessageA(agreement, BM_SETCHECK, BST_UNCHECKED, 0);
    }

    // A question box of this process, once its first button has the focus.
    HWND Question(DWORD ms = 30000) {
        HWND box = nullptr;
        WaitUntil(
            [&] {
                box = FindProcessWindow("MyMsgBox", Pid());
                if (!box)
                    return false;
                GUITHREADINFO gui = {};
                gui.cbSize = sizeof gui;
                return GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &gui) &&
                       gui.hwndFocus == GetDlgItem(box, 6);
            },
            ms);
        return box;
    }

    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // The exit code, or STILL_ACTIVE when the process did not end in time.
    DWORD Exit(DWORD ms = 120000) {
        if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false;
};

void Answer(HWND box, int button) { PostMessageA(box, WM_COMMAND, WPARAM(button), 0); }

class Installer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        LoadMessageTable();
        BuildOptions::select("Morvandite");
    }
    static void TearDownTestSuite() { FreeMessageTable(); }

    void SetUp() override {
        CloseClients();
        exe_ = BinaryPath("bin\\MorvanditeInstall.exe");
        ASSERT_TRUE(PathExists(exe_)) << exe_;
        scratch_ = ScratchFolder(std::string("installer-e2e-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        folder_ = scratch_ + "\\Morvandite";
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            registry_.Keep(hive, kUninstallKey);
            registry_.Keep(hive, kButtonKey);
        }
    }
    void TearDown() override {
        CloseClients();
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            DeleteRegistryTree(hive, kUninstallKey);
            DeleteRegistryTree(hive, kButtonKey);
        }
        registry_.Restore();
    }

    HWND Item(HWND page, int id) { return GetDlgItem(page, id); }
    bool InstallEnabled(HWND page) { return IsWindowEnabled(Item(page, kInstall)) != FALSE; }

    // Points the location box at the test's folder, ticks the agreement and presses Install.
    void Install(HWND page, const std::string& folder) {
        SendMessageA(Item(page, kLocation), WM_SETTEXT, 0, LPARAM(folder.c_str()));
        EXPECT_FALSE(InstallEnabled(page)) << "Install must wait for the agreement";
        SendMessageA(Item(page, kAgreement), BM_CLICK, 0, 0);
        ASSERT_TRUE(InstallEnabled(page));
        PostMessageA(page, WM_COMMAND, kInstall, 0);
    }

    // Install and the close box reach the page together, so the cancel
    // question opens while the worker is at its first files.
    void InstallAndClose(HWND page) {
        SendMessageA(Item(page, kLocation), WM_SETTEXT, 0, LPARAM(folder_.c_str()));
        SendMessageA(Item(page, kAgreement), BM_CLICK, 0, 0);
        PostMessageA(page, WM_COMMAND, kInstall, 0);
        PostMessageA(page, WM_CLOSE, 0, 0);
    }

    // Picks a catalogue locale in the language list as a user would.
    // Returns once the page has a new title or asks a question.
    bool Choose(HWND page, int32_t locale) {
        HWND list = Item(page, kLanguageList);
        DWORD pid = 0;
        GetWindowThreadProcessId(page, &pid);
        const std::string title = WindowText(page);
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            if (SendMessageA(list, CB_GETITEMDATA, i, 0) == locale) {
                SendMessageA(list, CB_SETCURSEL, i, 0);
                PostMessageA(page, WM_COMMAND, MAKEWPARAM(kLanguageList, CBN_SELENDOK), LPARAM(list));
                bool changed = WaitUntil(
                    [&] { return WindowText(page) != title || FindProcessWindow("MyMsgBox", pid) != nullptr; },
                    10000);
                // The caption changes first: a sent message returns only once the
                // page's thread has finished re-texting the rest of the page.
                if (changed && !FindProcessWindow("MyMsgBox", pid))
                    SendMessageTimeoutA(page, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr);
                return changed;
            }
        }
        return false;
    }
    int32_t Listed(HWND page) {
        HWND list = Item(page, kLanguageList);
        return int32_t(SendMessageA(list, CB_GETITEMDATA, SendMessageA(list, CB_GETCURSEL, 0, 0), 0));
    }

    // The texts the page shows, in their ANSI form as the test reads them.
    std::string Ansi(const PString& text) {
        PWString wide;
        ToWide(wide, text.text(), &PStringXEncoding);
        wide.terminate();
        PString ansi;
        WideToAnsi(ansi, wide.wide());
        return ansi.text();
    }
    std::string Message(int32_t locale, MsgRef message, const char* arg = nullptr) {
        PString text;
        if (arg)
            i18nFormatMsg(text, InstallerLocales, locale, message, arg);
        else
            i18nFormatMsg(text, InstallerLocales, locale, message);
        return Ansi(text);
    }

    // An installer that cannot install says so as its page opens, keeps
    // Install disabled and ends with exit code 3 once the notice is closed.
    void ExpectDamagedNoticeWhenThePageOpens(const std::string& exe, const std::string& arguments);

    std::string exe_, scratch_, folder_;
    RegistryBranches registry_;
};

TEST_F(Installer, DefaultInstallationOfATrackedInstallerLeavesEverythingAndStartsTheClient) {
    // A distributor's copy with its tracking block.
    std::string tracked = scratch_ + "\\MorvanditeInstall.exe";
    WriteWholeFile(tracked, StampTrackingBlock(ReadWholeFile(exe_), "THM=felt\nTSL=de\nITS=77\nSRC=e2e\n"));
    const std::string userIni = LocalAppData() + "\\Morvandite\\user.ini";
    DeleteFileA(userIni.c_str());

    InstallerRun run(tracked);
    ASSERT_TRUE(run.Started());
    HWND page = run.Page();
    ASSERT_TRUE(page);
    RECT client;
    GetClientRect(page, &client);
    EXPECT_EQ(client.right, 715);
    EXPECT_EQ(client.bottom, 574);
    EXPECT_EQ(WindowText(page), "Install Morvandite");
    EXPECT_EQ(SendMessageA(Item(page, kAgreement), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    Install(page, folder_);
    ASSERT_EQ(run.Exit(), 0u);

    // The files of the payload, the log and the tracking file.
    const std::string list = ReadWholeFileOrEmpty(folder_ + "\\uninstall.lst");
    ASSERT_FALSE(list.empty());
    size_t files = 0;
    for (size_t at = 0, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2, ++files)
        EXPECT_TRUE(PathExists(folder_ + "\\" + list.substr(at, end - at))) << list.substr(at, end - at);
    EXPECT_GE(files, 9u);
    EXPECT_TRUE(PathExists(folder_ + "\\Themes\\themes.ini"));
    const std::string log = ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("Themes\\themes.ini"), std::string::npos) << log;
    EXPECT_NE(log.find("Launch main app: '" + folder_ + "\\MorvanditeUpdate.exe'"), std::string::npos) << log;
    EXPECT_NE(log.find("Install finished"), std::string::npos) << log;

    const std::string tracking = TrackingFileText(folder_);
    EXPECT_EQ(tracking.rfind("[TInfo]\nTHM=felt\nTSL=de\nSRC=e2e\nITS=", 0), 0u) << tracking;
    EXPECT_EQ(tracking.find("ITS=77"), std::string::npos) << tracking;
    EXPECT_NE(tracking.find("\nIZ="), std::string::npos) << tracking;

    // The uninstall entry and the shortcuts it records.
    EXPECT_EQ(MachineString(kUninstallKey, SharedNames::kInstallLocationValue.narrow), folder_);
    EXPECT_EQ(MachineString(kUninstallKey, "UninstallString"),
              "\"" + folder_ + "\\MorvanditeUninstall.exe\" /u:Morvandite");
    for (const char* link : {SharedNames::kDesktopLinkValue.narrow, SharedNames::kCommonStartMenuLinkValue.narrow, SharedNames::kQuickLaunchLinkValue.narrow}) {
        std::string path = MachineString(kUninstallKey, link);
        EXPECT_FALSE(path.empty()) << link;
        EXPECT_TRUE(PathExists(path)) << link << " " << path;
    }
    std::string group = MachineString(kUninstallKey, SharedNames::kCommonStartMenuGroupValue.narrow);
    EXPECT_TRUE(PathExists(group + "\\Morvandite.lnk")) << group;
    EXPECT_TRUE(PathExists(group + "\\Network Status.lnk")) << group;

    // The client's settings, in the language of the page and with the tracked theme.
    EncIniFile ini;
    ini.Load(userIni.c_str(), &PStringXEncoding);
    const IniSection* options = ini.FindSection("Options");
    ASSERT_TRUE(options);
    ASSERT_TRUE(options->FindItem("Locale"));
    EXPECT_STREQ(options->FindItem("Locale")->value.text(), "0");
    const IniSection* themes = ini.FindSection("themes");
    ASSERT_TRUE(themes && themes->FindItem("0"));
    EXPECT_STREQ(themes->FindItem("0")->value.text(), "felt");

    // The launcher started the client from the install folder.
    EXPECT_TRUE(WaitUntil([] { return FindWindowA(kClientClass, nullptr) != nullptr; }, 30000));
}

TEST_F(Installer, SwitchesPresetThePage) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);  // no links left from earlier runs
    InstallerRun run(exe_, "-nolaunch \"-dir=" + folder_ + "\" -lang=de -desktop=0 -startmenu=0");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    EXPECT_EQ(Listed(page), 4);  // German
    char location[MAX_PATH] = "";
    SendMessageA(Item(page, kLocation), WM_GETTEXT, sizeof location, LPARAM(location));
    EXPECT_EQ(std::string(location), folder_);
    EXPECT_EQ(SendMessageA(Item(page, 141), BM_GETCHECK, 0, 0), BST_UNCHECKED);  // desktop
    EXPECT_EQ(SendMessageA(Item(page, 143), BM_GETCHECK, 0, 0), BST_UNCHECKED);  // start menu
    EXPECT_EQ(SendMessageA(Item(page, 142), BM_GETCHECK, 0, 0), BST_CHECKED);    // quick launch: default
    // The agreement still waits for the user.
    EXPECT_EQ(SendMessageA(Item(page, kAgreement), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageA(Item(page, kAgreement), BM_CLICK, 0, 0);
    PostMessageA(page, WM_COMMAND, kInstall, 0);
    ASSERT_EQ(run.Exit(), 0u);
    EXPECT_EQ(MachineString(kUninstallKey, SharedNames::kInstallLocationValue.narrow), folder_);
    EXPECT_EQ(MachineString(kUninstallKey, SharedNames::kDesktopLinkValue.narrow), "");
    EXPECT_EQ(MachineString(kUninstallKey, SharedNames::kCommonStartMenuLinkValue.narrow), "");
    EXPECT_FALSE(MachineString(kUninstallKey, SharedNames::kQuickLaunchLinkValue.narrow).empty());
}

TEST_F(Installer, HelpAndAFaultyCommandLineShowTheUsageInsteadOfThePage) {
    struct Case {
        const char* arguments;
        DWORD exit;
    };
    for (const Case c : {Case{"/?", 0u}, Case{"-HELP -silent", 0u}, Case{"-desktop=2", 1639u},
                         Case{"-dir=relative\\folder", 1639u}}) {
        InstallerRun run(exe_, c.arguments);
        HWND box = run.Question();
        ASSERT_TRUE(box) << c.arguments;
        // Another process's caption reads empty while that process is busy: ask again.
        WaitUntil([&] { return WindowText(box) == "Install Morvandite Software"; }, 5000);
        EXPECT_EQ(WindowText(box), "Install Morvandite Software") << c.arguments;
        EXPECT_EQ(GetDlgItem(box, 7), nullptr) << c.arguments;  // OK only
        RECT r;
        GetWindowRect(box, &r);
        EXPECT_EQ(r.right - r.left, 520);
        EXPECT_EQ(FindProcessWindow(kInstallerClass, run.Pid()), nullptr) << c.arguments;
        Answer(box, 6);
        EXPECT_EQ(run.Exit(), c.exit) << c.arguments;
    }
    EXPECT_FALSE(PathExists(folder_));
}

TEST_F(Installer, NoLaunchInstallsWithoutStartingTheClient) {
    InstallerRun run(exe_, "-NoLaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    Install(page, folder_);
    ASSERT_EQ(run.Exit(), 0u);
    const std::string log = ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("Install finished"), std::string::npos) << log;
    EXPECT_EQ(log.find("Launch main app"), std::string::npos) << log;
    EXPECT_TRUE(PathExists(folder_ + "\\Morvandite.exe"));
    Sleep(2000);  // time the client would have had to appear
    EXPECT_EQ(FindWindowA(kClientClass, nullptr), nullptr);
}

TEST_F(Installer, CancelOnThePageAsksAndResumeKeepsThePage) {
    InstallerRun run(exe_);
    HWND page = run.Page();
    ASSERT_TRUE(page);
    PostMessageA(page, WM_CLOSE, 0, 0);  // the close box
    HWND box = run.Question();
    ASSERT_TRUE(box);
    EXPECT_EQ(WindowText(box), "Installing Morvandite");
    RECT r;
    GetWindowRect(box, &r);
    EXPECT_EQ(r.right - r.left, 394);
    EXPECT_EQ(r.bottom - r.top, 212);
    Answer(box, 6);  // Resume
    EXPECT_TRUE(WaitUntil([&] { return !FindProcessWindow("MyMsgBox", run.Pid()); }, 10000));
    EXPECT_TRUE(run.Running());
    EXPECT_TRUE(IsWindowVisible(page));

    PostMessageA(page, WM_COMMAND, kCancel, 0);  // the Cancel button
    box = run.Question();
    ASSERT_TRUE(box);
    Answer(box, 7);
    EXPECT_EQ(run.Exit(), kExitCanceled);
    EXPECT_FALSE(PathExists(folder_));
}

TEST_F(Installer, CancelWhileInstallingHoldsTheWorkerAndResumeFinishes) {
    InstallerRun run(exe_, "-nolaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    InstallAndClose(page);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    EXPECT_TRUE(IsWindowVisible(Item(page, kProgress)));
    EXPECT_FALSE(IsWindowVisible(Item(page, kInstall)));
    // Held at its first file: nothing more is written while the question is open.
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow).find("Extracting files:") != std::string::npos; },
                          10000));
    const std::string before = ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow);
    Sleep(1000);
    EXPECT_EQ(ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow), before);
    EXPECT_EQ(before.find("Install finished"), std::string::npos) << before;
    Answer(box, 6);
    ASSERT_EQ(run.Exit(), 0u);
    const std::string log = ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("Install finished"), std::string::npos) << log;
    EXPECT_EQ(log.find("canceled"), std::string::npos) << log;
}

TEST_F(Installer, CancelWhileInstallingStopsTheWorkerAndExitsWithMinusOne) {
    InstallerRun run(exe_, "-nolaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    InstallAndClose(page);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    Answer(box, 7);
    EXPECT_EQ(run.Exit(), kExitCanceled);
    // Rolled back: the folder it made is gone, its log kept in the temporary folder.
    EXPECT_FALSE(PathExists(folder_));
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string log = ReadWholeFileOrEmpty(std::string(temp) + "Morvandite Install.log");
    EXPECT_NE(log.find("Install canceled by user."), std::string::npos) << log;
    EXPECT_NE(log.find("Rolling back the installation"), std::string::npos) << log;
    EXPECT_EQ(log.find("Install finished"), std::string::npos) << log;
    EXPECT_NE(MachineString(kUninstallKey, SharedNames::kInstallLocationValue.narrow), folder_);  // stopped before registering
}

// A stand-in for the client: a window of its class.
class StandInClient {
public:
    StandInClient() {
        std::string event = "MorvanditeE2eReady" + std::to_string(GetCurrentProcessId());
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        std::string exe = BinaryPath("bin\\instance_holder.exe");
        std::string commandLine = "\"" + exe + "\" --window " + kClientClass + " " + event;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        started_ = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                  &info_) != 0;
        HANDLE both[2] = {ready, info_.hProcess};
        ready_ = started_ && WaitForMultipleObjects(2, both, FALSE, 30000) == WAIT_OBJECT_0;
        CloseHandle(ready);
    }
    ~StandInClient() { End(); }
    bool Ready() const { return ready_; }
    void End() {
        if (!started_)
            return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 10000);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
        started_ = false;
    }

private:
    PROCESS_INFORMATION info_ = {};
    bool started_ = false, ready_ = false;
};

TEST_F(Installer, ARunningClientAsksRetryOrAbortAndAbortExitsWith18) {
    StandInClient client;
    ASSERT_TRUE(client.Ready());
    InstallerRun run(exe_, "-nolaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    Install(page, folder_);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    EXPECT_EQ(WindowText(box), "Installing Morvandite");
    Answer(box, 6);  // Retry while it still runs: asked again
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 10000));
    box = run.Question();
    ASSERT_TRUE(box);
    Answer(box, 7);  // Abort
    EXPECT_EQ(run.Exit(), 18u);
    EXPECT_FALSE(PathExists(folder_ + "\\" + SharedNames::kInstallLogFile.narrow));
}

TEST_F(Installer, RetryAfterTheClientClosedGoesOn) {
    StandInClient client;
    ASSERT_TRUE(client.Ready());
    InstallerRun run(exe_, "-nolaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    Install(page, folder_);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    client.End();
    Answer(box, 6);
    ASSERT_EQ(run.Exit(), 0u);
    EXPECT_NE(ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow).find("Install finished"), std::string::npos);
}

TEST_F(Installer, ChoosingALanguageRetextsThePageAndAnUnsupportedOneCanBeRefused) {
    InstallerRun run(exe_);
    HWND page = run.Page();
    ASSERT_TRUE(page);
    ASSERT_EQ(Listed(page), 0);
    const std::string before = WindowText(GetWindow(page, GW_CHILD));
    EXPECT_EQ(before, "Install Morvandite Software");

    ASSERT_TRUE(Choose(page, 4));  // German
    EXPECT_EQ(WindowText(page), Message(4, TXTINS_Install_Morvandite, "Morvandite"));
    HWND title = GetWindow(page, GW_CHILD);
    EXPECT_EQ(WindowText(title), Message(4, TXTINS_Install_N0_Software, "Morvandite"));
    EXPECT_EQ(WindowText(Item(page, kAgreement)), Message(4, TXTINS_I_agree_to_terms_of_the_Morvan_ELL, "Morvandite"));
    EXPECT_EQ(WindowText(Item(page, 1006)), Message(4, TXTINS_View_Agreement));
    EXPECT_EQ(WindowText(Item(page, 141)), Message(4, TXTINS_Desktop_shortcut));

    int32_t unsupported = -1;
    for (LocaleIterator it; !it.atEnd(); it.next())
        if (!LanguageSupported(it.index()))
            unsupported = int32_t(it.index());
    if (unsupported >= 0) {
        ASSERT_TRUE(Choose(page, unsupported));
        HWND box = run.Question();
        ASSERT_TRUE(box);
        RECT r;
        GetWindowRect(box, &r);
        EXPECT_EQ(r.bottom - r.top, 302);
        Answer(box, 7);
        EXPECT_TRUE(WaitUntil([&] { return !FindProcessWindow("MyMsgBox", run.Pid()) && Listed(page) == 4; }, 10000));
        EXPECT_EQ(Listed(page), 4);
        EXPECT_EQ(WindowText(title), Message(4, TXTINS_Install_N0_Software, "Morvandite"));
    }

    PostMessageA(page, WM_CLOSE, 0, 0);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    Answer(box, 7);
    EXPECT_EQ(run.Exit(), kExitCanceled);
}

uint32_t Word32(const std::string& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
                                    uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24
                              : 0;
}
uint16_t Word16(const std::string& b, size_t at) {
    return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8) : 0;
}

// The file offset of the directory entry of resource MV/id in a PE image
// (0 when there is none), and the file offset of an RVA.
struct MvResources {
    explicit MvResources(const std::string& image) : image(image) {
        const size_t pe = Word32(image, 0x3C);
        if (Word32(image, pe) != 0x4550)
            return;
        sections = Word16(image, pe + 6);
        const size_t optional = pe + 24;
        table = optional + Word16(image, pe + 20);
        root = OffsetOf(Word32(image, optional + 96 + 2 * 8));
    }
    size_t OffsetOf(uint32_t rva) const {
        for (size_t i = 0; i < sections; ++i) {
            const size_t h = table + i * 40;
            const uint32_t va = Word32(image, h + 12), raw = Word32(image, h + 16), pointer = Word32(image, h + 20);
            if (rva >= va && rva < va + raw)
                return pointer + (rva - va);
        }
        return 0;
    }
    // Directory entries: the named and the numbered ones.
    size_t Count(size_t dir) const { return size_t(Word16(image, dir + 12)) + Word16(image, dir + 14); }
    size_t Entry(uint16_t id) const {
        if (!root)
            return 0;
        for (size_t i = 0; i < Count(root); ++i) {
            const size_t entry = root + 16 + i * 8;
            const uint32_t name = Word32(image, entry);
            if (!(name & 0x80000000u))
                continue;
            const size_t text = root + (name & 0x7FFFFFFFu);
            if (Word16(image, text) != 2 || Word16(image, text + 2) != 'M' || Word16(image, text + 4) != 'V')
                continue;
            const size_t ids = root + (Word32(image, entry + 4) & 0x7FFFFFFFu);
            for (size_t j = 0; j < Count(ids); ++j)
                if (Word32(image, ids + 16 + j * 8) == id)
                    return ids + 16 + j * 8;
        }
        return 0;
    }
    // Where the resource's bytes lie in the file (its first language).
    bool Bytes(uint16_t id, size_t* offset, size_t* size) const {
        const size_t entry = Entry(id);
        if (!entry)
            return false;
        const size_t languages = root + (Word32(image, entry + 4) & 0x7FFFFFFFu);
        const size_t data = root + (Word32(image, languages + 16 + 4) & 0x7FFFFFFFu);
        *offset = OffsetOf(Word32(image, data));
        *size = Word32(image, data + 4);
        return *offset != 0 && *offset + *size <= image.size();
    }

    const std::string& image;
    size_t sections = 0, table = 0, root = 0;
};

// Gives resource MV/from of a PE image the id `to` in its resource directory
// (to must keep the ids in order), so that the program no longer finds it.
bool RenumberResource(std::string& image, uint16_t from, uint16_t to) {
    const size_t e = MvResources(image).Entry(from);
    if (!e)
        return false;
    image[e] = char(to & 0xFF);
    image[e + 1] = char(to >> 8);
    return true;
}

// The image's own digest written again after a change, as mkinstaller would
// have written it for the changed file.
bool Reseal(std::string& image) {
    return SealImageDigest(reinterpret_cast<uint8_t*>(&image[0]), image.size(),
                           ImageDigestResources{SharedNames::kInstallerResourceType.narrow,
                                                uint16_t(SharedNames::kPayloadResourceId),
                                                uint16_t(SharedNames::kImageDigestResourceId)});
}

// A copy of the installer with one bit flipped in the middle of resource MV/id.
std::string FlippedInstaller(const std::string& exe, const std::string& copy, uint16_t id) {
    std::string image = ReadWholeFile(exe);
    size_t offset = 0, size = 0;
    if (!MvResources(image).Bytes(id, &offset, &size) || size == 0)
        return std::string();
    image[offset + size / 2] = char(image[offset + size / 2] ^ 0x08);
    WriteWholeFile(copy, image);
    return copy;
}

// An installer that vouches for itself but lacks its texts or its
// configuration (a stub made wrongly, since mkinstaller refuses such a one):
// the resource is renumbered and the digest written again, for a renumbered
// resource alone is damage that the check of its own file refuses first.
TEST_F(Installer, WithoutItsTextsOrItsConfigurationTheProgramEndsWithCode2AndNoWindow) {
    for (int id : {205, 131}) {
        std::string image = ReadWholeFile(exe_);
        ASSERT_TRUE(RenumberResource(image, uint16_t(id), uint16_t(id + 1))) << id;
        ASSERT_TRUE(Reseal(image)) << id;
        const std::string copy = scratch_ + "\\Without" + std::to_string(id) + ".exe";
        WriteWholeFile(copy, image);
        InstallerRun run(copy);
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(run.Exit(60000), 2u) << id;
        EXPECT_EQ(FindProcessWindow(kInstallerClass, run.Pid()), nullptr);
    }
}

// Deletes a folder and everything below it.
void RemoveTree(const std::string& folder) {
    std::string from = folder + std::string(2, '\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

// A copy of the installer with one bit of its payload (resource 130) flipped
// at offset `at` from the payload's start (negative: from its end).
std::string DamagedInstaller(const std::string& exe, const std::string& copy, long at) {
    std::string image = ReadWholeFile(exe);
    size_t offset = 0, size = 0;
    if (!MvResources(image).Bytes(130, &offset, &size) || size < 1000)
        return std::string();
    const size_t where = offset + (at >= 0 ? size_t(at) : size - size_t(-at));
    image[where] = char(image[where] ^ 0x10);
    WriteWholeFile(copy, image);
    return copy;
}

// The system's error box of a process, once it is up, and its text.
HWND ErrorBox(const InstallerRun& run, DWORD ms = 60000) {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindProcessWindow("#32770", run.Pid())) != nullptr; }, ms);
    return box;
}
std::string BoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

std::string ArtifactPath(const std::string& name) {
    CreateDirectoryA(BinaryPath("artifacts").c_str(), nullptr);
    CreateDirectoryA(BinaryPath("artifacts\\e2e").c_str(), nullptr);
    const std::string file = BinaryPath("artifacts\\e2e\\" + name);
    DeleteFileA(file.c_str());
    return file;
}

void Installer::ExpectDamagedNoticeWhenThePageOpens(const std::string& exe, const std::string& arguments) {
    InstallerRun run(exe, arguments);
    ASSERT_TRUE(run.Started());
    HWND box = ErrorBox(run);
    ASSERT_TRUE(box);
    EXPECT_EQ(BoxText(box), Message(0, TXTINS_This_installer_is_damagedX_Ple_ELL));
    HWND page = FindProcessWindow(kInstallerClass, run.Pid());
    ASSERT_TRUE(page);
    EXPECT_FALSE(InstallEnabled(page));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(run.Exit(), 3u);
}

// A damaged installer says so in the page's language, writes nothing,
// registers nothing and ends with exit code 3. The payload checks out on its
// own header; the bit sits near the end, where the LZMA decoder alone could
// miss it.
TEST_F(Installer, ADamagedInstallerSaysSoWritesNothingAndExitsWith3) {
    const std::string damaged = DamagedInstaller(exe_, scratch_ + "\\Damaged.exe", -300);
    ASSERT_FALSE(damaged.empty());
    for (int32_t locale : {0, 4}) {
        SCOPED_TRACE(locale);
        InstallerRun run(damaged, "-nolaunch");
        HWND page = run.Page();
        ASSERT_TRUE(page);
        if (locale != 0)
            ASSERT_TRUE(Choose(page, locale));
        Install(page, folder_);
        HWND box = ErrorBox(run);
        ASSERT_TRUE(box);
        EXPECT_EQ(WindowText(box), Message(locale, TXTINS_Installing_N0, "Morvandite"));
        EXPECT_EQ(BoxText(box), Message(locale, TXTINS_This_installer_is_damagedX_Ple_ELL));
        Sleep(500);  // the box paints on the installer's thread
        const std::string shot = ArtifactPath(std::string("damaged-") + (locale == 0 ? "en" : "de") + ".bmp");
        SaveWindowBitmap(box, shot);
        EXPECT_TRUE(PathExists(shot));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(run.Exit(), 3u);
        EXPECT_FALSE(PathExists(folder_));
        EXPECT_NE(MachineString(kUninstallKey, SharedNames::kInstallLocationValue.narrow), folder_);
    }
}

// A damaged payload header leaves no space figures: the page says why at
// once instead of leaving Install disabled without a word.
TEST_F(Installer, ADamagedPayloadHeaderIsReportedWhenThePageOpens) {
    // The top byte of the packed header's length: far past the resource's end.
    const std::string damaged = DamagedInstaller(exe_, scratch_ + "\\DamagedHeader.exe", 11);
    ASSERT_FALSE(damaged.empty());
    ExpectDamagedNoticeWhenThePageOpens(damaged, "");
}

// A drive that fills up while the installer writes (a 8 MiB drive mapped by
// tests/small-drive.sh, filled while the cancel question holds the worker):
// the system's own error in the box and the log, the page usable again, and
// Install, pressed again with too little space, refuses to start.
TEST_F(Installer, FullDiskEndsWithTheSystemErrorAndInstallThenRefusesToStart) {
    const std::string root = SmallDriveRoot();
    if (root.empty())
        GTEST_SKIP() << "no small drive mapped (run through tests/small-drive.sh)";
    // The cancel question holds the worker at its next file, but the run may
    // have passed the last large file by then (the writing thread works
    // ahead): such an attempt proves nothing, is cancelled and made again.
    std::unique_ptr<InstallerRun> held;
    HWND page = nullptr, question = nullptr;
    std::string folder;
    for (int attempt = 0; attempt < 4 && !question; ++attempt) {
        folder = root + "Morvandite" + std::to_string(attempt);
        held.reset(new InstallerRun(exe_, "-nolaunch"));
        page = held->Page();
        ASSERT_TRUE(page);
        SendMessageA(Item(page, kLocation), WM_SETTEXT, 0, LPARAM(folder.c_str()));
        SendMessageA(Item(page, kAgreement), BM_CLICK, 0, 0);
        ASSERT_TRUE(InstallEnabled(page)) << "the drive must offer more than the required space at first";
        PostMessageA(page, WM_COMMAND, kInstall, 0);
        PostMessageA(page, WM_CLOSE, 0, 0);
        question = held->Question();
        ASSERT_TRUE(question);
        ASSERT_TRUE(WaitUntil(
            [&] { return ReadWholeFileOrEmpty(folder + "\\" + SharedNames::kInstallLogFile.narrow).find("Extracting files:") != std::string::npos; }, 10000));
        Sleep(500);  // to the next file start, where it waits
        if (ReadWholeFileOrEmpty(folder + "\\" + SharedNames::kInstallLogFile.narrow).find("Tracer.exe") == std::string::npos)
            break;  // at least one large file is still to come
        Answer(question, 7);
        question = nullptr;
        EXPECT_EQ(held->Exit(), kExitCanceled);
        RemoveTree(folder);
    }
    ASSERT_TRUE(question) << "the worker was never held before its last large file";
    InstallerRun& run = *held;
    // The disk fills up behind the installer's back: about 100 KB stay free.
    const std::string filler = FillDriveLeaving(root, 100000);
    ASSERT_FALSE(filler.empty());
    Answer(question, 6);  // Resume

    HWND box = ErrorBox(run);
    ASSERT_TRUE(box);
    const std::string text = BoxText(box);
    EXPECT_NE(text.find(Message(0, TXTINS_Disk_write_errorX_Check_if_the_ELL)), std::string::npos) << text;
    EXPECT_NE(text.find("Cannot write to file '" + folder + "\\"), std::string::npos) << text;
    EXPECT_NE(text.find("(112=0x70)"), std::string::npos) << text;
    Sleep(500);
    SaveWindowBitmap(box, ArtifactPath("full-disk-error.bmp"));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Item(page, kInstall)) != FALSE; }, 10000));
    EXPECT_FALSE(IsWindowVisible(Item(page, kProgress)));
    EXPECT_TRUE(IsWindowEnabled(Item(page, kLocation)));
    EXPECT_TRUE(run.Running());
    // The run made the folder, so rolling back removed it and kept its log
    // in the temporary folder.
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string log = ReadWholeFileOrEmpty(std::string(temp) + "Morvandite Install.log");
    EXPECT_FALSE(PathExists(folder));
    EXPECT_NE(log.find("System error occurred: Cannot write to file '" + folder + "\\"), std::string::npos) << log;
    EXPECT_NE(log.find("(112=0x70)"), std::string::npos) << log;
    EXPECT_EQ(log.find("Install finished"), std::string::npos) << log;

    // The page still shows the figures from before the disk filled up.
    ASSERT_TRUE(InstallEnabled(page));
    PostMessageA(page, WM_COMMAND, kInstall, 0);
    HWND refusal = run.Question();
    ASSERT_TRUE(refusal);
    EXPECT_EQ(WindowText(refusal), "Installing Morvandite");
    Sleep(500);  // the box paints on the installer's thread
    SaveWindowBitmap(refusal, ArtifactPath("full-disk-refused.bmp"));
    Answer(refusal, 6);
    EXPECT_TRUE(WaitUntil([&] { return !FindProcessWindow("MyMsgBox", run.Pid()); }, 10000));
    EXPECT_FALSE(InstallEnabled(page));
    EXPECT_FALSE(IsWindowVisible(Item(page, kProgress)));
    EXPECT_FALSE(PathExists(folder)) << "a worker started";
    EXPECT_EQ(ReadWholeFileOrEmpty(std::string(temp) + "Morvandite Install.log"), log) << "a worker started";

    PostMessageA(page, WM_CLOSE, 0, 0);
    HWND last = run.Question();
    ASSERT_TRUE(last);
    Answer(last, 7);
    EXPECT_EQ(run.Exit(), kExitCanceled);
    DeleteFileA(filler.c_str());
}

TEST_F(Installer, AFailedInstallationReturnsToThePageForAnotherFolder) {
    // A folder below a file cannot be made.
    WriteWholeFile(scratch_ + "\\file.txt", "in the way");
    InstallerRun run(exe_, "-nolaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    Install(page, scratch_ + "\\file.txt\\Morvandite");
    HWND error = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (error = FindProcessWindow("#32770", run.Pid())) != nullptr; }, 30000));
    EXPECT_EQ(WindowText(error), "Installing Morvandite");
    PostMessageA(error, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Item(page, kInstall)) != FALSE; }, 10000));
    EXPECT_FALSE(IsWindowVisible(Item(page, kProgress)));
    EXPECT_TRUE(IsWindowEnabled(Item(page, kLocation)));
    EXPECT_TRUE(IsWindowEnabled(Item(page, kLanguageList)));
    EXPECT_TRUE(run.Running());

    SendMessageA(Item(page, kLocation), WM_SETTEXT, 0, LPARAM(folder_.c_str()));
    ASSERT_TRUE(InstallEnabled(page));
    PostMessageA(page, WM_COMMAND, kInstall, 0);
    ASSERT_EQ(run.Exit(), 0u);
    EXPECT_NE(ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow).find("Install finished"), std::string::npos);
}

// The page's label texts that begin with prefix (the space rows have no id).
std::vector<std::string> LabelsStartingWith(HWND page, const std::string& prefix) {
    std::vector<std::string> found;
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = "";
        GetClassNameA(c, cls, sizeof cls);
        const std::string text = WindowText(c);
        if (lstrcmpiA(cls, "Static") == 0 && IsWindowVisible(c) && text.rfind(prefix, 0) == 0)
            found.push_back(text);
    }
    return found;
}

// A -dir the installation plan refuses is no fault of the command line: the
// page opens with it and says why where the space figures would be, and
// Install waits for a folder that can be used, typed into the box.
TEST_F(Installer, ARefusedFolderOpensThePageSayingWhyAndInstallWaitsForAUsableOne) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    const std::string refused = folder_ + ".";  // Windows would make folder_ of it
    InstallerRun run(exe_, "-nolaunch \"-dir=" + refused + "\"");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    char location[MAX_PATH] = "";
    SendMessageA(Item(page, kLocation), WM_GETTEXT, sizeof location, LPARAM(location));
    EXPECT_EQ(std::string(location), refused);
    SendMessageA(Item(page, kAgreement), BM_CLICK, 0, 0);
    EXPECT_FALSE(InstallEnabled(page));
    // The scratch folder is long: the label may show it shortened in its middle.
    const std::vector<std::string> labels = LabelsStartingWith(page, "The folder '" + refused.substr(0, 12));
    ASSERT_EQ(labels.size(), 1u);
    const std::string end = "\\Morvandite.' cannot be used for the installation: a name in it ends with a dot or a space.";
    EXPECT_EQ(labels[0].substr(labels[0].size() - std::min(labels[0].size(), end.size())), end) << labels[0];
    EXPECT_TRUE(LabelsStartingWith(page, "Space available").empty());
    const std::string shots = BinaryPath("artifacts\\e2e");
    CreateDirectoryA(BinaryPath("artifacts").c_str(), nullptr);
    CreateDirectoryA(shots.c_str(), nullptr);
    RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(500);  // the page paints on the installer's thread
    SaveWindowBitmap(page, shots + "\\page-refused-folder.bmp");

    // Typed as a user would, one refusal after another, then a usable folder.
    for (const char* typed : {"C:\\", "C:\\Windows"}) {
        SendMessageA(Item(page, kLocation), WM_SETTEXT, 0, LPARAM(typed));
        EXPECT_FALSE(InstallEnabled(page)) << typed;
        EXPECT_EQ(LabelsStartingWith(page, std::string("The folder '") + typed + "'").size(), 1u) << typed;
    }
    SendMessageA(Item(page, kLocation), WM_SETTEXT, 0, LPARAM(folder_.c_str()));
    EXPECT_TRUE(InstallEnabled(page));
    EXPECT_TRUE(LabelsStartingWith(page, "The folder '").empty());
    EXPECT_EQ(LabelsStartingWith(page, "Space available: ").size(), 1u);
    PostMessageA(page, WM_COMMAND, kInstall, 0);
    ASSERT_EQ(run.Exit(), 0u);
    EXPECT_EQ(MachineString(kUninstallKey, SharedNames::kInstallLocationValue.narrow), folder_);
}

TEST_F(Installer, BrowseOpensTheLocalisedFolderBrowserAndCancelChangesNothing) {
    InstallerRun run(exe_);
    HWND page = run.Page();
    ASSERT_TRUE(page);
    ASSERT_TRUE(Choose(page, 4));
    const std::string location = WindowText(Item(page, kLocation));
    PostMessageA(page, WM_COMMAND, 1005, 0);
    HWND browser = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (browser = FindProcessWindow("#32770", run.Pid())) != nullptr; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return WindowText(browser) == Message(4, TXTINS_Browse_For_Folder); }, 10000))
        << WindowText(browser);
    if (HWND cancel = GetDlgItem(browser, IDCANCEL))
        EXPECT_EQ(WindowText(cancel), Message(4, TXTINS_Cancel));
    PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(browser); }, 10000));
    EXPECT_EQ(WindowText(Item(page, kLocation)), location);

    PostMessageA(page, WM_CLOSE, 0, 0);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    Answer(box, 7);
    EXPECT_EQ(run.Exit(), kExitCanceled);
}

// The value Wine's own font settings carry in older Wine versions: evidence
// of Wine, added for one test and removed again.
class WineFontLocale {
public:
    WineFontLocale() {
        HKEY k;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Fonts", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                            &k, nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (RegQueryValueExA(k, "Locale", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            added_ = RegSetValueExA(k, "Locale", 0, REG_SZ, reinterpret_cast<const BYTE*>("en_US"), 6) ==
                     ERROR_SUCCESS;
        RegCloseKey(k);
    }
    ~WineFontLocale() {
        HKEY k;
        if (added_ && RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Fonts", 0, KEY_WRITE, &k) == ERROR_SUCCESS) {
            RegDeleteValueA(k, "Locale");
            RegCloseKey(k);
        }
    }

private:
    bool added_ = false;
};

TEST_F(Installer, WithWineDetectedTheInstallationRunsOnTheAnsiCalls) {
    {
        // Without evidence (Wine 8 leaves none) the program takes the wide calls.
        InstallerRun run(exe_);
        HWND page = run.Page();
        ASSERT_TRUE(page);
        EXPECT_TRUE(IsWindowUnicode(page));
        PostMessageA(page, WM_CLOSE, 0, 0);
        HWND box = run.Question();
        ASSERT_TRUE(box);
        Answer(box, 7);
        EXPECT_EQ(run.Exit(), kExitCanceled);
    }
    WineFontLocale evidence;
    InstallerRun run(exe_, "-nolaunch");
    HWND page = run.Page();
    ASSERT_TRUE(page);
    EXPECT_FALSE(IsWindowUnicode(page));
    EXPECT_FALSE(IsWindowUnicode(Item(page, kLocation)));
    EXPECT_EQ(WindowText(GetWindow(page, GW_CHILD)), "Install Morvandite Software");
    Install(page, folder_);
    ASSERT_EQ(run.Exit(), 0u);
    const std::string log = ReadWholeFileOrEmpty(folder_ + "\\" + SharedNames::kInstallLogFile.narrow);
    EXPECT_NE(log.find("Themes\\themes.ini"), std::string::npos) << log;
    EXPECT_NE(log.find("Install finished"), std::string::npos) << log;
    EXPECT_EQ(MachineString(kUninstallKey, SharedNames::kInstallLocationValue.narrow), folder_);
    EXPECT_TRUE(PathExists(MachineString(kUninstallKey, SharedNames::kDesktopLinkValue.narrow)));
}

TEST_F(Installer, Windows2000GetsTheEnglishNoticeAndExitCode1) {
    // Wine reports Windows 2000 to this copy only.
    const std::string copy = scratch_ + "\\MorvanditeInstall2k.exe";
    ASSERT_TRUE(CopyFileA(exe_.c_str(), copy.c_str(), FALSE));
    const char key[] = "Software\\Wine\\AppDefaults\\MorvanditeInstall2k.exe";
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win2k"), 6);
    RegCloseKey(k);

    InstallerRun run(copy, "", {"LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8"});
    HWND box = nullptr, page = nullptr;
    WaitUntil(
        [&] {
            box = FindProcessWindow("MyMsgBox", run.Pid());
            page = FindProcessWindow(kInstallerClass, run.Pid());
            return box || page || !run.Running();
        },
        60000);
    EXPECT_EQ(page, nullptr) << "the page opened on Windows 2000";
    if (page)
        TerminateProcess(OpenProcess(PROCESS_TERMINATE, FALSE, run.Pid()), 99);
    if (box)
        box = run.Question();
    if (box) {
        // The box is found as soon as it exists; its caption comes a moment later.
        WaitUntil([&] { return !WindowText(box).empty(); }, 10000);
        EXPECT_EQ(WindowText(box), "Install Morvandite Software");
        RECT r;
        GetWindowRect(box, &r);
        EXPECT_EQ(r.right - r.left, 394);
        EXPECT_EQ(r.bottom - r.top, 212);
        EXPECT_EQ(GetDlgItem(box, 7), nullptr);  // one button
        EXPECT_EQ(FindProcessWindow(kInstallerClass, run.Pid()), nullptr);
        Answer(box, 6);
    }
    DWORD code = run.Exit();
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
    ASSERT_TRUE(box) << "no notice";
    EXPECT_EQ(code, 1u);
}

// The page starts on XP, 7 and 10 as Wine reports them to the installer
// alone (its application defaults): the NT family's wide calls (Wine leaves
// no evidence of itself that would turn them to ANSI), an administrator's
// all-users choice, and the install folder below Program Files as the system
// reports it to a 32-bit program.
TEST_F(Installer, ThePageStartsOnWindowsXp7And10WithTheWideCalls) {
    const char key[] = "Software\\Wine\\AppDefaults\\MorvanditeInstall.exe";
    RegistryBranches registry;
    registry.Keep(HKEY_CURRENT_USER, key);
    PString programFiles;
    ReadMachineString("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", programFiles);
    for (const char* version : {"winxp", "win7", "win10"}) {
        SCOPED_TRACE(version);
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), DWORD(strlen(version) + 1));
        RegCloseKey(k);
        InstallerRun run(exe_);
        HWND page = run.Page();
        ASSERT_TRUE(page);
        EXPECT_TRUE(IsWindowUnicode(page));
        EXPECT_TRUE(IsWindowUnicode(Item(page, kLocation)));
        EXPECT_TRUE(IsWindowEnabled(Item(page, kAllUsers)));
        char location[MAX_PATH] = "";
        SendMessageA(Item(page, kLocation), WM_GETTEXT, sizeof location, LPARAM(location));
        EXPECT_EQ(std::string(location), std::string(programFiles.text()) + "\\Morvandite");
        PostMessageA(page, WM_CLOSE, 0, 0);
        HWND box = run.Question();
        ASSERT_TRUE(box);
        Answer(box, 7);
        EXPECT_EQ(run.Exit(), kExitCanceled);
    }
}

// Two installers of a product started together: the second says so before
// its page is shown and ends with 1618; the first installs undisturbed.
TEST_F(Installer, ASecondInstallerSaysAnotherOneRunsAndTheFirstInstalls) {
    InstallerRun first(exe_, "-nolaunch");
    HWND page = first.Page();
    ASSERT_TRUE(page);
    InstallerRun second(exe_, "-nolaunch");
    HWND box = second.Question();
    ASSERT_TRUE(box) << "no notice from the second installer";
    WaitUntil([&] { return !WindowText(box).empty(); }, 10000);
    EXPECT_EQ(WindowText(box), "Install Morvandite Software");
    const HWND secondPage = FindProcessWindow(kInstallerClass, second.Pid());
    EXPECT_FALSE(secondPage && IsWindowVisible(secondPage)) << "the second page was shown";
    Sleep(300);
    SaveWindowBitmap(box, ArtifactPath("second-installer.bmp"));
    Answer(box, 6);
    EXPECT_EQ(second.Exit(), 1618u);
    Install(page, folder_);
    EXPECT_EQ(first.Exit(), 0u);
    EXPECT_TRUE(PathExists(folder_ + "\\uninstall.lst"));
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    EXPECT_FALSE(PathExists(std::string(temp) + "Morvandite.install-journal"));
}

TEST_F(Installer, TheUninstallerRemovesWhatTheInstallationMadeAndNothingElse) {
    const std::string userIni = LocalAppData() + "\\Morvandite\\user.ini";
    {
        InstallerRun run(exe_, "-nolaunch");
        HWND page = run.Page();
        ASSERT_TRUE(page);
        Install(page, folder_);
        ASSERT_EQ(run.Exit(), 0u);
    }
    std::vector<std::string> made = {folder_ + "\\Morvandite.exe", folder_ + "\\" + SharedNames::kInstallLogFile.narrow,
                                     folder_ + "\\Themes\\themes.ini", folder_ + "\\uninstall.lst"};
    for (const char* link : {SharedNames::kDesktopLinkValue.narrow, SharedNames::kCommonStartMenuLinkValue.narrow, SharedNames::kQuickLaunchLinkValue.narrow})
        made.push_back(MachineString(kUninstallKey, link));
    const std::string group = MachineString(kUninstallKey, SharedNames::kCommonStartMenuGroupValue.narrow);
    made.push_back(group + "\\Morvandite.lnk");
    for (const std::string& path : made)
        ASSERT_TRUE(PathExists(path)) << path;
    ASSERT_TRUE(PathExists(userIni));
    // Things the installation did not make.
    WriteWholeFile(folder_ + "\\notes.txt", "mine");
    WriteWholeFile(scratch_ + "\\beside.txt", "mine too");

    std::string uninstaller = folder_ + "\\" + SharedNames::kUninstallerFile.narrow;
    InstallerRun removal(uninstaller, "/u:Morvandite /quiet");
    ASSERT_TRUE(removal.Started());
    EXPECT_EQ(removal.Exit(), 0u);

    for (const std::string& path : made)
        EXPECT_FALSE(PathExists(path)) << path;
    EXPECT_FALSE(PathExists(folder_ + "\\Themes"));
    EXPECT_FALSE(PathExists(group));
    EXPECT_FALSE(MachineKeyExists(kUninstallKey));
    EXPECT_TRUE(PathExists(folder_ + "\\notes.txt"));
    EXPECT_TRUE(PathExists(scratch_ + "\\beside.txt"));
    EXPECT_TRUE(PathExists(userIni));
}

// ---- Installers made by mkinstaller, as a release is made ----
// tests/release-inputs.sh (the release_inputs test fixture) made them from a
// second client folder in build/windows/release-test.

std::string ReleaseInput(const char* name) { return BinaryPath(std::string("release-test\\") + name); }

std::wstring Wide(const std::string& ansi) {
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring out(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &out[0], n);
    return out;
}

// Every file below root, as relative names, through the wide calls so that
// the code page 1252 name reads the same under any ANSI code page.
void ListFiles(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(root, relative + name + L"\\", out);
        else
            out.push_back(relative + name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

// A file name for messages, with every non-ASCII character as its code in hex.
std::string Narrow(const std::wstring& wide) {
    std::string text;
    for (wchar_t c : wide) {
        if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
            text += escape;
        }
    }
    return text;
}

std::string WideFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    CloseHandle(f);
    return bytes;
}

// A value of the program's version information ("\\" gives the fixed part).
std::string VersionValue(const std::string& exe, const std::string& path) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    std::vector<char> info(size);
    void* value = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoA(exe.c_str(), 0, size, info.data()) ||
        !VerQueryValueA(info.data(), path.c_str(), &value, &length))
        return "<none>";
    if (path == "\\") {
        auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
        char text[64];
        std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu / %lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
                      fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
                      fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
                      fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF);
        return text;
    }
    return std::string(static_cast<const char*>(value));
}

TEST_F(Installer, AnInstallerMadeFromAnotherClientInstallsItByteForByteAndUninstalls) {
    const std::string exe = ReleaseInput("Second.exe");
    ASSERT_TRUE(PathExists(exe)) << exe << " is made by tests/release-inputs.sh";
    // Its own version information, the stub's other strings.
    EXPECT_EQ(VersionValue(exe, "\\"), "4.3.2.1 / 4.3.2.1");
    EXPECT_EQ(VersionValue(exe, "\\StringFileInfo\\040904B0\\ProductName"), "Larkspur Cards");
    EXPECT_EQ(VersionValue(exe, "\\StringFileInfo\\040904B0\\FileVersion"), "4.3.2.1");
    EXPECT_EQ(VersionValue(exe, "\\StringFileInfo\\040904B0\\CompanyName"),
              VersionValue(BinaryPath("bin\\MorvanditeInstallStub.exe"), "\\StringFileInfo\\040904B0\\CompanyName"));

    const std::string folder = scratch_ + "\\Larkspur";
    const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Larkspur";
    {
        InstallerRun run(exe, "-nolaunch");
        HWND page = run.Page();
        ASSERT_TRUE(page);
        EXPECT_EQ(WindowText(page), "Install Larkspur");  // its own configuration section
        // The texts that name the product name this brand.
        EXPECT_EQ(WindowText(Item(page, kAgreement)), Message(0, TXTINS_I_agree_to_terms_of_the_Morvan_ELL, "Larkspur"));
        EXPECT_NE(WindowText(Item(page, kAgreement)).find("Larkspur"), std::string::npos);
        Install(page, folder);
        ASSERT_EQ(run.Exit(), 0u);
    }
    std::vector<std::wstring> client, installed;
    const std::wstring clientRoot = Wide(ReleaseInput("client")), folderRoot = Wide(folder);
    ListFiles(clientRoot, L"", client);
    ListFiles(folderRoot, L"", installed);
    ASSERT_EQ(client.size(), 6u);
    for (const std::wstring& name : client) {
        std::string expected = WideFileBytes(clientRoot + L"\\" + name);
        EXPECT_TRUE(WideFileBytes(folderRoot + L"\\" + name) == expected) << Narrow(name);
        if (name == L"Media\\big.bin")
            EXPECT_EQ(expected.size(), 6u * 1024 * 1024);
        if (name == L"Data\\empty.dat")
            EXPECT_TRUE(expected.empty());
    }
    // Beside the client only what the installer itself writes.
    for (const std::wstring& name : installed)
        if (std::find(client.begin(), client.end(), name) == client.end())
            EXPECT_TRUE(name == L"Install.log" || name == L"user.ini" || name == L"Uninstall Larkspur.lnk")
                << Narrow(name);
    EXPECT_TRUE(PathExists(folder + "\\" + SharedNames::kInstallLogFile.narrow));
    ASSERT_EQ(MachineString(key, "UninstallString"), "\"" + folder + "\\MorvanditeUninstall.exe\" /u:Larkspur");
    // What Programs and Features shows: mkinstaller's --version, the brand's site.
    EXPECT_EQ(MachineString(key, "DisplayVersion"), "4.3.2.1");
    EXPECT_EQ(MachineString(key, "URLInfoAbout"), "https://larkspur.example");
    EXPECT_EQ(MachineString(key, "HelpLink"), "https://larkspur.example");
    EXPECT_EQ(MachineString(key, "Publisher"), "Larkspur");
    EXPECT_EQ(MachineString(key, "QuietUninstallString"), MachineString(key, "UninstallString") + " /quiet");
    EXPECT_EQ(MachineString(key, "InstallDate").size(), 8u);
    std::vector<std::string> links;
    for (const char* link : {SharedNames::kDesktopLinkValue.narrow, SharedNames::kCommonStartMenuLinkValue.narrow, SharedNames::kQuickLaunchLinkValue.narrow})
        links.push_back(MachineString(key, link));

    // The client's own uninstaller takes it all away again.
    InstallerRun removal(folder + "\\" + SharedNames::kUninstallerFile.narrow, "/u:Larkspur /quiet");
    ASSERT_TRUE(removal.Started());
    EXPECT_EQ(removal.Exit(), 0u);
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(MachineKeyExists(key));
    for (const std::string& link : links)
        EXPECT_FALSE(!link.empty() && PathExists(link)) << link;
}

TEST_F(Installer, ASignedThenTrackedInstallerWritesItsTrackingLines) {
    // tinfo stamped the tag into a certificate of the signature's set
    // (release-inputs.sh checks that nothing but zero padding follows the
    // PKCS#7 data); the installer reads it from there.
    const std::string exe = ReleaseInput("Tracked.exe");
    ASSERT_TRUE(PathExists(exe)) << exe << " is made by tests/release-inputs.sh";
    const std::string folder = scratch_ + "\\Tracked";
    {
        InstallerRun run(exe, "-nolaunch");
        HWND page = run.Page();
        ASSERT_TRUE(page);
        Install(page, folder);
        ASSERT_EQ(run.Exit(), 0u);
    }
    const std::string tracking = TrackingFileText(folder);
    EXPECT_EQ(tracking.rfind("[TInfo]\nSRC=larkspur-partner\nTHM=midnight\nITS=", 0), 0u) << tracking;
    EXPECT_NE(ReadWholeFileOrEmpty(folder + "\\" + SharedNames::kInstallLogFile.narrow).find("Install finished"), std::string::npos);

    InstallerRun removal(folder + "\\" + SharedNames::kUninstallerFile.narrow, "/u:Larkspur /quiet");
    EXPECT_EQ(removal.Exit(), 0u);
    EXPECT_FALSE(PathExists(folder));
}

// The notice of an installer that fails the check of its own file: the
// system's box before any page, and exit code 3 once it is closed.
void ExpectDamagedNoticeAtStart(InstallerRun& run, const std::string& caption, const std::string& text,
                                const std::string& shot = "") {
    ASSERT_TRUE(run.Started());
    HWND box = ErrorBox(run);
    ASSERT_TRUE(box);
    EXPECT_EQ(WindowText(box), caption);
    EXPECT_EQ(BoxText(box), text);
    EXPECT_EQ(FindProcessWindow(kInstallerClass, run.Pid()), nullptr);
    if (!shot.empty()) {
        Sleep(500);  // the box paints on the installer's thread
        SaveWindowBitmap(box, ArtifactPath(shot));
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(run.Exit(), 3u);
}

TEST_F(Installer, TheStubAloneIsRefusedAtOnceInEnglishAndWritesNothing) {
    // The stub is the program without a client, a payload or a digest of
    // itself: nothing vouches for its resources, its texts included.
    InstallerRun run(BinaryPath("bin\\MorvanditeInstallStub.exe"), "-nolaunch -lang=de");
    ExpectDamagedNoticeAtStart(run, "MorvanditeInstallStub.exe", kDamagedInstallerText);
    EXPECT_EQ(std::string(kDamagedInstallerText), Message(0, TXTINS_This_installer_is_damagedX_Ple_ELL));
    EXPECT_FALSE(PathExists(folder_));
}

// A bit flipped in the configuration: refused before the page, in -lang's
// language, since the message table still matches its own digest; -help is
// refused the same way. A bit flipped in the message table: the notice is
// the program's own English text. The caption is the file's own name: the
// brand's name is in the configuration, which nothing vouches for then.
TEST_F(Installer, ADamagedInstallerIsRefusedAtStartInItsLanguageWhileItsTextsAreIntact) {
    const std::string config = FlippedInstaller(exe_, scratch_ + "\\DamagedConfig.exe", 131);
    ASSERT_FALSE(config.empty());
    {
        InstallerRun run(config, "-nolaunch -lang=de");
        ExpectDamagedNoticeAtStart(run, "DamagedConfig.exe",
                                   Message(4, TXTINS_This_installer_is_damagedX_Ple_ELL), "damaged-at-start-de.bmp");
    }
    {
        InstallerRun run(config, "-help");
        ExpectDamagedNoticeAtStart(run, "DamagedConfig.exe",
                                   Message(0, TXTINS_This_installer_is_damagedX_Ple_ELL));
    }
    const std::string messages = FlippedInstaller(exe_, scratch_ + "\\DamagedMessages.exe", 205);
    ASSERT_FALSE(messages.empty());
    {
        InstallerRun run(messages, "-nolaunch -lang=de");
        ExpectDamagedNoticeAtStart(run, "DamagedMessages.exe", kDamagedInstallerText, "damaged-at-start-en.bmp");
    }
    EXPECT_FALSE(PathExists(folder_));
    EXPECT_FALSE(MachineKeyExists(kUninstallKey));
}

// The page in English and after a change to German, kept in artifacts/e2e
// (tools/run-headless.sh shows it in Cyrillic, Greek and Japanese).
TEST_F(Installer, ThePageIsKeptAsScreenshots) {
    const std::string shots = BinaryPath("artifacts\\e2e");
    CreateDirectoryA(BinaryPath("artifacts").c_str(), nullptr);
    CreateDirectoryA(shots.c_str(), nullptr);
    InstallerRun run(exe_);
    HWND page = run.Page();
    ASSERT_TRUE(page);
    auto shoot = [&](const char* name) {
        RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(500);  // the page and its children paint on the installer's thread
        const std::string file = shots + "\\page-" + name + ".bmp";
        DeleteFileA(file.c_str());
        SaveWindowBitmap(page, file);
        EXPECT_TRUE(PathExists(file)) << file;
    };
    shoot("en");
    ASSERT_TRUE(Choose(page, 4));
    shoot("de");
    PostMessageA(page, WM_CLOSE, 0, 0);
    HWND box = run.Question();
    ASSERT_TRUE(box);
    Answer(box, 7);
    EXPECT_EQ(run.Exit(), kExitCanceled);
}

}  // namespace
