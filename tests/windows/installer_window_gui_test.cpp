// The install window in process: its layout and controls, the options and
// disk-space rules, language changes, the cancel question and the worker's
// codes. Questions are answered by a helper thread as a user would. The
// system calls run in their wide forms here; installer_e2e_gui_test drives
// the real program, which uses the ANSI forms under Wine.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "InstallerThread.h"
#include "buildvariant.h"
#include "captured_log.h"
#include "stand_in_shell.h"
#include "displaydpi.h"
#include "diskspace.h"
#include "dpiscale.h"
#include "installwindow.h"
#include "installplan.h"
#include "locales.h"
#include "network_share.h"
#include "msgids.h"
#include "pagelayout.h"
#include "pencoding.h"
#include "perror.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "screenshot.h"
#include "startup.h"
#include "termsofservice.h"
#include "test_paths.h"
#include "uifont.h"
#include "unattended.h"

namespace {

// ---- Disk-space stand-ins --------------------------------------------------------

struct FakeDisk {
    std::map<char, uint64_t> freeByDrive;  // drives the newer call knows
    std::map<char, DWORD> clustersByDrive;  // drives the older call knows (free clusters)
    std::map<std::string, uint64_t> freeByShare;  // shares the newer call knows, by root ("\\s\x\")
    bool haveNewerCall = true;
    DWORD sectorsPerCluster = 16, bytesPerSector = 512;
    uint32_t required = 0x01234567;
    bool requiredThrows = false;
    std::vector<std::string> newerRoots, olderRoots;
    std::vector<uint32_t> clusterSizes;
};
FakeDisk* disk = nullptr;

BOOL WINAPI FakeFreeSpaceEx(LPCSTR root, PULARGE_INTEGER available, PULARGE_INTEGER, PULARGE_INTEGER) {
    disk->newerRoots.push_back(root);
    if (root[0] == '\\') {
        auto share = disk->freeByShare.find(root);
        if (share == disk->freeByShare.end())
            return FALSE;
        available->QuadPart = share->second;
        return TRUE;
    }
    auto it = disk->freeByDrive.find(root[0]);
    if (it == disk->freeByDrive.end())
        return FALSE;
    available->QuadPart = it->second;
    return TRUE;
}

BOOL WINAPI FakeFreeSpace(LPCSTR root, LPDWORD sectors, LPDWORD bytes, LPDWORD freeClusters, LPDWORD clusters) {
    disk->olderRoots.push_back(root);
    auto it = disk->clustersByDrive.find(root[0]);
    if (it == disk->clustersByDrive.end())
        return FALSE;
    *sectors = disk->sectorsPerCluster;
    *bytes = disk->bytesPerSector;
    *freeClusters = it->second;
    *clusters = it->second * 2;
    return TRUE;
}

uint32_t FakeRequired(uint32_t cluster) {
    disk->clusterSizes.push_back(cluster);
    if (disk->requiredThrows)
        throw PInternalError("Payload resource not found");
    return disk->required;
}

class DiskSpace : public ::testing::Test {
protected:
    void SetUp() override {
        disk = &fake_;
        Install();
    }
    void TearDown() override {
        SetDiskSpaceQueries(nullptr);
        disk = nullptr;
    }
    void Install() {
        queries_.freeSpaceEx = fake_.haveNewerCall ? &FakeFreeSpaceEx : nullptr;
        queries_.freeSpace = &FakeFreeSpace;
        queries_.required = &FakeRequired;
        SetDiskSpaceQueries(&queries_);
    }
    FakeDisk fake_;
    DiskSpaceQueries queries_;
};

constexpr uint64_t MiB = 1ull << 20;
constexpr uint64_t GiB = 1ull << 30;

TEST_F(DiskSpace, OneDriveIsAskedOnceAndTheRequiredFigureIsWholeMebibytesPlusFive) {
    fake_.freeByDrive['C'] = 10 * GiB + 123;
    uint64_t freeBytes = 1, required = 1;
    EXPECT_TRUE(GetDiskSpace("C:\\Program Files\\Morvandite", freeBytes, required));
    EXPECT_EQ(freeBytes, 10 * GiB + 123);
    EXPECT_EQ(required, uint64_t(0x01200000) + 5 * MiB);
    ASSERT_EQ(fake_.newerRoots.size(), 1u);
    EXPECT_EQ(fake_.newerRoots[0], "C:");  // letter and colon, no backslash
    EXPECT_EQ(fake_.clusterSizes, std::vector<uint32_t>{4096});

    // The same letter again: answered from the cache.
    EXPECT_TRUE(GetDiskSpace("C:\\Games", freeBytes, required));
    EXPECT_EQ(fake_.newerRoots.size(), 1u);
    EXPECT_EQ(freeBytes, 10 * GiB + 123);

    // The letter as typed is the key: lower case is another drive.
    fake_.freeByDrive['c'] = 7;
    EXPECT_TRUE(GetDiskSpace("c:\\Games", freeBytes, required));
    EXPECT_EQ(fake_.newerRoots.size(), 2u);
    EXPECT_EQ(freeBytes, 7u);
}

TEST_F(DiskSpace, TheRequiredFigureIsNeverBelowFiveMebibytes) {
    fake_.freeByDrive['C'] = GiB;
    for (uint32_t raw : {0u, 1u, 0xFFFFFu, 0x100000u, 0xFFFFFFFFu}) {
        fake_.required = raw;
        ResetDiskSpaceCache();
        uint64_t freeBytes, required;
        ASSERT_TRUE(GetDiskSpace("C:\\x", freeBytes, required));
        EXPECT_GE(required, 5 * MiB) << raw;
        EXPECT_EQ(required % MiB, 0u) << raw;
        EXPECT_EQ(required, uint64_t(raw & 0xFFF00000u) + 5 * MiB) << raw;
    }
}

TEST_F(DiskSpace, WithoutTheNewerCallTheOlderOneGivesFreeSpaceAndTheClusterSize) {
    fake_.haveNewerCall = false;
    Install();
    fake_.clustersByDrive['D'] = 1000;
    uint64_t freeBytes, required;
    EXPECT_TRUE(GetDiskSpace("D:\\Games", freeBytes, required));
    EXPECT_TRUE(fake_.newerRoots.empty());
    ASSERT_EQ(fake_.olderRoots.size(), 1u);
    EXPECT_EQ(fake_.olderRoots[0], "D:\\");
    EXPECT_EQ(freeBytes, uint64_t(8192) * 1000);
    EXPECT_EQ(fake_.clusterSizes, std::vector<uint32_t>{8192});
}

TEST_F(DiskSpace, AFailingNewerCallFallsBackAndBothFailingIsNoFigure) {
    fake_.clustersByDrive['E'] = 10;
    uint64_t freeBytes, required;
    EXPECT_TRUE(GetDiskSpace("E:\\x", freeBytes, required));
    EXPECT_EQ(fake_.newerRoots.size(), 1u);
    EXPECT_EQ(fake_.olderRoots.size(), 1u);
    EXPECT_EQ(freeBytes, uint64_t(8192) * 10);

    EXPECT_FALSE(GetDiskSpace("F:\\x", freeBytes, required));
    EXPECT_EQ(freeBytes, 0u);
    EXPECT_EQ(required, 5 * MiB);  // the rounding of a raw 0
}

TEST_F(DiskSpace, APathWithoutDriveColonGivesZeroAndTheLastSuccess) {
    uint64_t freeBytes = 1, required = 1;
    EXPECT_FALSE(GetDiskSpace("d", freeBytes, required));  // nothing computed yet
    EXPECT_EQ(freeBytes, 0u);
    EXPECT_EQ(required, 0u);

    fake_.freeByDrive['D'] = 3 * GiB;
    EXPECT_TRUE(GetDiskSpace("D:", freeBytes, required));
    for (const char* path : {"d", "", "\\\\server", "\\\\server\\", "\\Games", "Dx\\folder"}) {
        freeBytes = required = 1;
        EXPECT_TRUE(GetDiskSpace(path, freeBytes, required)) << path;
        EXPECT_EQ(freeBytes, 0u) << path;
        EXPECT_EQ(required, 0u) << path;
    }
    EXPECT_EQ(fake_.newerRoots.size(), 1u);

    EXPECT_FALSE(GetDiskSpace("G:\\nothing", freeBytes, required));
    EXPECT_FALSE(GetDiskSpace("\\\\server\\share", freeBytes, required));
}

TEST_F(DiskSpace, ANetworkFolderIsAskedOfItsShareOnceWithTheShareRootsBackslash) {
    fake_.freeByShare["\\\\server\\share\\"] = 7 * GiB;
    uint64_t freeBytes = 0, required = 0;
    EXPECT_TRUE(GetDiskSpace("\\\\server\\share\\Games\\Morvandite", freeBytes, required));
    EXPECT_EQ(freeBytes, 7 * GiB);
    EXPECT_EQ(required, uint64_t(0x01200000) + 5 * MiB);
    ASSERT_EQ(fake_.newerRoots.size(), 1u);
    EXPECT_EQ(fake_.newerRoots[0], "\\\\server\\share\\");
    EXPECT_TRUE(GetDiskSpace("\\\\server\\share\\Other", freeBytes, required));
    EXPECT_TRUE(GetDiskSpace("//server/share/Other", freeBytes, required));
    EXPECT_EQ(fake_.newerRoots.size(), 1u);  // one share, asked once

    // Another share is another volume; one the newer call does not know is
    // asked of the older one at the same root.
    EXPECT_FALSE(GetDiskSpace("\\\\server\\other\\Games", freeBytes, required));
    EXPECT_EQ(fake_.newerRoots.back(), "\\\\server\\other\\");
    ASSERT_EQ(fake_.olderRoots.size(), 1u);
    EXPECT_EQ(fake_.olderRoots[0], "\\\\server\\other\\");
    EXPECT_EQ(freeBytes, 0u);
}

TEST_F(DiskSpace, NoPayloadSizeMeansNoFigures) {
    fake_.freeByDrive['C'] = GiB;
    fake_.requiredThrows = true;
    uint64_t freeBytes, required;
    EXPECT_FALSE(GetDiskSpace("C:\\x", freeBytes, required));
    EXPECT_EQ(freeBytes, 0u);
}

// ---- The installation plan with this system's folders -------------------------------

class InstallPlanning : public DiskSpace {
protected:
    static void SetUpTestSuite() { LoadMessageTable(); }
    static void TearDownTestSuite() { FreeMessageTable(); }
    void TearDown() override {
        SetWideApiMode(0);
        DiskSpace::TearDown();
    }
};

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

TEST_F(InstallPlanning, TheSystemsOwnFoldersAreRefusedWithoutAskingTheirSpaceAndFoldersBelowThemAreNot) {
    fake_.freeByDrive['C'] = 10 * GiB;
    for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROFILE, CSIDL_PROGRAM_FILES, CSIDL_DESKTOPDIRECTORY,
                      CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PERSONAL}) {
        const std::string folder = ShellFolder(csidl);
        ASSERT_FALSE(folder.empty()) << csidl;
        const InstallPlan plan = PlanInstallation(folder.c_str());
        EXPECT_EQ(plan.refusal.id, TXTINS_it_is_a_folder_of_Windows_or__ELL.id) << folder;
        EXPECT_FALSE(plan.CanInstall()) << folder;
        EXPECT_FALSE(plan.spaceKnown) << folder;
    }
    EXPECT_TRUE(fake_.newerRoots.empty());
    // Nothing inside Windows either, however deep.
    EXPECT_FALSE(PlanInstallation((ShellFolder(CSIDL_WINDOWS) + "\\Morvandite").c_str()).FolderUsable());
    EXPECT_FALSE(PlanInstallation((ShellFolder(CSIDL_SYSTEM) + "\\drivers\\Morvandite").c_str()).FolderUsable());

    // Below the others is where installations go: the default folders and the user's own.
    InstallOptions options;
    options.productName = "Morvandite";
    const std::string starting = FindStartingChoices(options).installLocation.text();
    for (const std::string& folder :
         {ShellFolder(CSIDL_PROGRAM_FILES) + "\\Morvandite", ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Morvandite",
          ShellFolder(CSIDL_PROFILE) + "\\Games\\Morvandite", starting}) {
        const InstallPlan plan = PlanInstallation(folder.c_str());
        EXPECT_TRUE(plan.FolderUsable()) << folder << ": " << plan.RefusalText().text();
        EXPECT_TRUE(plan.CanInstall()) << folder;
        EXPECT_EQ(std::string(plan.folder.text()), folder);
        EXPECT_EQ(plan.freeBytes, 10 * GiB);
    }
}

TEST_F(InstallPlanning, TheRefusalNamesTheFolderAsGivenAndTheSpaceMustBeStrictlyMore) {
    const InstallPlan refused = PlanInstallation("C:/Games/Morv.");
    EXPECT_EQ(std::string(refused.RefusalText().text()),
              "The folder 'C:/Games/Morv.' cannot be used for the installation: a name in it ends with a dot or a "
              "space.");
    EXPECT_EQ(std::string(refused.folder.text()), "C:/Games/Morv.");

    fake_.required = 0;  // 5 MiB needed
    fake_.freeByDrive['E'] = 5 * MiB;
    fake_.freeByDrive['F'] = 5 * MiB + 1;
    const InstallPlan equal = PlanInstallation("E:/Games//Morv/");
    EXPECT_TRUE(equal.FolderUsable());
    EXPECT_TRUE(equal.RefusalText().empty());
    EXPECT_EQ(std::string(equal.folder.text()), "E:\\Games\\Morv");  // as it will be made and recorded
    EXPECT_TRUE(equal.spaceKnown);
    EXPECT_FALSE(equal.SpaceSuffices());
    EXPECT_TRUE(PlanInstallation("F:\\Games").CanInstall());
    const InstallPlan nowhere = PlanInstallation("Q:\\Games");
    EXPECT_TRUE(nowhere.FolderUsable());
    EXPECT_FALSE(nowhere.spaceKnown);
    EXPECT_FALSE(nowhere.CanInstall());
}

TEST_F(InstallPlanning, ANameTheAnsiCallsCannotExpressIsRefusedWhileTheyAreUsed) {
    fake_.freeByDrive['C'] = 10 * GiB;
    PString cyrillic("C:\\");
    AppendCodePoint(cyrillic, 0x0418);
    AppendCodePoint(cyrillic, 0x0433);
    SetWideApiMode(-1);  // code page 1252 has no Cyrillic
    EXPECT_EQ(PlanInstallation(cyrillic.text()).refusal.id, TXTINS_it_contains_a_character_that__ELL.id);
    EXPECT_TRUE(PlanInstallation("C:\\Caf\xE9").CanInstall());
    SetWideApiMode(1);
    EXPECT_TRUE(PlanInstallation(cyrillic.text()).CanInstall());
}

// The worker makes the folder with its missing parents: below a share the
// share's root counts as there (it cannot be made), so a missing share fails
// at the first folder below it instead of at "\\server".
TEST_F(InstallPlanning, FoldersAreMadeBelowAShareRootAndAMissingShareIsNotMadeOfAServer) {
    const std::string pid = std::to_string(GetCurrentProcessId());
    const TestNetworkShare share("morvandite-test", "plan" + pid);
    ASSERT_TRUE(share.Usable()) << share.Problem();
    uint32_t code = 0;
    EXPECT_TRUE(CreateFolderWithParents((share.Root() + "\\Games\\Morvandite").c_str(), &code)) << code;
    EXPECT_TRUE(PathExists(share.Folder() + "\\Games\\Morvandite"));
    EXPECT_TRUE(CreateFolderWithParents((share.Root() + "\\").c_str(), &code));

    const std::string missing = "\\\\morvandite-test\\missing" + pid;
    code = 0;
    EXPECT_FALSE(CreateFolderWithParents((missing + "\\Games").c_str(), &code));
    EXPECT_NE(code, uint32_t(ERROR_ALREADY_EXISTS));
    EXPECT_NE(code, 0u);
    EXPECT_FALSE(PathExists(missing));
}

// ---- Texts -------------------------------------------------------------------------

class Texts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        LoadMessageTable();
        BuildOptions::select("Morvandite");
    }
    static void TearDownTestSuite() { FreeMessageTable(); }
    void TearDown() override { CurrentLocale = 0; }
};

TEST_F(Texts, SizesInMebibytesUpToOneGibibyteThenGibibytesBelowThatBytes) {
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "Space required: 0 Bytes"},
        {1000, "Space required: 1000 Bytes"},
        {MiB - 1, "Space required: 1048575 Bytes"},
        {MiB, "Space required: 1 MB"},
        {5 * MiB + 1, "Space required: 5 MB"},
        {GiB, "Space required: 1024 MB"},
        {1025 * MiB, "Space required: 1 GB"},
        {1536 * MiB, "Space required: 1 GB"},
        {3 * GiB, "Space required: 3 GB"},
        {300 * GiB, "Space required: 300 GB"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(FormatSize(TXTINS_Space_requiredX_N0_N1, c.bytes).text(), c.text) << c.bytes;
    CurrentLocale = 4;  // German
    EXPECT_EQ(std::string(FormatSize(TXTINS_Space_availableX_N0_N1, 2 * GiB).text()),
              std::string(MsgString(TXTINS_Space_availableX_N0_N1, "2", "GB").text()));
}

TEST_F(Texts, TermsOfServiceAddressNamesTheLocale) {
    EXPECT_STREQ(TermsOfServiceAddress("https://www.morvandite.com", 0).text(),
                 "https://www.morvandite.com/REDIRECTOR/en/_/help_tos");
    EXPECT_STREQ(TermsOfServiceAddress("https://www.morvandite.com", 24).text(),
                 "https://www.morvandite.com/REDIRECTOR/el/_/help_tos");
    EXPECT_STREQ(TermsOfServiceAddress("site", 31).text(), "site/REDIRECTOR/es-419/_/help_tos");
}

TEST(VersionGate, OnlyXpAndLaterPass) {
    const struct {
        DWORD platform, major, minor;
        bool refused;
    } cases[] = {
        {0, 3, 10, true},  // Win32s
        {1, 4, 10, true},  // Windows 98
        {1, 4, 90, true},  // Me
        {2, 4, 0, true},   // NT 4
        {2, 5, 0, true},   // 2000
        {2, 5, 1, false},  // XP
        {2, 5, 2, false},  // Server 2003
        {2, 6, 0, false},  {2, 6, 1, false}, {2, 6, 3, false}, {2, 10, 0, false},
        {3, 4, 0, false},  // any later platform
    };
    for (const auto& c : cases) {
        OSVERSIONINFOA v = {};
        v.dwOSVersionInfoSize = sizeof v;
        v.dwPlatformId = c.platform;
        v.dwMajorVersion = c.major;
        v.dwMinorVersion = c.minor;
        EXPECT_EQ(WindowsVersionRefused(v), c.refused) << c.platform << " " << c.major << "." << c.minor;
    }
    EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
}

TEST(Layout, TheTableGivesA715By574PageWithTheBarFrom500) {
    SIZE size = LayoutClientSize(kInstallLayout, kInstallLayoutRowCount);
    EXPECT_EQ(size.cx, 715);
    EXPECT_EQ(size.cy, 574);
    EXPECT_EQ(kInstallLayout[kRowCancel].y - 15, 500);
    // Without rows the minimum stands, plus the margin.
    SIZE empty = LayoutClientSize(kInstallLayout, 0);
    EXPECT_EQ(empty.cx, 220);
    EXPECT_EQ(empty.cy, 390);
}

// ---- The window --------------------------------------------------------------------

// A question box of this process seen and answered on a helper thread.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    RECT window = {};
};

RECT RectIn(HWND child, HWND parent);

class BoxAnswer {
public:
    // answer: the button id to press (6, 7), or 8 to close the box; the hook
    // runs, on the helper thread, instead of answering when given.
    // seen runs on the helper thread once the box is up, before the answer.
    explicit BoxAnswer(int answer, std::function<void(HWND box)> hook = nullptr,
                       std::function<void(HWND box)> seenHook = nullptr) {
        DWORD ui = GetCurrentThreadId();
        thread_ = std::thread([this, ui, answer, hook, seenHook] {
            HWND box = nullptr;
            for (int i = 0; i < 3000 && !box; ++i) {
                box = FindBox();
                GUITHREADINFO gui = {};
                gui.cbSize = sizeof gui;
                // Ready once its first button has the focus.
                if (box && !(GetGUIThreadInfo(ui, &gui) && gui.hwndFocus == GetDlgItem(box, 6)))
                    box = nullptr;
                if (!box)
                    Sleep(10);
            }
            if (!box) {
                PostThreadMessageW(ui, WM_QUIT, 0x7E57, 0);  // never leave the test hanging
                return;
            }
            wchar_t buffer[1024] = L"";
            GetWindowTextW(box, buffer, 1024);
            seen.caption = buffer;
            GetWindowRect(box, &seen.window);
            for (int i = 0; i < 2; ++i)
                buttons[i] = RectIn(GetDlgItem(box, 6 + i), box);
            if (seenHook)
                seenHook(box);
            found = true;
            if (hook)
                hook(box);
            else if (answer == 8)
                PostMessageW(box, WM_CLOSE, 0, 0);
            else
                PostMessageW(box, WM_COMMAND, WPARAM(answer), 0);
        });
    }
    ~BoxAnswer() { Join(); }
    void Join() {
        if (thread_.joinable())
            thread_.join();
    }

    static HWND FindBox() {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"MyMsgBox", nullptr); w;
             w = FindWindowExW(nullptr, w, L"MyMsgBox", nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(w))
                return w;
        }
        return nullptr;
    }

    std::atomic<bool> found{false};
    SeenBox seen;
    RECT buttons[2] = {};  // of ids 6 and 7, in the box's client area

private:
    std::thread thread_;
};

std::string Narrow(const PString& s) { return s.text(); }

PString TextOf(MyBaseControl& c) {
    PString text;
    c.GetText(text);
    return text;
}

RECT RectIn(HWND child, HWND parent) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class InstallWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ModuleInstance = GetModuleHandleA(nullptr);
        LoadMessageTable();
    }
    static void TearDownTestSuite() { FreeMessageTable(); }

    void SetUp() override {
        disk = &fake_;
        fake_.freeByDrive['C'] = 50 * GiB;
        fake_.freeByDrive['Z'] = 50 * GiB;
        fake_.required = 40 * MiB;
        queries_.freeSpaceEx = &FakeFreeSpaceEx;
        queries_.freeSpace = &FakeFreeSpace;
        queries_.required = &FakeRequired;
        SetDiskSpaceQueries(&queries_);
        CurrentLocale = 0;
    }

    void TearDown() override {
        if (window_) {
            HWND h = window_->Handle();
            window_.reset();
            if (h)
                DestroyWindow(h);
        }
        Pump();
        SetDiskSpaceQueries(nullptr);
        disk = nullptr;
        CurrentLocale = 0;
    }

    // A window class is wide or ANSI for good: each mode needs a class of its own.
    void Build(const char* commandLine = "", const wchar_t* className = L"MorvanditeInstallerTest") {
        const RECT rect = {0, 0, 640, 420};
        window_.reset(new MorvanditeInstallWindow(className, L"Setup Morvandite", 0x10CA0000, rect,
                                                  GetModuleHandleA(nullptr), nullptr, 20, commandLine));
        ASSERT_TRUE(window_->IsConfigured());
        ASSERT_TRUE(window_->Create(nullptr));
        window_->BuildPage();
        window_->Show();
        Pump();
    }

    // Dispatches what is queued; true when a WM_QUIT was among it (its code in quitCode).
    bool Pump() {
        bool quit = false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = int(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return quit;
    }

    HWND Item(int id) { return GetDlgItem(window_->Handle(), id); }
    bool Checked(int id) { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool InstallEnabled() { return IsWindowEnabled(Item(kIdInstall)) != FALSE; }

    void SetLocation(const char* path) {
        window_->ControlOfRow(kRowLocationEdit).SetText(path);  // EN_CHANGE follows
        Pump();
    }

    // Picks a list entry by its locale as a user would.
    bool ChooseLanguage(int32_t locale) {
        HWND list = Item(kIdLanguageList);
        LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            if (SendMessageW(list, CB_GETITEMDATA, i, 0) == locale) {
                SendMessageW(list, CB_SETCURSEL, i, 0);
                SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(kIdLanguageList, CBN_SELENDOK), LPARAM(list));
                return true;
            }
        }
        return false;
    }
    int32_t ListedLanguage() {
        HWND list = Item(kIdLanguageList);
        return int32_t(SendMessageW(list, CB_GETITEMDATA, SendMessageW(list, CB_GETCURSEL, 0, 0), 0));
    }

    // The page's DPI, checked against the display's: the Wine tests run the
    // page at 96, 144 and 192 DPI (MORVANDITE_WINE_DPI in the prefix), and at
    // 144 on a screen too small for the page at 144, where it must take the
    // largest DPI at which it fits.
    int PageDpi() {
        const int dpi = window_->Dpi();
        const int windowDpi = WindowDpi(window_->Handle());
        const char* display = getenv("MORVANDITE_WINE_DPI");
        if (display && *display) {
            EXPECT_EQ(windowDpi, atoi(display)) << "the prefix's DPI did not take effect";
        }
        EXPECT_LE(dpi, windowDpi);
        if (dpi < windowDpi) {
            EXPECT_TRUE(PageFitsAt(dpi)) << dpi;
            EXPECT_FALSE(PageFitsAt(dpi + 1)) << "the page could have been laid out at " << dpi + 1;
        } else {
            EXPECT_TRUE(PageFitsAt(dpi) || dpi == 96) << "the page does not fit the screen at " << dpi;
        }
        return dpi;
    }

    // The work area of the page's monitor.
    RECT WorkArea() {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        EXPECT_TRUE(GetMonitorInfoW(MonitorFromWindow(window_->Handle(), MONITOR_DEFAULTTONEAREST), &info));
        return info.rcWork;
    }

    // Whether the page (715 x 574 as designed) at dpi, inside the frame this
    // window really has, fits the work area.
    bool PageFitsAt(int dpi) {
        RECT frame, client;
        GetWindowRect(window_->Handle(), &frame);
        GetClientRect(window_->Handle(), &client);
        const int frameWidth = (frame.right - frame.left) - client.right;
        const int frameHeight = (frame.bottom - frame.top) - client.bottom;
        const RECT work = WorkArea();
        return ScaleToDpi(715, dpi) + frameWidth <= work.right - work.left &&
               ScaleToDpi(574, dpi) + frameHeight <= work.bottom - work.top;
    }

    // What the screen shows of a window, kept in <build>/artifacts/dpi.
    static void KeepScreenshot(HWND window, const std::string& name) {
        CreateDirectoryA(BinaryPath("artifacts").c_str(), nullptr);
        CreateDirectoryA(BinaryPath("artifacts\\dpi").c_str(), nullptr);
        const std::string file = BinaryPath("artifacts\\dpi\\" + name + ".bmp");
        DeleteFileA(file.c_str());
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        // The display shows what was painted once Wine has flushed it.
        for (int i = 0; i < 5; ++i) {
            MSG msg;
            while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            Sleep(100);
        }
        SaveWindowBitmap(window, file);
        EXPECT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
    }

    // Every text of the page fits its control in the current language, and
    // the left column's rows do not run into each other or the bottom bar.
    void ExpectEveryTextFits(const std::string& where);

    COLORREF LabelColour(int row) {
        HDC dc = GetDC(window_->Handle());
        SetTextColor(dc, 0);
        SendMessageW(window_->Handle(), WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(window_->ControlOfRow(row).Handle()));
        COLORREF colour = GetTextColor(dc);
        ReleaseDC(window_->Handle(), dc);
        return colour;
    }
    COLORREF SpaceAvailableColour() { return LabelColour(kRowSpaceAvailable); }

    FakeDisk fake_;
    DiskSpaceQueries queries_;
    std::unique_ptr<MorvanditeInstallWindow> window_;
    int quitCode = 0;
};

TEST_F(InstallWindow, ThePageHas25ControlsInCreationOrderWithTheirIdsStylesAndStates) {
    Build();
    RECT client;
    GetClientRect(window_->Handle(), &client);
    EXPECT_EQ(client.right, 715);
    EXPECT_EQ(client.bottom, 574);

    const struct {
        int id;
        const wchar_t* cls;
        DWORD style;  // bits that must be set
        bool visible;
    } expected[] = {
        {0, L"Static", 0, true},       {0, L"Static", 0, true},          {0, L"Static", 0, true},
        {0, L"Static", 0, true},       {1001, L"ComboBox", 0, true},    {0, L"Static", SS_SUNKEN, true},
        {0, L"Static", SS_SUNKEN, true}, {0, L"Static", SS_SUNKEN, true}, {141, L"Button", BS_MULTILINE, true},
        {142, L"Button", BS_MULTILINE, true}, {143, L"Button", BS_MULTILINE, true},
        {144, L"Button", BS_MULTILINE, true}, {150, L"Button", BS_MULTILINE, true}, {0, L"Static", 0, true},
        {0, L"Static", 0, true},       {133, L"Edit", ES_AUTOHSCROLL, true}, {1005, L"Button", BS_OWNERDRAW, true},
        {0, L"Static", 0, true},       {0, L"Static", 0, true},          {151, L"Button", BS_TOP, true},
        {1006, L"Static", SS_NOTIFY, true}, {1002, L"Button", BS_OWNERDRAW, true},
        {105, L"Button", BS_OWNERDRAW, true}, {0, L"Static", SS_CENTER, false},
        {114, L"Button", BS_OWNERDRAW, false},
    };
    int i = 0;
    for (HWND c = GetWindow(window_->Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++i) {
        ASSERT_LT(i, 25);
        wchar_t cls[64];
        GetClassNameW(c, cls, 64);
        EXPECT_EQ(GetDlgCtrlID(c), expected[i].id) << "control " << i + 1;
        EXPECT_EQ(lstrcmpiW(cls, expected[i].cls), 0) << "control " << i + 1;
        DWORD style = DWORD(GetWindowLongW(c, GWL_STYLE));
        EXPECT_EQ(style & expected[i].style, expected[i].style) << "control " << i + 1;
        EXPECT_EQ((style & WS_VISIBLE) != 0, expected[i].visible) << "control " << i + 1;
    }
    EXPECT_EQ(i, 25);

    // Options on, agreement off, the all-users box only for administrators.
    for (int id : {kIdDesktop, kIdQuickLaunch, kIdStartMenu, kIdBrowserButton})
        EXPECT_TRUE(Checked(id)) << id;
    const bool admin = window_->Options().hasAdminRights != 0;
    EXPECT_EQ(Checked(kIdAllUsers), admin);
    EXPECT_EQ(IsWindowEnabled(Item(kIdAllUsers)) != FALSE, admin);
    EXPECT_FALSE(Checked(kIdAgreement));
    EXPECT_FALSE(InstallEnabled());

    // The location is the default folder; the bar lies 15 pixels above Cancel.
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowLocationEdit))), Narrow(window_->InstallLocation()));
    EXPECT_EQ(RectIn(Item(kIdCancel), window_->Handle()).top, 515);
    EXPECT_EQ(RectIn(Item(kIdInstall), window_->Handle()).bottom - RectIn(Item(kIdInstall), window_->Handle()).top, 46);
}

TEST_F(InstallWindow, InstallNeedsTheAgreementAndStrictlyMoreFreeThanRequiredSpace) {
    fake_.required = 0;  // 5 MiB needed on every drive
    fake_.freeByDrive['E'] = 5 * MiB + 1;
    fake_.freeByDrive['F'] = 5 * MiB;
    fake_.freeByDrive['G'] = 5 * MiB - 1;
    Build();
    SetLocation("E:\\Games");
    EXPECT_FALSE(InstallEnabled());
    SendMessageW(Item(kIdAgreement), BM_CLICK, 0, 0);
    EXPECT_TRUE(InstallEnabled());
    EXPECT_NE(SpaceAvailableColour(), COLORREF(0x0000C0));

    SetLocation("F:\\Games");  // equal: not enough, but not short either
    EXPECT_EQ(window_->FreeSpace(), window_->RequiredSpace());
    EXPECT_FALSE(InstallEnabled());
    EXPECT_NE(SpaceAvailableColour(), COLORREF(0x0000C0));

    SetLocation("G:\\Games");
    EXPECT_FALSE(InstallEnabled());
    EXPECT_EQ(SpaceAvailableColour(), COLORREF(0x0000C0));

    SetLocation("E:\\Games");
    EXPECT_TRUE(InstallEnabled());
    SendMessageW(Item(kIdAgreement), BM_CLICK, 0, 0);
    EXPECT_FALSE(InstallEnabled());
}

TEST_F(InstallWindow, TheSpaceLabelsFollowTheLocationAsItIsTyped) {
    fake_.freeByDrive['D'] = 2 * GiB;
    Build();
    PString required = TextOf(window_->ControlOfRow(kRowSpaceRequired));
    EXPECT_EQ(Narrow(required), "Space required: 45 MB");
    SendMessageW(Item(kIdAgreement), BM_CLICK, 0, 0);
    ASSERT_TRUE(InstallEnabled());
    const size_t asked = fake_.newerRoots.size();

    SetLocation("");  // an empty box keeps the figures on show, but not Install
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceRequired))), "Space required: 45 MB");
    EXPECT_EQ(window_->FreeSpace(), 50 * GiB);
    EXPECT_FALSE(InstallEnabled());

    // On the way to a folder: no drive is asked until there is one, and the
    // page says what is missing instead of figures.
    for (const char* typed : {"d", "d:", "d:\\"}) {
        SetLocation(typed);
        EXPECT_EQ(window_->FreeSpace(), 0u) << typed;
        EXPECT_FALSE(IsWindowVisible(window_->ControlOfRow(kRowSpaceAvailable).Handle())) << typed;
        EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceRequired))),
                  Narrow(MsgString(TXTINS_The_folder_XN0X_cannot_be_use_ELL, typed,
                                   MsgString(std::strlen(typed) == 3 ? TXTINS_it_is_the_root_folder_of_a_dr_ELL
                                                      : TXTINS_it_is_not_a_full_path_startin_ELL)
                                       .text())))
            << typed;
        EXPECT_FALSE(InstallEnabled()) << typed;
    }
    EXPECT_EQ(fake_.newerRoots.size(), asked);

    SetLocation("D:\\G");
    EXPECT_EQ(fake_.newerRoots.size(), asked + 1);
    EXPECT_EQ(fake_.newerRoots.back(), "D:");
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceAvailable))), "Space available: 2 GB");
    EXPECT_TRUE(IsWindowVisible(window_->ControlOfRow(kRowSpaceAvailable).Handle()));
    EXPECT_TRUE(InstallEnabled());

    SetLocation("Q:\\nowhere");  // no such drive: empty labels, Install off
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceAvailable))), "");
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceRequired))), "");
    EXPECT_FALSE(InstallEnabled());
}

TEST_F(InstallWindow, ARefusedFolderShowsWhyWhereTheFiguresWereAndNeverEnablesInstall) {
    fake_.freeByShare["\\\\server\\share\\"] = 50 * GiB;
    fake_.freeByDrive['R'] = 50 * GiB;  // a removable drive, say: any drive with room will do
    char profile[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile)));
    const std::string longFolder = "C:\\Games\\" + std::string(291, 'x');
    const struct {
        std::string folder;
        MsgRef reason;
    } refused[] = {
        {"C:\\", TXTINS_it_is_the_root_folder_of_a_dr_ELL},
        {"c:/", TXTINS_it_is_the_root_folder_of_a_dr_ELL},
        {"\\\\server\\share", TXTINS_it_is_the_root_folder_of_a_dr_ELL},
        {"C:", TXTINS_it_is_not_a_full_path_startin_ELL},
        {"C:Games", TXTINS_it_is_not_a_full_path_startin_ELL},
        {"Games", TXTINS_it_is_not_a_full_path_startin_ELL},
        {"\\Games", TXTINS_it_is_not_a_full_path_startin_ELL},
        {"\\\\?\\C:\\x", TXTINS_it_is_not_a_full_path_startin_ELL},
        {"C:\\Games\\Morv.", TXTINS_a_name_in_it_ends_with_a_dot__ELL},
        {"C:\\Games\\Morv ", TXTINS_a_name_in_it_ends_with_a_dot__ELL},
        {"C:\\Games\\CON", TXTINS_a_name_in_it_is_reserved_by_W_ELL},
        {"C:\\Games\\nul.txt\\x", TXTINS_a_name_in_it_is_reserved_by_W_ELL},
        {"C:\\Games\\a|b", TXTINS_it_contains_a_character_that__ELL},
        {"C:\\Windows", TXTINS_it_is_a_folder_of_Windows_or__ELL},
        {"C:\\Windows\\System32\\x", TXTINS_it_is_a_folder_of_Windows_or__ELL},
        {profile, TXTINS_it_is_a_folder_of_Windows_or__ELL},
        {longFolder, TXTINS_the_path_is_too_long},
    };
    Build();
    SendMessageW(Item(kIdAgreement), BM_CLICK, 0, 0);
    HWND reasonLabel = window_->ControlOfRow(kRowSpaceRequired).Handle();
    const RECT oneRow = RectIn(reasonLabel, window_->Handle());
    for (const auto& c : refused) {
        SetLocation(c.folder.c_str());
        const std::string label = Narrow(TextOf(window_->ControlOfRow(kRowSpaceRequired)));
        const std::string full = Narrow(MsgString(TXTINS_The_folder_XN0X_cannot_be_use_ELL, c.folder.c_str(),
                                                  MsgString(c.reason).text()));
        if (c.folder == longFolder) {
            // Too long for two lines: the folder is shortened in its middle.
            EXPECT_NE(label, full);
            EXPECT_EQ(label.rfind("The folder 'C:\\Games\\xx", 0), 0u) << label;
            EXPECT_NE(label.find("\x85xxx"), std::string::npos) << label;  // an ellipsis in code page 1252
            EXPECT_NE(label.find(Narrow(MsgString(c.reason))), std::string::npos) << label;
        } else {
            EXPECT_EQ(label, full);
        }
        EXPECT_FALSE(InstallEnabled()) << c.folder;
        EXPECT_FALSE(IsWindowVisible(window_->ControlOfRow(kRowSpaceAvailable).Handle())) << c.folder;
        // Both rows, in the colour of short space.
        const RECT r = RectIn(reasonLabel, window_->Handle());
        EXPECT_EQ(r.top, oneRow.top) << c.folder;
        EXPECT_EQ(r.bottom, RectIn(window_->ControlOfRow(kRowSpaceAvailable).Handle(), window_->Handle()).bottom)
            << c.folder;
        EXPECT_EQ(LabelColour(kRowSpaceRequired), COLORREF(0x0000C0)) << c.folder;
    }
    // Install pressed anyway (a message sent to the window): nothing starts,
    // and no drive-relative "C:" is made of the root.
    SetLocation("C:\\");
    SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(kIdInstall, BN_CLICKED), LPARAM(Item(kIdInstall)));
    Pump();
    EXPECT_FALSE(window_->Worker().IsRunning());
    EXPECT_TRUE(IsWindowVisible(Item(kIdInstall)));

    // Usable folders bring the figures back in their row, below Program Files,
    // on a share and on any drive with room.
    PString cyrillic("C:\\");
    AppendCodePoint(cyrillic, 0x0418);
    AppendCodePoint(cyrillic, 0x0433);
    for (const char* usable : {"C:\\Program Files\\Morvandite", "C:\\Games\\", "\\\\server\\share\\Games",
                               "R:\\Games", cyrillic.text()}) {
        SetLocation(usable);
        EXPECT_TRUE(InstallEnabled()) << usable;
        EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceAvailable))), "Space available: 50 GB") << usable;
        EXPECT_TRUE(IsWindowVisible(window_->ControlOfRow(kRowSpaceAvailable).Handle())) << usable;
        EXPECT_EQ(RectIn(reasonLabel, window_->Handle()).bottom, oneRow.bottom) << usable;
        EXPECT_NE(LabelColour(kRowSpaceRequired), COLORREF(0x0000C0)) << usable;
    }
    // What is installed into is the folder as Windows reads it.
    SetLocation("C:/Games//Card Room/");
    EXPECT_TRUE(InstallEnabled());
    EXPECT_EQ(Narrow(window_->Plan().folder), "C:\\Games\\Card Room");
}

// EnumThreadWindows callback: the first visible dialog into *(HWND*)found.
BOOL CALLBACK FindVisibleDialog(HWND w, LPARAM found) {
    wchar_t cls[32] = L"";
    GetClassNameW(w, cls, 32);
    if (std::wcscmp(cls, L"#32770") == 0 && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    return TRUE;
}

// The shell's folder browser under Wine lets its own check enable OK again
// after the installer's callback disabled it for a drive root.
TEST_F(InstallWindow, ADriveRootChosenInTheBrowserNeverEnablesInstall) {
    LoadShellFunctions();
    CoInitialize(nullptr);
    Build();
    SendMessageW(Item(kIdAgreement), BM_CLICK, 0, 0);
    SetLocation("C:\\Games");
    ASSERT_TRUE(InstallEnabled());
    const DWORD ui = GetCurrentThreadId();
    std::atomic<bool> chose{false};
    std::thread helper([&] {
        for (int i = 0; i < 200 && !chose; ++i, Sleep(50)) {
            HWND dialog = nullptr;
            EnumThreadWindows(ui, &FindVisibleDialog, LPARAM(&dialog));
            if (!dialog)
                continue;
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, LPARAM(L"C:\\"));
            Sleep(500);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);  // OK, as Wine leaves it enabled
            chose = true;
        }
    });
    SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(kIdBrowse, BN_CLICKED), LPARAM(Item(kIdBrowse)));
    helper.join();
    Pump();
    ASSERT_TRUE(chose);
    ASSERT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowLocationEdit))), "C:\\");
    EXPECT_FALSE(InstallEnabled());
    CoUninitialize();
}

// Characters typed into the location box, one UTF-16 unit per WM_CHAR,
// through the installer's own message loop, come back exactly. In ANSI mode
// the box is an ANSI window and holds what the ANSI code page (1252) holds.
TEST_F(InstallWindow, TypedCharactersSurviveTheMessageLoopInBothModes) {
    const struct {
        int mode;
        const wchar_t* className;
        const wchar_t* typed;
    } runs[] = {
        {1, L"MorvanditeInstallerWideTest",
         L"C:\\\u0418\u0433\u0440\u044B \u65E5\u672C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1 \U0001D11E"},
        {-1, L"MorvanditeInstallerAnsiTest", L"C:\\Caf\u00E9 \u00DCber \u00D1 \u20AC\u0153\u2122"},
    };
    for (const auto& run : runs) {
        SetWideApiMode(run.mode);
        Build("", run.className);
        HWND edit = Item(kIdLocationEdit);
        SetWindowTextW(edit, L"");
        SetFocus(edit);
        for (const wchar_t* u = run.typed; *u; ++u)
            PostMessageW(edit, WM_CHAR, WPARAM(*u), 1);
        PostQuitMessage(0);
        EXPECT_EQ(RunMessageLoop(window_->Handle()), 0);
        wchar_t text[256] = L"";
        GetWindowTextW(edit, text, 256);
        EXPECT_EQ(std::wstring(text), std::wstring(run.typed)) << "mode " << run.mode;
        HWND h = window_->Handle();
        window_.reset();
        DestroyWindow(h);
        Pump();
    }
    SetWideApiMode(0);
}

TEST_F(InstallWindow, ChoosingALanguageRetextsThePageAndKeepsTheLinkBelowTheAgreement) {
    Build();
    ASSERT_EQ(CurrentLocale, 0);
    ASSERT_TRUE(ChooseLanguage(4));  // German
    EXPECT_EQ(CurrentLocale, 4);
    const PString name = window_->Options().displayName;
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowTitle))),
              Narrow(MsgString(TXTINS_Install_N0_Software, name.text())));
    for (int row : {kRowLanguagePrompt, kRowLanguageNote, kRowOptionsHeading, kRowDesktop, kRowAllUsers, kRowLocationHeading,
                    kRowLocationHint, kRowBrowse, kRowAgreement, kRowAgreementLink, kRowInstall, kRowCancel, kRowInstalling})
        EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(row))), Narrow(MsgString(kInstallLayout[row].message, name.text())))
            << "row " << row;
    // The agreement names the brand, as every text that names the product.
    EXPECT_NE(Narrow(TextOf(window_->ControlOfRow(kRowAgreement))).find(name.text()), std::string::npos);
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowSpaceRequired))),
              Narrow(MsgString(TXTINS_Space_requiredX_N0_N1, "45", MsgString(TXTINS_MB).text())));
    PString title;
    PGetWindowText(window_->Handle(), title, &PStringXEncoding, false);
    EXPECT_EQ(Narrow(title), Narrow(MsgString(TXTINS_Install_Morvandite, name.text())));

    // The link sits 5 pixels below the agreement box in every language.
    for (int32_t locale : {0, 4, 6, 24, 3}) {
        ASSERT_TRUE(ChooseLanguage(locale)) << locale;
        RECT box = RectIn(Item(kIdAgreement), window_->Handle());
        RECT link = RectIn(Item(kIdAgreementLink), window_->Handle());
        EXPECT_EQ(link.top, box.bottom + 5) << locale;
        EXPECT_GE(box.bottom - box.top, 20) << locale;
    }

    // The same language again changes nothing.
    ASSERT_TRUE(ChooseLanguage(3));
    SetWindowTextW(Item(kIdAgreementLink), L"marker");
    ASSERT_TRUE(ChooseLanguage(3));
    wchar_t text[32];
    GetWindowTextW(Item(kIdAgreementLink), text, 32);
    EXPECT_STREQ(text, L"marker");
}

TEST_F(InstallWindow, AnUnsupportedLanguageWarnsAndCancelKeepsThePreviousOne) {
    Build();
    int32_t unsupported = -1;
    for (LocaleIterator it; !it.atEnd(); it.next())
        if (!LanguageSupported(it.index()))
            unsupported = int32_t(it.index());
    if (unsupported < 0)
        GTEST_SKIP() << "every offered language can be shown on this system";

    ASSERT_TRUE(ChooseLanguage(4));
    const std::string germanTitle = Narrow(TextOf(window_->ControlOfRow(kRowTitle)));
    {
        BoxAnswer answer(7);
        ASSERT_TRUE(ChooseLanguage(unsupported));
        answer.Join();
        ASSERT_TRUE(answer.found);
        PString name;
        LanguageNameIn(name, 4, uint32_t(unsupported));
        PWString caption;
        ToWide(caption, MsgString(TXTINS_N0_Language_Support, name.text()).text(), &PStringXEncoding);
        caption.terminate();
        EXPECT_EQ(answer.seen.caption, std::wstring(caption.wide()));
        EXPECT_EQ(answer.seen.window.right - answer.seen.window.left, ScaleToDpi(394, window_->Dpi()));
        EXPECT_EQ(answer.seen.window.bottom - answer.seen.window.top, ScaleToDpi(302, window_->Dpi()));
    }
    EXPECT_EQ(CurrentLocale, 4);
    EXPECT_EQ(ListedLanguage(), 4);
    EXPECT_EQ(Narrow(TextOf(window_->ControlOfRow(kRowTitle))), germanTitle);

    {
        BoxAnswer answer(8);  // closing the warning goes ahead
        ASSERT_TRUE(ChooseLanguage(unsupported));
        answer.Join();
        ASSERT_TRUE(answer.found);
    }
    EXPECT_EQ(CurrentLocale, unsupported);
}

void InstallWindow::ExpectEveryTextFits(const std::string& where) {
    HWND page = window_->Handle();
    const int dpi = window_->Dpi();
    HDC dc = GetDC(page);
    int checked = 0;
    for (int row = 0; row < kInstallLayoutRowCount; ++row) {
        const ControlLayout& layout = kInstallLayout[row];
        MyBaseControl& control = window_->ControlOfRow(row);
        if (!layout.message.table)
            continue;
        RECT box;
        GetClientRect(control.Handle(), &box);
        PString text;
        HFONT font;
        if (layout.kind == kLayoutButton) {
            text = static_cast<MyButton&>(control).Text();
            font = static_cast<PageButton&>(control).Font();
        }
        else {
            control.GetText(text);
            font = reinterpret_cast<HFONT>(SendMessageW(control.Handle(), WM_GETFONT, 0, 0));
        }
        ASSERT_FALSE(text.empty()) << "row " << row << where;
        HGDIOBJ old = SelectObject(dc, font);
        int margin = 0;
        UINT flags = DT_CALCRECT | DT_WORDBREAK;
        if (layout.kind == kLayoutCheckBox || layout.kind == kLayoutWrappingCheckBox)
            margin = SystemMetricForDpi(SM_CXHTHUMB, dpi);
        if (layout.kind == kLayoutCheckBox || layout.kind == kLayoutButton)
            flags = DT_CALCRECT | DT_SINGLELINE;
        if (layout.kind == kLayoutButton)
            margin = 2 * ScaleToDpi(kButtonTextMargin, dpi);
        RECT m = {0, 0, box.right - margin, 0};
        PDrawText(dc, text.text(), &PStringXEncoding, &m, flags);
        SelectObject(dc, old);
        EXPECT_LE(m.right, box.right - margin) << "row " << row << " is too narrow" << where;
        EXPECT_LE(m.bottom, box.bottom) << "row " << row << " is too low" << where;
        ++checked;
    }
    ReleaseDC(page, dc);
    EXPECT_GT(checked, 0);

    const int column[] = {kRowTitle,          kRowLanguagePrompt, kRowLanguageNote,   kRowSeparator1,
                          kRowOptionsHeading, kRowDesktop,        kRowAllUsers,       kRowSeparator2,
                          kRowLocationHeading, kRowLocationEdit,  kRowLocationHint,   kRowSpaceRequired,
                          kRowSpaceAvailable, kRowSeparator3,     kRowAgreement,      kRowAgreementLink};
    for (size_t i = 0; i + 1 < sizeof column / sizeof column[0]; ++i) {
        RECT a = RectIn(window_->ControlOfRow(column[i]).Handle(), page);
        RECT b = RectIn(window_->ControlOfRow(column[i + 1]).Handle(), page);
        EXPECT_LE(a.bottom, b.top) << "rows " << column[i] << " and " << column[i + 1] << where;
    }
    RECT link = RectIn(Item(kIdAgreementLink), page);
    EXPECT_LE(link.bottom, ScaleToDpi(500, dpi)) << "the link runs into the bottom bar" << where;
}

TEST_F(InstallWindow, EveryTextFitsItsControlInEveryOfferedLanguage) {
    Build();
    const int dpi = PageDpi();
    for (LocaleIterator it; !it.atEnd(); it.next()) {
        window_->SetLanguage(int32_t(it.index()));
        Pump();
        ExpectEveryTextFits(std::string(" in ") + it.current().code + " at " + std::to_string(dpi) + " DPI");
        if (it.index() == 0 || std::strcmp(it.current().code, "de") == 0 || std::strcmp(it.current().code, "ja") == 0)
            KeepScreenshot(window_->Handle(), std::string("page-") + it.current().code + "-" + std::to_string(dpi));
    }
}

// The page at the display's DPI: at 96 every control rectangle and font
// height is the layout table's own; at other DPIs they scale by their edges.
TEST_F(InstallWindow, ThePageIsLaidOutAtTheDisplayDpi) {
    Build();
    const int dpi = PageDpi();
    HWND page = window_->Handle();
    RECT client;
    GetClientRect(page, &client);
    EXPECT_EQ(client.right, ScaleToDpi(715, dpi));
    EXPECT_EQ(client.bottom, ScaleToDpi(574, dpi));
    if (dpi == 96) {
        EXPECT_EQ(client.right, 715);
        EXPECT_EQ(client.bottom, 574);
    }

    // Every row of fixed size sits on its scaled edges (the list is
    // narrowed to its names, so only its left and top are fixed).
    for (int row = 0; row < kInstallLayoutRowCount; ++row) {
        const ControlLayout& l = kInstallLayout[row];
        if (!l.width || !l.height)
            continue;
        RECT r = RectIn(window_->ControlOfRow(row).Handle(), page);
        EXPECT_EQ(r.left, ScaleToDpi(l.x, dpi)) << "row " << row;
        EXPECT_EQ(r.top, ScaleToDpi(l.y, dpi)) << "row " << row;
        if (row == kRowLanguageList)
            continue;
        EXPECT_EQ(r.right, ScaleToDpi(l.x + l.width, dpi)) << "row " << row;
        EXPECT_EQ(r.bottom, ScaleToDpi(l.y + l.height, dpi)) << "row " << row;
        if (dpi == 96) {
            EXPECT_EQ(r.bottom - r.top, l.height) << "row " << row;
        }
    }
    // Measured rows start where the table says.
    for (int row : {kRowTitle, kRowLanguagePrompt, kRowLanguageNote, kRowOptionsHeading, kRowLocationHeading,
                    kRowLocationHint, kRowAgreement}) {
        RECT r = RectIn(window_->ControlOfRow(row).Handle(), page);
        EXPECT_EQ(r.left, ScaleToDpi(kInstallLayout[row].x, dpi)) << "row " << row;
        EXPECT_EQ(r.top, ScaleToDpi(kInstallLayout[row].y, dpi)) << "row " << row;
    }

    // The fonts: the interface face's heights, scaled.
    const InterfaceFont face = SelectInterfaceFont();
    const struct {
        int row, nominal, weight;
    } fonts[] = {{kRowTitle, 28, 700},  {kRowLanguagePrompt, 17, 600}, {kRowLanguageNote, 15, 400},
                 {kRowAgreementLink, 15, 400}, {kRowBrowse, 17, 600}, {kRowCancel, 28, 700}};
    for (const auto& f : fonts) {
        LOGFONTA lf;
        ASSERT_TRUE(GetObjectA(window_->FontOfRow(f.row), sizeof lf, &lf)) << "row " << f.row;
        EXPECT_EQ(lf.lfHeight, ScaleToDpi(ScaledFontHeight(face, f.nominal), dpi)) << "row " << f.row;
        if (dpi == 96) {
            EXPECT_EQ(lf.lfHeight, ScaledFontHeight(face, f.nominal)) << "row " << f.row;
        }
        EXPECT_EQ(lf.lfWeight, f.weight) << "row " << f.row;
    }
    KeepScreenshot(page, "page-" + std::to_string(dpi));
}

// Moved to a monitor with another DPI, the page is laid out again for it, in
// the rectangle the system suggests, and comes back the same on return.
// All of the page is on the screen it opens on, its buttons included: on a
// screen too small for it at the display's DPI (a 1366 x 768 laptop at 150%,
// MORVANDITE_EXPECT_FITTED in that run) it is laid out smaller.
TEST_F(InstallWindow, ThePageFitsTheScreenItOpensOn) {
    Build();
    const int dpi = PageDpi();
    RECT frame;
    GetWindowRect(window_->Handle(), &frame);
    const RECT work = WorkArea();
    EXPECT_GE(frame.left, work.left);
    EXPECT_GE(frame.top, work.top);
    EXPECT_LE(frame.right, work.right);
    EXPECT_LE(frame.bottom, work.bottom);
    RECT client;
    GetClientRect(window_->Handle(), &client);
    EXPECT_EQ(client.right, ScaleToDpi(715, dpi));
    EXPECT_EQ(client.bottom, ScaleToDpi(574, dpi));
    const char* fitted = getenv("MORVANDITE_EXPECT_FITTED");
    if (fitted && *fitted) {
        EXPECT_LT(dpi, WindowDpi(window_->Handle())) << "this screen was meant to be too small for the page";
        KeepScreenshot(window_->Handle(), "page-fitted-" + std::to_string(dpi));
    }
}

TEST_F(InstallWindow, MovingToAMonitorWithAnotherDpiLaysThePageOutAgain) {
    Build();
    HWND page = window_->Handle();
    const int dpi = PageDpi();
    std::vector<RECT> before;
    for (int row = 0; row < kInstallLayoutRowCount; ++row)
        before.push_back(RectIn(window_->ControlOfRow(row).Handle(), page));
    RECT frameBefore;
    GetWindowRect(page, &frameBefore);

    const DWORD style = DWORD(GetWindowLongW(page, GWL_STYLE)), exStyle = DWORD(GetWindowLongW(page, GWL_EXSTYLE));
    // Sizes that fit the test display (a larger page would be cut to it).
    for (int other : {144, 120, 96, dpi}) {
        const std::string where = " at " + std::to_string(other) + " DPI";
        // The size the page asks for at the new DPI.
        SIZE asked = {0, 0};
        ASSERT_EQ(SendMessageW(page, WM_GETDPISCALEDSIZE, WPARAM(other), LPARAM(&asked)), 1) << where;
        RECT wanted = {0, 0, ScaleToDpi(715, other), ScaleToDpi(574, other)};
        ASSERT_TRUE(AdjustWindowRectForDpi(wanted, style, exStyle, other));
        EXPECT_EQ(asked.cx, wanted.right - wanted.left) << where;
        EXPECT_EQ(asked.cy, wanted.bottom - wanted.top) << where;

        // The suggested rectangle, with the frame this display really draws.
        RECT suggested = {0, 0, ScaleToDpi(715, other), ScaleToDpi(574, other)};
        ASSERT_TRUE(AdjustWindowRectForDpi(suggested, style, exStyle, dpi));
        OffsetRect(&suggested, 20 - suggested.left, 10 - suggested.top);
        SendMessageW(page, WM_DPICHANGED, MAKEWPARAM(other, other), LPARAM(&suggested));
        Pump();
        EXPECT_EQ(window_->Dpi(), other) << where;
        RECT frame, client;
        GetWindowRect(page, &frame);
        GetClientRect(page, &client);
        EXPECT_EQ(frame.left, 20) << where;
        EXPECT_EQ(frame.top, 10) << where;
        EXPECT_EQ(client.right, ScaleToDpi(715, other)) << where;
        EXPECT_EQ(client.bottom, ScaleToDpi(574, other)) << where;
        EXPECT_EQ(RectIn(Item(kIdCancel), page).top, ScaleToDpi(515, other)) << where;
        EXPECT_EQ(RectIn(Item(kIdCancel), page).right, ScaleToDpi(695, other)) << where;
        EXPECT_EQ(RectIn(Item(kIdLocationEdit), page).bottom, ScaleToDpi(354, other)) << where;
        LOGFONTA lf;
        ASSERT_TRUE(GetObjectA(window_->FontOfRow(kRowTitle), sizeof lf, &lf));
        EXPECT_EQ(lf.lfHeight, ScaleToDpi(ScaledFontHeight(SelectInterfaceFont(), 28), other)) << where;
        // The controls took the new fonts.
        EXPECT_EQ(HFONT(SendMessageW(window_->ControlOfRow(kRowLanguagePrompt).Handle(), WM_GETFONT, 0, 0)),
                  window_->FontOfRow(kRowLanguagePrompt))
            << where;
        ASSERT_TRUE(ChooseLanguage(4));
        ExpectEveryTextFits(" in de" + where);
        ASSERT_TRUE(ChooseLanguage(0));
    }
    // Back at the first DPI: the page as it was built.
    for (int row = 0; row < kInstallLayoutRowCount; ++row) {
        RECT r = RectIn(window_->ControlOfRow(row).Handle(), page);
        EXPECT_TRUE(EqualRect(&r, &before[size_t(row)])) << "row " << row;
    }
}

TEST_F(InstallWindow, TheAgreementLinkShowsTheHandAndIsBlueOnThePage) {
    Build();
    HWND page = window_->Handle();
    HWND link = Item(kIdAgreementLink);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageW(page, WM_SETCURSOR, WPARAM(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
    HCURSOR hand = GetCursor();
    EXPECT_NE(hand, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_NE(hand, nullptr);

    HDC dc = GetDC(page);
    SetTextColor(dc, 0);
    HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(page, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(link)));
    EXPECT_EQ(GetTextColor(dc), COLORREF(0xFF0000));
    EXPECT_EQ(GetBkColor(dc), COLORREF(0xF4F4F4));
    LOGBRUSH lb;
    ASSERT_TRUE(GetObjectW(brush, sizeof lb, &lb));
    EXPECT_EQ(lb.lbColor, COLORREF(0xF4F4F4));
    // The installing label lies on the bottom bar.
    brush = reinterpret_cast<HBRUSH>(SendMessageW(page, WM_CTLCOLORSTATIC, WPARAM(dc),
                                                  LPARAM(window_->ControlOfRow(kRowInstalling).Handle())));
    ASSERT_TRUE(GetObjectW(brush, sizeof lb, &lb));
    EXPECT_EQ(lb.lbColor, COLORREF(0xD0D0D0));
    EXPECT_EQ(GetBkColor(dc), COLORREF(0xD0D0D0));
    ReleaseDC(page, dc);
}

// Elevated, the agreement's link hands the licence terms to the desktop's
// shell, so that the browser runs as the user who owns the desktop, not with
// the installer's token; the page does not open them itself as well.
TEST_F(InstallWindow, AnElevatedPageOpensTheLicenceTermsThroughTheDesktopShell) {
    Build();
    StandInDesktopShell shell;
    window_->SetDesktopShell(&shell);
    window_->Options().runsElevated = 1;
    SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(kIdAgreementLink, STN_CLICKED),
                 LPARAM(Item(kIdAgreementLink)));
    const std::vector<StandInDesktopShell::Request> asked = shell.Requests();
    window_->SetDesktopShell(nullptr);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].file, TermsOfServiceAddress("https://www.morvandite.com", CurrentLocale).text());
    EXPECT_EQ(asked[0].arguments, "");
    EXPECT_EQ(asked[0].folder, "");
}

TEST_F(InstallWindow, ProgressCodesMoveTheBarAndSuccessQuitsWithZero) {
    Build();
    auto& bar = static_cast<MyProgressBar&>(window_->ControlOfRow(kRowProgress));
    SendMessageW(window_->Handle(), WM_INSTALL_STATUS, 42, 0);
    EXPECT_EQ(bar.Percentage(), 42);
    SendMessageW(window_->Handle(), WM_INSTALL_STATUS, 150, 0);
    EXPECT_EQ(bar.Percentage(), 100);
    SendMessageW(window_->Handle(), WM_INSTALL_STATUS, 0, 0);
    EXPECT_EQ(bar.Percentage(), 0);
    SendMessageW(window_->Handle(), WM_INSTALL_STATUS, WPARAM(-2), 0);
    SendMessageW(window_->Handle(), WM_INSTALL_STATUS, WPARAM(-9), 0);
    EXPECT_FALSE(Pump());
    SendMessageW(window_->Handle(), WM_INSTALL_STATUS, 1000, 0);
    EXPECT_EQ(bar.Percentage(), 0);  // success is no progress figure
    EXPECT_TRUE(Pump());
    EXPECT_EQ(quitCode, 0);
}

TEST_F(InstallWindow, AWorkerErrorWithoutItsTextIsLoggedAndHandled) {
    std::string folder = ScratchFolder("installer-window-log");
    Build();
    CapturedLog log(folder);
    EXPECT_EQ(SendMessageW(window_->Handle(), WM_INSTALL_STATUS, WPARAM(-5), 0), 1);
    EXPECT_TRUE(log.Has("Error in main loop")) << log.Text();
    EXPECT_FALSE(Pump());
}

// The page takes new fonts on a DPI change; a question open over it still
// draws with the ones it was given, which must outlive the change.
TEST_F(InstallWindow, ADpiChangeWhileAQuestionIsOpenLeavesTheQuestionItsFonts) {
    Build();
    HWND page = window_->Handle();
    const int other = window_->Dpi() == 96 ? 120 : 96;
    std::atomic<DWORD> before{0}, after{0};
    BoxAnswer answer(0, [&](HWND box) {
        HFONT font = HFONT(SendMessageW(GetDlgItem(box, 6), WM_GETFONT, 0, 0));
        before = GetObjectType(font);
        RECT frame;
        GetWindowRect(page, &frame);
        SendMessageW(page, WM_DPICHANGED, MAKEWPARAM(other, other), LPARAM(&frame));
        after = GetObjectType(font);
        PostMessageW(box, WM_COMMAND, 6, 0);
    });
    window_->ConfirmCancel();
    answer.Join();
    ASSERT_TRUE(answer.found);
    EXPECT_EQ(window_->Dpi(), other);
    EXPECT_EQ(before.load(), DWORD(OBJ_FONT));
    EXPECT_EQ(after.load(), DWORD(OBJ_FONT)) << "the question's font was deleted under it";
}

TEST_F(InstallWindow, TheCancelQuestionResumesOrQuitsWithMinusOne) {
    Build();
    {
        const std::string shot = "question-" + std::to_string(PageDpi());
        BoxAnswer answer(6, nullptr, [shot](HWND box) { KeepScreenshot(box, shot); });  // Resume
        window_->ConfirmCancel();
        answer.Join();
        ASSERT_TRUE(answer.found);
        PWString caption;
        ToWide(caption, MsgString(TXTINS_Installing_N0, window_->Options().displayName.text()).text(),
               &PStringXEncoding);
        caption.terminate();
        EXPECT_EQ(answer.seen.caption, std::wstring(caption.wide()));
        // The box takes its owner's display DPI, even where the page itself
        // had to be laid out smaller to fit the screen: the box always fits.
        const int dpi = WindowDpi(window_->Handle());
        EXPECT_EQ(answer.seen.window.right - answer.seen.window.left, ScaleToDpi(394, dpi));
        EXPECT_EQ(answer.seen.window.bottom - answer.seen.window.top, ScaleToDpi(212, dpi));
        // Its buttons are 140 pixels wide at 96 DPI, 10 apart about its centre.
        EXPECT_EQ(answer.buttons[0].right - answer.buttons[0].left, ScaleToDpi(140, dpi));
        EXPECT_EQ(answer.buttons[1].right - answer.buttons[1].left, ScaleToDpi(140, dpi));
        EXPECT_EQ(answer.buttons[1].left - answer.buttons[0].right, 2 * ScaleToDpi(5, dpi));
        EXPECT_EQ(answer.buttons[0].bottom - answer.buttons[0].top, ScaleToDpi(34, dpi));
    }
    EXPECT_FALSE(Pump());
    EXPECT_TRUE(IsWindow(window_->Handle()));
    {
        BoxAnswer answer(8);  // the box's close box is Resume too
        window_->ConfirmCancel();
    }
    EXPECT_FALSE(Pump());
    {
        // The window's own close box asks the same question.
        BoxAnswer answer(7);
        SendMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    }
    EXPECT_TRUE(IsWindow(window_->Handle()));
    EXPECT_TRUE(Pump());
    EXPECT_EQ(quitCode, -1);
}

TEST_F(InstallWindow, SuccessArrivingWhileTheQuestionIsOpenStillEndsTheRun) {
    Build();
    HWND page = window_->Handle();
    BoxAnswer answer(0, [page](HWND) { PostMessageW(page, WM_INSTALL_STATUS, 1000, 0); });
    window_->ConfirmCancel();
    answer.Join();
    ASSERT_TRUE(answer.found);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(quitCode, 0);
}

// A registration failure ends the run: after its box the page is usable
// again (it used to stay on "Installing..." with a frozen bar).
TEST_F(InstallWindow, RegistryFailureReturnsThePageToChoosing) {
    Build();
    // The page as the installing state shows it.
    window_->ControlOfRow(kRowInstall).SetVisible(false);
    window_->ControlOfRow(kRowInstalling).SetVisible(true);
    window_->ControlOfRow(kRowProgress).SetVisible(true);
    {
        BoxAnswer answer(6);
        window_->OnWorkerMessage(WPARAM(kInstallRegistryError), 0);
        answer.Join();
        EXPECT_TRUE(answer.found);
    }
    EXPECT_TRUE(IsWindowVisible(Item(kIdInstall)));
    EXPECT_FALSE(IsWindowVisible(Item(kIdProgress)));
    EXPECT_TRUE(IsWindowEnabled(Item(kIdLocationEdit)));
}

TEST_F(InstallWindow, CancelWhileInstallingHoldsTheWorkerAndStopsIt) {
    std::string folder = ScratchFolder("installer-window-cancel") + "\\Morvandite";
    Build("-nolaunch");
    EXPECT_EQ(window_->Options().launchAfterInstall, 0);
    window_->ControlOfRow(kRowLocationEdit).SetText(folder.c_str());
    SendMessageW(Item(kIdAgreement), BM_CLICK, 0, 0);
    window_->StartInstall();
    ASSERT_TRUE(window_->Worker().IsRunning());
    EXPECT_FALSE(IsWindowVisible(Item(kIdInstall)));
    EXPECT_TRUE(IsWindowVisible(Item(kIdProgress)));
    EXPECT_FALSE(IsWindowEnabled(Item(kIdLocationEdit)));
    EXPECT_STREQ(window_->Options().installFolder.text(), folder.c_str());

    std::atomic<int32_t> stateWhileAsked{-1};
    InstallerWorkerThread* worker = &window_->Worker();
    BoxAnswer answer(0, [&](HWND box) {
        stateWhileAsked = worker->RunState();
        PostMessageW(box, WM_COMMAND, 7, 0);
    });
    window_->ConfirmCancel();
    answer.Join();
    EXPECT_EQ(stateWhileAsked.load(), int32_t(kRunStatePaused));
    EXPECT_FALSE(window_->Worker().IsRunning());
    EXPECT_TRUE(Pump());
    EXPECT_EQ(quitCode, -1);
    // Rolled back: the folder it made is gone, its log kept in the temporary folder.
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    std::string log = ReadWholeFile(std::string(temp) + window_->Options().displayName.text() + " Install.log");
    EXPECT_NE(log.find("Install canceled by user."), std::string::npos) << log;
    EXPECT_NE(log.find("Rolling back the installation"), std::string::npos) << log;
    EXPECT_EQ(log.find("Install finished"), std::string::npos) << log;
}

}  // namespace
