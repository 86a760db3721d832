// The folder browser with the installer's callback: localised texts,
// preselection, the fixed-drive rule for OK, in the wide and the ANSI mode.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "folderbrowser.h"
#include "locales.h"
#include "msgids.h"
#include "pencoding.h"
#include "ppmsg.h"
#include "psyscalls.h"

namespace {

std::wstring Wide(const char* pstringx) {
    PWString w;
    ToWide(w, pstringx, &PStringXEncoding);
    w.terminate();
    return w.wide();
}

std::wstring TextOf(HWND w) {
    wchar_t text[300] = {};
    if (w)
        GetWindowTextW(w, text, 300);
    return text;
}

struct DialogView {
    bool found = false;
    std::wstring title, ok, cancel, newFolder;
    bool okEnabledAtStart = true;
    bool okEnabledAfterSelection = false;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM p) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(p) = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindBrowser(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits (by polling, with a generous limit) until `ready` holds.
template <class F>
bool WaitFor(F ready) {
    for (int i = 0; i < 6000; ++i) {
        if (ready())
            return true;
        Sleep(5);
    }
    return false;
}

class FolderBrowser : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadMessageTable());
        SetWideApiMode(1);
        LoadShellFunctions();
        CoInitialize(nullptr);
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        SetWideApiMode(0);
        FreeMessageTable();
    }
    void SetUp() override {
        SetWideApiMode(GetParam());
        CurrentLocale = FindLocale("fr");
        ASSERT_GE(CurrentLocale, 0);
    }
    void TearDown() override {
        CurrentLocale = 0;
        SetWideApiMode(1);
    }

    // Opens the browser on path; the helper records the dialog, then
    // presses OK (once it is enabled) or Cancel.
    PString Browse(const char* path, bool pressOk, DialogView& view) {
        DWORD ui = GetCurrentThreadId();
        std::wstring title = Wide(MsgString(TXTINS_Browse_For_Folder).text());
        std::thread helper([&] {
            HWND dialog = nullptr;
            view.found = WaitFor([&] {
                dialog = FindBrowser(ui);
                return dialog && TextOf(dialog) == title;
            });
            if (!view.found) {
                if (dialog)
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            HWND ok = GetDlgItem(dialog, IDOK);
            view.title = TextOf(dialog);
            view.ok = TextOf(ok);
            view.cancel = TextOf(GetDlgItem(dialog, IDCANCEL));
            view.newFolder = TextOf(GetDlgItem(dialog, 14150));
            if (pressOk) {
                view.okEnabledAfterSelection = WaitFor([&] { return IsWindowEnabled(ok) != FALSE; });
                PostMessageW(ok, BM_CLICK, 0, 0);
            }
            else {
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        });
        PString current(path), out("keep");
        PString prompt = MsgString(TXTINS_Select_the_folder_to_install_N_ELL, "Morvandite");
        int r = BrowseForFolder(nullptr, prompt.text(), current.text(), BrowseCallback,
                                reinterpret_cast<LPARAM>(&current), out, &PStringXEncoding);
        helper.join();
        EXPECT_EQ(r, 0);
        return out;
    }
};

TEST_P(FolderBrowser, TextsAreLocalisedAndThePreselectedFolderIsReturned) {
    DialogView view;
    PString out = Browse("C:\\windows", true, view);
    ASSERT_TRUE(view.found);
    EXPECT_EQ(view.title, Wide(MsgString(TXTINS_Browse_For_Folder).text()));
    EXPECT_EQ(view.ok, Wide(MsgString(TXTINS_OK).text()));
    EXPECT_EQ(view.cancel, Wide(MsgString(TXTINS_Cancel).text()));
    if (!view.newFolder.empty()) {
        EXPECT_EQ(view.newFolder, Wide(MsgString(TXTINS_Make_New_Folder).text()));
    }
    EXPECT_TRUE(view.okEnabledAfterSelection);
    EXPECT_EQ(lstrcmpiA(out.text(), "C:\\windows"), 0) << out.text();
}

TEST_P(FolderBrowser, CancelLeavesTheOutPathAsItWas) {
    DialogView view;
    PString out = Browse("", false, view);
    ASSERT_TRUE(view.found);
    EXPECT_STREQ(out.text(), "keep");
}

INSTANTIATE_TEST_SUITE_P(Modes, FolderBrowser, ::testing::Values(1, -1),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param > 0 ? "Wide" : "Ansi"; });

TEST(FixedDriveRule, OnlyFoldersBelowTheRootOfAFixedDrive) {
    ASSERT_EQ(GetDriveTypeA("C:\\"), UINT(DRIVE_FIXED));
    EXPECT_TRUE(IsFolderOnFixedDrive("C:\\windows"));
    EXPECT_TRUE(IsFolderOnFixedDrive("c:\\x"));
    EXPECT_FALSE(IsFolderOnFixedDrive("C:\\"));  // the root itself
    EXPECT_FALSE(IsFolderOnFixedDrive("C:"));
    EXPECT_FALSE(IsFolderOnFixedDrive(""));
    EXPECT_FALSE(IsFolderOnFixedDrive(nullptr));
    EXPECT_FALSE(IsFolderOnFixedDrive("\\\\server\\share\\folder"));
    // A drive letter that names no drive.
    char missing[] = "?:\\folder";
    for (char d = 'Q'; d <= 'Y'; ++d) {
        char root[] = {d, ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) {
            missing[0] = d;
            break;
        }
    }
    ASSERT_NE(missing[0], '?');
    EXPECT_FALSE(IsFolderOnFixedDrive(missing));
    // A path in the UTF-8 form: the drive letter is its first character, not the marker.
    PString marked("C:\\");
    AppendCodePoint(marked, 0x0416);
    ASSERT_TRUE(IsPStringXUtf8(marked.text()));
    EXPECT_TRUE(IsFolderOnFixedDrive(marked.text()));
}

}  // namespace
