// The wide/ANSI system-call wrappers under Wine, each case in both forced
// modes: registry strings, shell links, program resources, window texts,
// detached processes, shell execution and the environment facts.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "payloadresource.h"
#include "payloadfilesource.h"
#include "pencoding.h"
#include "perror.h"
#include "psyscalls.h"
#include "pwindowsversion.h"
#include "test_paths.h"

namespace {

// ---- The child process: this executable run again with --syscalls-child ----

const wchar_t kChildSwitch[] = L"--syscalls-child=\"";

// Writes the child's command line and current folder (UTF-16, one per line)
// to the file named after the switch, then ends the process before any test runs.
struct ChildMode {
    ChildMode() {
        const wchar_t* line = GetCommandLineW();
        const wchar_t* at = wcsstr(line, kChildSwitch);
        if (!at)
            return;
        std::wstring report(at + wcslen(kChildSwitch));
        report = report.substr(0, report.find(L'"'));
        wchar_t folder[MAX_PATH * 2] = {0};
        GetCurrentDirectoryW(MAX_PATH * 2, folder);
        std::wstring text = std::wstring(line) + L"\n" + folder + L"\n";
        HANDLE f = CreateFileW(report.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (f != INVALID_HANDLE_VALUE) {
            WriteFile(f, text.data(), DWORD(text.size() * 2), &written, nullptr);
            CloseHandle(f);
        }
        ExitProcess(f == INVALID_HANDLE_VALUE ? 3 : 0);
    }
} g_childMode;

// ---- Helpers ----------------------------------------------------------------

std::wstring W(const char* pstringx) {
    PWString w;
    ToWide(w, pstringx, &PStringXEncoding);
    w.terminate();
    return std::wstring(w.wide());
}

std::string Bytes(const PString& s) { return std::string(s.text()); }

// A PStringX path: a narrow path plus a PStringX tail (marker first when UTF-8).
PString Join(const std::string& ascii, const char* tail) {
    PString s(ascii.c_str());
    AppendText(s, tail);
    return s;
}

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return L"<missing>";
    std::wstring text(GetFileSize(f, nullptr) / 2, L'\0');
    DWORD read = 0;
    ReadFile(f, &text[0], DWORD(text.size() * 2), &read, nullptr);
    CloseHandle(f);
    return text;
}

void DeleteKeyTree(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof name;
        if (RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& c : children)
        DeleteKeyTree(root, path + "\\" + c);
    RegDeleteKeyA(root, path.c_str());
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring StoredWideValue(HKEY root, const std::string& path, const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    wchar_t data[256] = {0};
    DWORD size = sizeof data - 2, type = 0;
    LONG r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_SZ ? std::wstring(data) : L"<no value>";
}

// What the test window saw of the last text message sent to it.
struct Seen {
    UINT message = 0;
    WPARAM wParam = 0;
    std::wstring wide;
    std::string ansi;
    int appMessages = 0;
} g_seen;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CB_ADDSTRING || message == BFFM_SETSELECTIONA || message == BFFM_SETSELECTIONW) {
        g_seen.message = message;
        g_seen.wParam = wParam;
        if (IsWindowUnicode(window))
            g_seen.wide = reinterpret_cast<const wchar_t*>(lParam);
        else
            g_seen.ansi = reinterpret_cast<const char*>(lParam);
        return 7;
    }
    if (message == WM_APP) {
        ++g_seen.appMessages;
        return 0;
    }
    return PDefWindowProc(window, message, wParam, lParam);
}

// ---- Fixture: every case in the forced wide and the forced ANSI mode ------------

class SysCalls : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        SetWideApiMode(GetParam());
        g_seen = Seen();
    }
    void TearDown() override { SetWideApiMode(0); }

    bool wide() const { return GetParam() > 0; }
    std::string mode() const { return wide() ? "Wide" : "Ansi"; }
    std::string testKey() const {
        return "Software\\MorvanditeTests\\Syscalls" + std::to_string(GetCurrentProcessId()) + mode();
    }
    // A window of this mode's kind that no display is needed for.
    HWND MakeWindow(const wchar_t* title) {
        const wchar_t* cls = wide() ? L"MvSysCallsTestW" : L"MvSysCallsTestA";
        PRegisterClassEx(cls, 0, TestWindowProc, GetModuleHandleW(nullptr), nullptr, nullptr, nullptr);
        return PCreateWindowEx(0, cls, title, 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                               nullptr);
    }
    PString OwnPath() {
        PString exe;
        PGetModuleFileName(nullptr, exe, &PStringXEncoding);
        return exe;
    }
};

INSTANTIATE_TEST_SUITE_P(Modes, SysCalls, ::testing::Values(1, -1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param > 0 ? "Wide" : "Ansi");
                         });

// ---- Mode ---------------------------------------------------------------------

TEST(WideApiMode, OverrideDecidesOtherwiseTheNtFamily) {
    SetWideApiMode(0);
    EXPECT_EQ(UseWideApi(), (GetVersion() & 0x80000000u) == 0);
    EXPECT_TRUE(UseWideApi());  // Wine presents itself as NT
    SetWideApiMode(5);
    EXPECT_TRUE(UseWideApi());
    SetWideApiMode(-3);
    EXPECT_FALSE(UseWideApi());
    EXPECT_EQ(WideApiMode(), -3);
    SetWideApiMode(0);
}

TEST(WideApiMode, ShellFunctionsAreLoadedOnlyInWideMode) {
    SetWideApiMode(-1);
    EXPECT_FALSE(LoadShellFunctions());
    EXPECT_EQ(ShellBrowseForFolderW(), nullptr);
    SetWideApiMode(1);
    EXPECT_TRUE(LoadShellFunctions());
    HMODULE shell = GetModuleHandleA("shell32.dll");
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(ShellBrowseForFolderW()),
              reinterpret_cast<void*>(GetProcAddress(shell, "SHBrowseForFolderW")));
    EXPECT_EQ(reinterpret_cast<void*>(ShellGetPathFromIDListW()),
              reinterpret_cast<void*>(GetProcAddress(shell, "SHGetPathFromIDListW")));
    EXPECT_TRUE(LoadShellFunctions());  // again: nothing changes
    SetWideApiMode(0);
}

// ---- Registry -------------------------------------------------------------------

TEST_P(SysCalls, RegistryStringRoundTripCreatesAChainOfMissingKeys) {
    std::string base = testKey();
    DeleteKeyTree(HKEY_CURRENT_USER, base);
    std::string path = base + "\\One\\Two\\Three";
    // Code page 1252 text in both modes; a Cyrillic letter in wide mode only.
    const char* text = wide() ? "\x10" "Caf\xC3\xA9 \xE2\x82\xAC \xD0\x96" : "Caf\xE9 \x80";
    int flag = 0;
    EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, path.c_str(), "Value", text, flag));
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base + "\\One"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base + "\\One\\Two"));
    EXPECT_EQ(StoredWideValue(HKEY_CURRENT_USER, path, L"Value"), wide() ? L"Caf\xE9 \x20AC \x416" : L"Caf\xE9 \x20AC");

    PString back;
    ReadRegistryString(HKEY_CURRENT_USER, path.c_str(), "Value", back);
    EXPECT_EQ(Bytes(back), text);

    // Through the ANSI functions a character the code page lacks is lost.
    if (!wide()) {
        ASSERT_EQ(GetACP(), 1252u);
        EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, path.c_str(), "Cyrillic", "\x10\xD0\x96", flag));
        EXPECT_EQ(StoredWideValue(HKEY_CURRENT_USER, path, L"Cyrillic"), L"?");
    }
    DeleteKeyTree(HKEY_CURRENT_USER, base);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, base));
}

// Key paths are texts like any other: a key named with characters outside
// ASCII is the key of those characters, as the wide functions see it.
TEST_P(SysCalls, RegistryKeyPathsAreConvertedLikeEveryOtherText) {
    std::string base = testKey();
    DeleteKeyTree(HKEY_CURRENT_USER, base);
    // Wide mode: a UTF-8-form path (Ключ Café); ANSI mode: what code page 1252 holds (Clé €).
    std::string path = wide() ? "\x10" + base + "\\\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87 Caf\xC3\xA9"
                              : base + "\\Cl\xE9 \x80";
    std::wstring widePath(base.begin(), base.end());
    widePath += wide() ? L"\\\u041A\u043B\u044E\u0447 Caf\u00E9" : L"\\Cl\u00E9 \u20AC";
    int flag = 0;
    EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, path.c_str(), "Value", "v", flag));
    EXPECT_EQ(flag, 0);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, widePath.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    PString back;
    ReadRegistryString(HKEY_CURRENT_USER, path.c_str(), "Value", back);
    EXPECT_EQ(Bytes(back), "v");
    PString machine;
    EXPECT_FALSE(ReadMachineString(path.c_str(), "Value", machine));
    HKEY opened = OpenOrCreateRegistryKey(HKEY_CURRENT_USER, path.c_str());
    ASSERT_NE(opened, nullptr);
    RegCloseKey(opened);
    RegDeleteKeyW(HKEY_CURRENT_USER, widePath.c_str());
    DeleteKeyTree(HKEY_CURRENT_USER, base);
}

TEST_P(SysCalls, RegistryQueryLeavesTheStringAloneForOtherTypesAndEmptyValues) {
    std::string base = testKey();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD number = 42;
    ASSERT_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"Empty", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    // Stored without its terminator: must still read as exactly "abc".
    ASSERT_EQ(RegSetValueExW(key, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 6), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(L"%TEMP%\\x"), 18),
              ERROR_SUCCESS);

    PString out("keep");
    EXPECT_EQ(PRegQueryString(key, "Number", out, &PStringXEncoding), ERROR_SUCCESS);
    EXPECT_EQ(PRegQueryString(key, "Empty", out, &PStringXEncoding), ERROR_SUCCESS);
    EXPECT_EQ(PRegQueryString(key, "Missing", out, &PStringXEncoding), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Bytes(out), "keep");
    EXPECT_EQ(PRegQueryString(key, "Bare", out, &PStringXEncoding), ERROR_SUCCESS);
    EXPECT_EQ(Bytes(out), "keepabc");
    PString expand;
    EXPECT_EQ(PRegQueryString(key, "Expand", expand, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Bytes(expand), "%TEMP%\\x");  // returned as stored, not expanded

    // A null name or text writes nothing and is no error.
    EXPECT_EQ(PRegSetString(key, nullptr, "x", &PStringXEncoding), ERROR_SUCCESS);
    EXPECT_EQ(PRegSetString(key, "NoText", nullptr, &PStringXEncoding), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "NoText", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    PString missing("same");
    ReadRegistryString(HKEY_CURRENT_USER, (base + "\\Nowhere").c_str(), "Value", missing);
    EXPECT_EQ(Bytes(missing), "same");
    EXPECT_FALSE(ReadMachineString("Software\\MorvanditeTests\\Nowhere", "Value", missing));
    DeleteKeyTree(HKEY_CURRENT_USER, base);
}

TEST_P(SysCalls, SetRegistryStringSetsTheFailureFlagAndNeverClearsIt) {
    HKEY bogus = reinterpret_cast<HKEY>(uintptr_t(0x7777));
    int flag = 0;
    EXPECT_FALSE(SetRegistryString(bogus, "Software\\X", "Value", "text", flag));
    EXPECT_EQ(flag, 1);
    std::string base = testKey();
    EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, base.c_str(), "Value", "text", flag));
    EXPECT_EQ(flag, 1);  // a later success leaves it set
    int untouched = 0;
    EXPECT_TRUE(SetRegistryString(HKEY_CURRENT_USER, base.c_str(), "Value", "text", untouched));
    EXPECT_EQ(untouched, 0);
    EXPECT_EQ(OpenOrCreateRegistryKey(bogus, "Software\\X\\Y"), nullptr);
    DeleteKeyTree(HKEY_CURRENT_USER, base);
}

TEST_P(SysCalls, ReadMachineStringFindsAKnownValue) {
    PString out;
    EXPECT_TRUE(ReadMachineString("Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", out));
    EXPECT_FALSE(out.empty());
}

// ---- Shell links ------------------------------------------------------------------

struct LinkFields {
    std::wstring path, folder, arguments, icon;
    int iconIndex = -1;
};

LinkFields ReadLink(const std::wstring& file) {
    LinkFields f;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return f;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
            wchar_t buf[MAX_PATH * 2];
            buf[0] = 0;
            link->GetPath(buf, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
            f.path = buf;
            buf[0] = 0;
            link->GetWorkingDirectory(buf, MAX_PATH * 2);
            f.folder = buf;
            buf[0] = 0;
            link->GetArguments(buf, MAX_PATH * 2);
            f.arguments = buf;
            buf[0] = 0;
            link->GetIconLocation(buf, MAX_PATH * 2, &f.iconIndex);
            f.icon = buf;
        }
        persist->Release();
    }
    link->Release();
    return f;
}

TEST_P(SysCalls, ShellLinkKeepsTargetFolderArgumentsAndIconOnlyWhenGiven) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string scratch = ScratchFolder("syscalls-link-" + mode());
    // In wide mode the working folder and the link's name leave the ANSI code page.
    PString folder = Join(scratch, wide() ? "\x10\\\xD0\x96 folder" : "\\folder");
    ASSERT_TRUE(CreateDirectoryW(W(folder.text()).c_str(), nullptr));
    PString exe = OwnPath();

    PString withIcon = Join(scratch, "\x10\\\xD0\x96 icon.lnk");
    EXPECT_EQ(CreateShellLink(&PStringXEncoding, exe.text(), withIcon.text(), folder.text(), "-a \"b c\"",
                              exe.text(), 3),
              S_OK);
    LinkFields f = ReadLink(W(withIcon.text()));
    EXPECT_EQ(lstrcmpiW(f.path.c_str(), W(exe.text()).c_str()), 0) << "path";
    EXPECT_EQ(f.folder, W(folder.text()));
    EXPECT_EQ(f.arguments, L"-a \"b c\"");
    EXPECT_EQ(lstrcmpiW(f.icon.c_str(), W(exe.text()).c_str()), 0) << "icon";
    EXPECT_EQ(f.iconIndex, 3);

    PString plain = Join(scratch, "\\plain.lnk");
    EXPECT_EQ(CreateShellLink(&PStringXEncoding, exe.text(), plain.text(), folder.text(), nullptr, nullptr, 5), S_OK);
    f = ReadLink(W(plain.text()));
    EXPECT_EQ(lstrcmpiW(f.path.c_str(), W(exe.text()).c_str()), 0);
    EXPECT_EQ(f.arguments, L"");
    EXPECT_EQ(f.icon, L"");

    PString emptyIcon = Join(scratch, "\\empty icon.lnk");
    EXPECT_EQ(CreateShellLink(&PStringXEncoding, exe.text(), emptyIcon.text(), folder.text(), "", "", 5), S_OK);
    EXPECT_EQ(ReadLink(W(emptyIcon.text())).icon, L"");

    // A link that cannot be saved reports the failure.
    PString nowhere = Join(scratch, "\\no such folder\\x.lnk");
    EXPECT_TRUE(FAILED(CreateShellLink(&PStringXEncoding, exe.text(), nowhere.text(), folder.text(), nullptr,
                                       nullptr, 0)));
    CoUninitialize();
}

// ---- Windows and their texts ------------------------------------------------------

TEST_P(SysCalls, WindowTitleOutsideTheAnsiCodePage) {
    ASSERT_EQ(GetACP(), 1252u);
    HWND window = MakeWindow(L"\x416\x65E5x");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(IsWindowUnicode(window) != FALSE, wide());
    wchar_t title[32] = {0};
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, wide() ? L"\x416\x65E5x" : L"??x");

    PString text("old");
    EXPECT_EQ(PGetWindowText(window, text, &PStringXEncoding, false), wide() ? 7 : 3);  // bytes
    EXPECT_EQ(Bytes(text), wide() ? "\x10\xD0\x96\xE6\x97\xA5x" : "??x");

    EXPECT_TRUE(PSetWindowText(window, "\x10\xD0\x96 \xC3\xA9\nb", &PStringXEncoding, true));
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, wide() ? L"\x416 \xE9\r\nb" : L"? \xE9\r\nb");
    PGetWindowText(window, text, &PStringXEncoding, true);
    EXPECT_EQ(Bytes(text), wide() ? "\x10\xD0\x96 \xC3\xA9\nb" : "? \xE9\nb");
    PGetWindowText(window, text, &PStringXEncoding, false);
    EXPECT_EQ(Bytes(text), wide() ? "\x10\xD0\x96 \xC3\xA9\r\nb" : "? \xE9\r\nb");

    EXPECT_TRUE(PSetWindowText(window, "a\nb", &PStringXEncoding, false));
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"a\nb");
    DestroyWindow(window);
}

TEST_P(SysCalls, NullEncodingPassesNarrowTextToTheAnsiFunctionUnchanged) {
    HWND window = MakeWindow(L"");
    ASSERT_NE(window, nullptr);
    // 0x10 would be the UTF-8 marker for an encoding; here it is just a byte.
    EXPECT_TRUE(PSetWindowText(window, "\x10\xE9t\xE9\n", nullptr, true));
    wchar_t title[32] = {0};
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"\x10\xE9t\xE9\n");
    PString text;
    EXPECT_EQ(PGetWindowText(window, text, nullptr, false), 5);
    EXPECT_EQ(Bytes(text), "\x10\xE9t\xE9\n");
    DestroyWindow(window);
}

TEST_P(SysCalls, TextMessagesCarryTheTextOfTheMode) {
    HWND window = MakeWindow(L"t");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(PComboAddString(window, "\x10\xD0\x96\xC3\xA9", &PStringXEncoding), 7);
    EXPECT_EQ(g_seen.message, UINT(CB_ADDSTRING));
    if (wide())
        EXPECT_EQ(g_seen.wide, L"\x416\xE9");
    else
        EXPECT_EQ(g_seen.ansi, "?\xE9");

    g_seen = Seen();
    EXPECT_EQ(PBrowseSetSelection(window, "", &PStringXEncoding), 0);
    EXPECT_EQ(PBrowseSetSelection(window, nullptr, &PStringXEncoding), 0);
    EXPECT_EQ(PBrowseSetSelection(window, "\x10", &PStringXEncoding), 0);  // no characters
    EXPECT_EQ(g_seen.message, 0u);
    EXPECT_EQ(PBrowseSetSelection(window, "C:\\Caf\xE9", &PStringXEncoding), 7);
    EXPECT_EQ(g_seen.message, UINT(wide() ? BFFM_SETSELECTIONW : BFFM_SETSELECTIONA));
    EXPECT_EQ(g_seen.wParam, WPARAM(TRUE));
    if (wide())
        EXPECT_EQ(g_seen.wide, L"C:\\Caf\xE9");
    else
        EXPECT_EQ(g_seen.ansi, "C:\\Caf\xE9");
    DestroyWindow(window);
}

TEST_P(SysCalls, MessagesAndWindowLongs) {
    HWND window = MakeWindow(L"abc");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(PSendMessage(window, WM_GETTEXTLENGTH, 0, 0), 3);
    EXPECT_EQ(PSetWindowLong(window, GWL_USERDATA, 1234), 0);
    EXPECT_EQ(PGetWindowLong(window, GWL_USERDATA), 1234);
    WNDPROC proc = reinterpret_cast<WNDPROC>(PGetWindowLong(window, GWL_WNDPROC));
    EXPECT_EQ(PCallWindowProc(proc, window, WM_GETTEXTLENGTH, 0, 0), 3);

    EXPECT_EQ(PPostMessage(window, WM_APP, 0, 0), 1);
    MSG msg;
    ASSERT_GT(PGetMessage(&msg, window, WM_APP, WM_APP), 0);
    PDispatchMessage(&msg);
    EXPECT_EQ(g_seen.appMessages, 1);
    PPostMessage(nullptr, WM_QUIT, 0, 0);
    EXPECT_EQ(PGetMessage(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(PPostMessage(reinterpret_cast<HWND>(uintptr_t(0x12345678)), WM_APP, 0, 0), 0);

    // A class atom in place of the name, and no title.
    ATOM atom = ATOM(GetClassWord(window, GCW_ATOM));
    HWND byAtom = PCreateWindowEx(0, reinterpret_cast<const wchar_t*>(uintptr_t(atom)), nullptr, 0, 0, 0, 1, 1,
                                  HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(byAtom, nullptr);
    EXPECT_EQ(PSendMessage(byAtom, WM_GETTEXTLENGTH, 0, 0), 0);
    DestroyWindow(byAtom);
    DestroyWindow(window);
}

TEST_P(SysCalls, DrawTextBreaksAtLineFeedsOnly) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    RECT r = {0, 0, 200, 200};
    EXPECT_EQ(PDrawText(dc, nullptr, &PStringXEncoding, &r, DT_CALCRECT), 0);
    RECT one = {0, 0, 200, 200}, two = {0, 0, 200, 200};
    int h1 = PDrawText(dc, "\x10\xD0\x96", &PStringXEncoding, &one, DT_CALCRECT);
    int h2 = PDrawText(dc, "\x10\xD0\x96\n\xD0\x96", &PStringXEncoding, &two, DT_CALCRECT);
    EXPECT_GT(h1, 0);
    EXPECT_EQ(h2, 2 * h1);
    // A carriage return is dropped, so it breaks no line.
    RECT cr = {0, 0, 200, 200};
    EXPECT_EQ(PDrawText(dc, "\x10\xD0\x96\r\xD0\x96", &PStringXEncoding, &cr, DT_CALCRECT), h1);
    DeleteDC(dc);
}

TEST_P(SysCalls, ModuleFileNameInEveryForm) {
    wchar_t path[MAX_PATH + 1] = {0};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH + 1), 0u);
    PString expected;
    FromWide(expected, path, &PStringXEncoding);
    PString got("previous");
    EXPECT_EQ(PGetModuleFileName(nullptr, got, &PStringXEncoding), int(expected.length()));
    EXPECT_EQ(Bytes(got), Bytes(expected));
    char ansi[MAX_PATH + 1] = {0};
    GetModuleFileNameA(nullptr, ansi, MAX_PATH + 1);
    EXPECT_EQ(PGetModuleFileName(nullptr, got, nullptr), int(std::strlen(ansi)));
    EXPECT_EQ(Bytes(got), ansi);
}

// ---- Processes ----------------------------------------------------------------------

TEST_P(SysCalls, DetachedChildGetsItsCommandLineAndFolder) {
    std::string scratch = ScratchFolder("syscalls-process-" + mode());
    PString folder = Join(scratch, wide() ? "\x10\\\xE6\x97\xA5 dir" : "\\dir");
    ASSERT_TRUE(CreateDirectoryW(W(folder.text()).c_str(), nullptr));
    PString report = Join(folder.text(), "\\report.txt");
    PString exe = OwnPath();

    PString command("\"");
    AppendText(command, exe.text());
    AppendText(command, "\" --gtest_list_tests --syscalls-child=\"");
    AppendText(command, report.text());
    AppendText(command, wide() ? "\" \x10\xD0\x96\xC3\xA9" : "\" caf\xE9");

    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(PCreateProcess(exe.text(), command.text(), folder.text(), &PStringXEncoding, &info));
    ASSERT_EQ(WaitForSingleObject(info.hProcess, 120000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    EXPECT_EQ(code, 0u);
    std::wstring lines = ReadUtf16File(W(report.text()));
    EXPECT_EQ(lines, W(command.text()) + L"\n" + W(folder.text()) + L"\n");
}

TEST_P(SysCalls, CreateProcessReportsFailureAndClosesHandlesItWasNotAskedFor) {
    std::string scratch = ScratchFolder("syscalls-noprocess-" + mode());
    PString missing = Join(scratch, "\\missing.exe");
    PROCESS_INFORMATION info = {};
    EXPECT_FALSE(PCreateProcess(missing.text(), nullptr, nullptr, &PStringXEncoding, &info));
    EXPECT_FALSE(PCreateProcess(missing.text(), "x", nullptr, nullptr, nullptr));

    PString report = Join(scratch, "\\report.txt");
    PString command("x --gtest_list_tests --syscalls-child=\"");
    AppendText(command, report.text());
    AppendText(command, "\"");
    EXPECT_TRUE(PCreateProcess(OwnPath().text(), command.text(), nullptr, &PStringXEncoding, nullptr));
}

TEST_P(SysCalls, ShellExecuteFailureNeverLooksLikeSuccess) {
    std::string scratch = ScratchFolder("syscalls-shell-" + mode());
    PString missing = Join(scratch, "\\missing.exe");
    intptr_t r = PShellExecute(nullptr, "open", missing.text(), nullptr, nullptr, &PStringXEncoding, SW_HIDE);
    EXPECT_LE(r, 32);
    EXPECT_NE(r, 0);
}

TEST_P(SysCalls, ShellExecuteStartsAProgram) {
    std::string scratch = ScratchFolder("syscalls-shellrun-" + mode());
    PString report = Join(scratch, "\\report.txt");
    PString parameters("--gtest_list_tests --syscalls-child=\"");
    AppendText(parameters, report.text());
    AppendText(parameters, "\"");
    intptr_t r = PShellExecute(nullptr, "open", OwnPath().text(), parameters.text(), scratch.c_str(),
                               &PStringXEncoding, SW_HIDE);
    EXPECT_GT(r, 32);
    // The shell gives no handle to wait on: look for the child's report.
    std::wstring path = W(report.text());
    for (int i = 0; i < 600 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    Sleep(200);
    std::wstring lines = ReadUtf16File(path);
    EXPECT_NE(lines.find(L"--syscalls-child="), std::wstring::npos);
}

// ---- Program resources ----------------------------------------------------------------

TEST(ProgramResource, FindsItsOwnMvResource) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    HGLOBAL handle = LoadProgramResource(42, &data, &size);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(data, nullptr);
    const char expected[] = "Morvandite test resource";
    ASSERT_EQ(size, sizeof expected);
    EXPECT_EQ(std::memcmp(data, expected, sizeof expected), 0);
    FreeResource(handle);
    EXPECT_NE(LoadProgramResource(42, &data, nullptr), nullptr);
}

TEST(ProgramResource, MissingResourceIsANullHandleWithNoData) {
    const uint8_t* data = reinterpret_cast<const uint8_t*>(1);
    uint32_t size = 99;
    EXPECT_EQ(LoadProgramResource(43, &data, &size), nullptr);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(LoadProgramResource(43, &data, nullptr), nullptr);
    PProgramResource scoped(43);
    EXPECT_FALSE(scoped.found());
    EXPECT_EQ(scoped.size(), 0u);
}

TEST(ProgramResource, AMovedOwnerTakesTheResourceAndTheOldOneHoldsNone) {
    PProgramResource first(42);
    ASSERT_TRUE(first.found());
    const uint8_t* data = first.data();
    PProgramResource second(std::move(first));
    EXPECT_FALSE(first.found());
    EXPECT_EQ(first.size(), 0u);
    EXPECT_EQ(second.data(), data);
    EXPECT_EQ(second.size(), sizeof "Morvandite test resource");

    PProgramResource missing(43);
    missing = std::move(second);
    EXPECT_TRUE(missing.found());
    EXPECT_EQ(missing.data(), data);
}

// Keeps extracted files in memory.
class MemoryFiles : public IStatusCallBack {
public:
    void OnFileStarted(uint32_t count, uint32_t index, const char* name) override { started.push_back(name); }
    void* OpenOutputFile(const char* path) override { return &files[path]; }
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override {
        if (handle)
            static_cast<std::string*>(handle)->append(static_cast<const char*>(data), size);
        return true;
    }
    void CloseOutputFile(void*) override {}
    std::map<std::string, std::string> files;
    std::vector<std::string> started;
};

TEST(ProgramResource, PayloadComesFromResource130) {
    MemoryFiles out;
    PString why;
    ASSERT_EQ(ExtractPayload("C:\\dest", &out, &why), 0) << why.text();
    EXPECT_EQ(out.files["C:\\dest\\readme.txt"], "hello payload\n");
    EXPECT_EQ(out.files["C:\\dest\\sub\\data.bin"], "abc");
    EXPECT_EQ(out.files.count("C:\\dest\\empty.txt"), 1u);
    EXPECT_EQ(out.started.size(), 3u);
    EXPECT_EQ(GetRequiredSpace(0u), 17u);
    EXPECT_EQ(GetRequiredSpace(4096u), 8192u);
}

// The payload is read through the program's file, not the loaded image: the
// bytes found there must be the resource's, every one of them, also when
// they arrive in pieces smaller than the fields they hold.
TEST(ProgramResource, PayloadBytesAreFoundInTheProgramsFile) {
    PProgramResource resource(130);
    ASSERT_TRUE(resource.found());
    PayloadFileSource file(7);
    PString why;
    ASSERT_TRUE(OpenProgramResourceFile(resource.data(), resource.size(), file, &why)) << why.text();
    ASSERT_EQ(file.Length(), resource.size());
    std::string read;
    for (uint32_t at = 0; at < file.Length();) {
        uint32_t got = 0;
        const uint8_t* p = file.Read(at, file.Length() - at, &got);
        ASSERT_GT(got, 0u);
        ASSERT_LE(got, 7u);
        read.append(reinterpret_cast<const char*>(p), got);
        at += got;
    }
    EXPECT_EQ(read, std::string(reinterpret_cast<const char*>(resource.data()), resource.size()));

    MemoryFiles out;
    ASSERT_EQ(ExtractPayload(file, "C:\\dest", &out, &why), 0) << why.text();
    EXPECT_EQ(out.files["C:\\dest\\sub\\data.bin"], "abc");
}

// Bytes that are not where the image's section table puts them in the file
// (a packed or patched program) are not taken from the file.
TEST(ProgramResource, BytesOutsideTheImageAreNotLookedForInTheFile) {
    PProgramResource resource(130);
    ASSERT_TRUE(resource.found());
    std::vector<uint8_t> copy(resource.data(), resource.data() + resource.size());
    PayloadFileSource file;
    PString why;
    EXPECT_FALSE(OpenProgramResourceFile(copy.data(), uint32_t(copy.size()), file, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(file.IsOpen());
}

// ---- Environment -----------------------------------------------------------------------

TEST(Environment, FactsUnderWine) {
    EnvironmentFacts facts = GetEnvironmentFacts();
    EXPECT_FALSE(facts.legacyWindows);
    EXPECT_FALSE(IsOldWindows());
    EXPECT_TRUE(facts.useLocalAppData);  // Wine reports Windows 7 or later
    EXPECT_EQ(facts.hasAdminRights, IsUserAnAdmin() != FALSE);
    EXPECT_EQ(IsAdministrator(), facts.hasAdminRights);
    // A 32-bit prefix has no 64-bit system beneath it.
    char folder[MAX_PATH];
    bool hasWow64Folder = GetSystemWow64DirectoryA(folder, MAX_PATH) != 0;
    EXPECT_EQ(facts.isWow64, hasWow64Folder);
}

TEST(Environment, TryEnterCriticalSectionIsFoundOnce) {
    EXPECT_TRUE(HasTryEnterCriticalSection());
    PTryEnterCriticalSectionFn fn = TryEnterCriticalSectionFunction();
    ASSERT_NE(fn, nullptr);
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EXPECT_TRUE(fn(&cs));
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
    EXPECT_EQ(TryEnterCriticalSectionFunction(), fn);
}

TEST(Environment, TimeZoneBiasMatchesTheSystemsLocalTime) {
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    int64_t u = int64_t(utc.dwHighDateTime) << 32 | utc.dwLowDateTime;
    int64_t l = int64_t(local.dwHighDateTime) << 32 | local.dwLowDateTime;
    int32_t eastSeconds = int32_t((l - u) / 10000000);
    EXPECT_EQ(TimeZoneBiasSeconds(), -eastSeconds);
}

}  // namespace

// One answer for every reader of the version: the packed form and the
// detailed one agree with the system's own calls, and every call and thread
// gets the same object.
TEST(RunningWindowsVersion, AgreesWithTheSystemAndIsAskedOnce) {
    const WindowsVersion& version = RunningWindowsVersion();
    EXPECT_EQ(version.packed, uint32_t(GetVersion()));
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_TRUE(version.detailed);
    EXPECT_EQ(version.platform, info.dwPlatformId);
    EXPECT_EQ(version.major, info.dwMajorVersion);
    EXPECT_EQ(version.minor, info.dwMinorVersion);
    EXPECT_EQ(version.build, info.dwBuildNumber);
    EXPECT_EQ(version.PackedMajor(), info.dwMajorVersion);
    EXPECT_EQ(version.NtFamily(), info.dwPlatformId == VER_PLATFORM_WIN32_NT);

    const WindowsVersion* seenByAnotherThread = nullptr;
    std::thread other([&] { seenByAnotherThread = &RunningWindowsVersion(); });
    other.join();
    EXPECT_EQ(seenByAnotherThread, &version);
    EXPECT_EQ(&RunningWindowsVersion(), &version);
}
