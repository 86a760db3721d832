// A whole installation whose folders and names lie outside code page 1252,
// in both forced modes, then the installed uninstaller removing it: the
// payload's accented names (code page 1252 in the archive), the install
// folder, the uninstall entry, the shortcuts and the settings files, every one
// read back through the wide system functions.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "InstallerThread.h"
#include "inixor.h"
#include "pencoding.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "sharednames.h"
#include "process_windows.h"
#include "test_paths.h"

namespace {

const wchar_t kDisplayName[] = L"Morvandite Caf\u00E9 Test";
const std::wstring kUninstallKeyText = std::wstring(SharedNames::kUninstallRoot.wide) + L"Morvandite Caf\u00E9 Test";
const wchar_t* const kUninstallKey = kUninstallKeyText.c_str();
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kWorkFolder[] = L"MorvanditeUnicodeTest";
// The folder of the issue: Cyrillic, Japanese and Greek, its parent missing.
const wchar_t kUnicodeFolder[] = L"C:\\\u0418\u0433\u0440\u044B \u65E5\u672C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1\\Morvandite";
// What code page 1252 can hold, for the A functions.
const wchar_t kAnsiFolder[] = L"C:\\Caf\u00E9 \u00DCber \u00D1\\Morvandite";
// A profile whose path holds Cyrillic.
const wchar_t kProfileAppData[] = L"C:\\users\\\u0422\u0435\u0441\u0442\u043E\u0432\u044B\u0439 \u0418\u0433\u0440\u043E\u043A\\Local";

// The payload's files (tests/windows/data/unicode-payload.cmake) by their wide names.
const wchar_t* const kPayloadFiles[] = {
    L"Donn\u00E9es\\Caf\u00E9 \u00DCber.txt",
    L"Donn\u00E9es\\Th\u00E8mes\\th\u00E8mes \u00C0\u00C9\u00CE\u00D5\u00DC.ini",
    L"\u20ACuro \u00D1 \u00BD \u2122 \u0153.dat",
    L"readme.txt",
    L"MorvanditeUpdate.exe",
    L"Tracer.exe",
    L"MorvanditeUninstall.exe",
    L"uninstall.lst",
};

PString X(const std::wstring& w) {
    PString s;
    FromWide(s, w.c_str(), &PStringXEncoding);
    return s;
}

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(n ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    return w;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadWide(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got)
        bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

// Removes a folder tree by its wide name.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = d.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &d));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring MachineValue(const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    wchar_t value[2048] = L"";
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? std::wstring(value) : std::wstring(L"<no value>");
}

// The target (and arguments) of a shell link, through IShellLinkW. The
// target comes from the link's item list: Wine's GetPath answers from the
// link's ANSI path field, which holds only what code page 1252 can.
std::wstring LinkTarget(const std::wstring& link, std::wstring* arguments = nullptr) {
    IShellLinkW* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell))))
        return L"<no shell link object>";
    IPersistFile* file = nullptr;
    shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    std::wstring target = L"<not loaded>";
    if (file && SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
        wchar_t buf[MAX_PATH] = L"";
        LPITEMIDLIST list = nullptr;
        if (SUCCEEDED(shell->GetIDList(&list)) && list) {
            if (!SHGetPathFromIDListW(list, buf))
                buf[0] = 0;
            CoTaskMemFree(list);
        }
        if (!buf[0])
            shell->GetPath(buf, MAX_PATH, nullptr, 0);
        target = buf;
        if (arguments) {
            wchar_t args[MAX_PATH] = L"";
            shell->GetArguments(args, MAX_PATH);
            *arguments = args;
        }
    }
    if (file)
        file->Release();
    shell->Release();
    return target;
}

std::string Narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

// Parameter: the forced mode (1 wide, -1 ANSI).
class UnicodeInstall : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadMessageTable());
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    static void TearDownTestSuite() { SetWideApiMode(0); }

    void SetUp() override {
        SetWideApiMode(GetParam());
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        scratch_ = Wide(ScratchFolder(std::string("worker-unicode-") + (GetParam() > 0 ? "wide" : "ansi")));
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
        RemoveTree(L"C:\\\u0418\u0433\u0440\u044B \u65E5\u672C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1");
        RemoveTree(L"C:\\Caf\u00E9 \u00DCber \u00D1");
        RemoveTree(kProfileAppData);
        // The shell takes the local application data folder from here.
        HKEY key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        wchar_t old[1024] = L"";
        DWORD size = sizeof old - sizeof(wchar_t);
        hadAppData_ = RegQueryValueExW(key, L"Local AppData", nullptr, &oldType_, reinterpret_cast<BYTE*>(old),
                                       &size) == ERROR_SUCCESS;
        oldAppData_ = old;
        RegSetValueExW(key, L"Local AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(kProfileAppData),
                       DWORD((wcslen(kProfileAppData) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void TearDown() override {
        DestroyWindow(window_);
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            if (hadAppData_)
                RegSetValueExW(key, L"Local AppData", 0, oldType_, reinterpret_cast<const BYTE*>(oldAppData_.c_str()),
                               DWORD((oldAppData_.size() + 1) * sizeof(wchar_t)));
            else
                RegDeleteValueW(key, L"Local AppData");
            RegCloseKey(key);
        }
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
        SetWideApiMode(GetParam());
    }

    InstallOptions Options(const std::wstring& folder) {
        InstallOptions o;
        o.productName = X(L"Morvandite \u00C9preuve");
        o.displayName = X(kDisplayName);
        o.workFolderName = X(kWorkFolder);
        o.iconPath = "readme.txt";
        o.trackingInfo = "SRC=unicode-test\n";
        o.useLocalAppData = 1;
        o.overrideUserIni = 1;
        o.launchAfterInstall = 0;
        o.allUsers = 0;
        o.browserButton = 0;
        o.hasAdminRights = 1;
        o.legacyWindows = 0;
        o.installFolder = X(folder);
        for (const wchar_t* f : {L"\\Programs", L"\\Desktop", L"\\StartMenu", L"\\QuickLaunch"})
            CreateDirectoryW((scratch_ + f).c_str(), nullptr);
        o.programsFolder = X(scratch_ + L"\\Programs");
        o.desktopFolder = X(scratch_ + L"\\Desktop");
        o.startMenuFolder = X(scratch_ + L"\\StartMenu");
        o.quickLaunchFolder = X(scratch_ + L"\\QuickLaunch");
        return o;
    }

    // Runs the worker to its completion; the completion code and, for -5, its text.
    int32_t Install(const InstallOptions& o, std::string* text) {
        InstallerWorkerThread worker;
        if (!worker.Start(o, window_, WM_INSTALL_STATUS))
            return 0;
        int32_t code = 0;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
            MSG msg;
            if (PeekMessageW(&msg, window_, WM_INSTALL_STATUS, WM_INSTALL_STATUS, PM_REMOVE)) {
                int32_t c = int32_t(msg.wParam);
                if (c == -5 && msg.lParam) {
                    PString* t = reinterpret_cast<PString*>(msg.lParam);
                    PWString w;
                    ToWide(w, t->text(), &PStringXEncoding);
                    w.terminate();
                    *text = Narrow(w.wide());
                    delete t;
                }
                if (c == 1000 || (c < 0 && c >= -5)) {
                    code = c;
                    break;
                }
                continue;
            }
            Sleep(10);
        }
        worker.WaitUntilEnded();
        return code;
    }

    // Everything one installation must leave, read back through the wide functions.
    void ExpectInstalled(const std::wstring& folder, const std::wstring& settingsFolder) {
        const std::wstring source = Wide(BinaryPath("generated/worker-unicode-payload"));
        for (const wchar_t* f : kPayloadFiles)
            EXPECT_EQ(ReadWide(folder + L"\\" + f), ReadWide(source + L"\\" + f)) << Narrow(f);
        EXPECT_NE(ReadWide(folder + L"\\" + SharedNames::kInstallLogFile.wide), "<missing>");

        const std::wstring uninstaller = folder + L"\\" + SharedNames::kUninstallerFile.wide;
        EXPECT_EQ(MachineValue(SharedNames::kInstallLocationValue.wide), folder);
        EXPECT_EQ(MachineValue(L"DisplayIcon"), L"\"" + uninstaller + L"\"");
        EXPECT_EQ(MachineValue(L"UninstallString"), L"\"" + uninstaller + L"\" /u:" + kDisplayName);

        const std::wstring group = scratch_ + L"\\Programs\\Morvandite \u00C9preuve";
        EXPECT_EQ(MachineValue(SharedNames::kStartMenuGroupValue.wide), group);
        EXPECT_EQ(LinkTarget(group + L"\\" + kDisplayName + L".lnk"), folder + L"\\MorvanditeUpdate.exe");
        EXPECT_EQ(LinkTarget(scratch_ + L"\\Desktop\\" + kDisplayName + L".lnk"), folder + L"\\MorvanditeUpdate.exe");
        std::wstring arguments;
        EXPECT_EQ(LinkTarget(folder + L"\\Uninstall " + kDisplayName + L".lnk", &arguments), uninstaller);
        EXPECT_EQ(arguments, std::wstring(L"/u:") + kDisplayName);

        std::string tinfo = ReadWide(folder + L"\\" + SharedNames::kTrackingFile.wide);
        _PBlock block;
        memcpy(block.alloc(uint32_t(tinfo.size())), tinfo.data(), tinfo.size());
        ScrambleBlock(block);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.ptr()), block.size()).rfind("SRC=unicode-test\nITS=", 0),
                  0u);

        EncIniFile ini;
        ini.Load(X(settingsFolder + L"\\" + SharedNames::kUserSettingsFile.wide).text(), &PStringXEncoding);
        ASSERT_NE(ini.FindSection("Options"), nullptr) << Narrow(settingsFolder);
        EXPECT_NE(ini.FindSection("Installer"), nullptr);
    }

    // The installed uninstaller, quietly: exit code 0 and nothing of the installation left.
    void UninstallAndExpectNothingLeft(const std::wstring& folder, const std::wstring& settingsFolder) {
        DWORD code = RunAndWait(L"\"" + folder + L"\\MorvanditeUninstall.exe\" /u:\"" + kDisplayName + L"\" /quiet");
        EXPECT_EQ(code, 0u);
        for (int i = 0; i < 100 && Exists(folder); ++i)
            Sleep(100);  // the uninstaller removes its own file after it has ended
        for (const wchar_t* f : kPayloadFiles)
            EXPECT_FALSE(Exists(folder + L"\\" + f)) << Narrow(f);
        EXPECT_FALSE(Exists(folder + L"\\" + SharedNames::kInstallLogFile.wide));
        EXPECT_FALSE(Exists(folder + L"\\" + SharedNames::kTrackingFile.wide));
        EXPECT_FALSE(Exists(scratch_ + L"\\Desktop\\" + kDisplayName + L".lnk"));
        EXPECT_FALSE(Exists(scratch_ + L"\\Programs\\Morvandite \u00C9preuve"));
        EXPECT_EQ(MachineValue(SharedNames::kInstallLocationValue.wide), L"<no key>");
        // The user's settings stay, as the uninstaller promises.
        EXPECT_TRUE(Exists(settingsFolder + L"\\" + SharedNames::kUserSettingsFile.wide));
    }

    HWND window_ = nullptr;
    std::wstring scratch_;
    bool hadAppData_ = false;
    DWORD oldType_ = REG_EXPAND_SZ;
    std::wstring oldAppData_;
};

TEST_P(UnicodeInstall, AccentedNamesIntoTheWidestFolderThenUninstalled) {
    std::string text;
    const std::wstring folder = kUnicodeFolder;
    int32_t code = Install(Options(folder), &text);
    if (GetParam() < 0) {
        // The ANSI code page (1252 here) cannot name this folder: refused
        // before anything is created, instead of installing under '?' names.
        EXPECT_EQ(code, -5);
        EXPECT_NE(text.find("Cannot create folder"), std::string::npos) << text;
        EXPECT_FALSE(Exists(L"C:\\\u0418\u0433\u0440\u044B \u65E5\u672C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1"));
        EXPECT_FALSE(Exists(L"C:\\???? ?? ??????"));
        EXPECT_EQ(MachineValue(SharedNames::kInstallLocationValue.wide), L"<no key>");
        return;
    }
    ASSERT_EQ(code, 1000) << text;
    const std::wstring settings = std::wstring(kProfileAppData) + L"\\" + kWorkFolder;
    ExpectInstalled(folder, settings);
    UninstallAndExpectNothingLeft(folder, settings);
}

TEST_P(UnicodeInstall, AccentedNamesIntoACodePage1252FolderThenUninstalled) {
    std::string text;
    const std::wstring folder = kAnsiFolder;
    ASSERT_EQ(Install(Options(folder), &text), 1000) << text;
    // In ANSI mode the A functions cannot name the Cyrillic profile folder:
    // user.ini goes to the install folder instead of a '?' path.
    const std::wstring settings =
        GetParam() > 0 ? std::wstring(kProfileAppData) + L"\\" + kWorkFolder : folder;
    ExpectInstalled(folder, settings);
    UninstallAndExpectNothingLeft(folder, settings);
}

// With a Russian ANSI code page (1251) the A functions can name a Cyrillic
// profile: the settings go there, its path taken from the code page rather
// than its bytes read as code page 1252. Run by wine.worker_unicode_test_cp1251.
TEST_P(UnicodeInstall, CodePage1251ProfileFolderTakesTheSettingsInAnsiMode) {
    if (GetParam() > 0 || GetACP() != 1251)
        GTEST_SKIP() << "ANSI mode with the ANSI code page 1251 (LANG=ru_RU.UTF-8)";
    const std::wstring parent = L"C:\\\u0418\u0433\u0440\u044B 1251";
    const std::wstring folder = parent + L"\\Morvandite";
    RemoveTree(parent);
    CreateDirectoryW(parent.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    InstallerWorkerThread worker;
    ASSERT_TRUE(worker.SetOptions(Options(folder)));
    worker.WriteUserSettings();
    EXPECT_TRUE(Exists(std::wstring(kProfileAppData) + L"\\" + kWorkFolder + L"\\" + SharedNames::kUserSettingsFile.wide));
    EXPECT_FALSE(Exists(folder + L"\\" + SharedNames::kUserSettingsFile.wide));
    RemoveTree(parent);
}

INSTANTIATE_TEST_SUITE_P(Modes, UnicodeInstall, ::testing::Values(1, -1),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param > 0 ? "Wide" : "Ansi"; });

}  // namespace
