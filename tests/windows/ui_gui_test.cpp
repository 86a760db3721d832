// The control toolkit on a real display: windows, skinned buttons, the
// progress bar, visibility, handle owners and the interface font.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "mycontrols.h"
#include "mywindow.h"
#include "pencoding.h"
#include "psyscalls.h"
#include "test_paths.h"
#include "uifont.h"
#include "uiobjects.h"

namespace {

// A 32-bit DIB filled pixel by pixel: exact colours whatever the screen.
HBITMAP MakeBitmap(int w, int h, const std::function<COLORREF(int, int)>& colour) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* p = static_cast<uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            COLORREF c = colour(x, y);
            p[y * w + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    return b;
}

HBITMAP Solid(int w, int h, COLORREF c) {
    return MakeBitmap(w, h, [c](int, int) { return c; });
}

// A memory surface to draw controls into.
class Surface {
public:
    Surface(int w, int h) : dc_(CreateCompatibleDC(nullptr)), bitmap_(Solid(w, h, RGB(1, 2, 3))) {
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }
    // Bounding box of the pixels of one colour; empty when there are none.
    RECT Find(COLORREF c, int w, int h) const {
        RECT r = {w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (at(x, y) == c) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        return r;
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

class Host : public MyCWnd {
public:
    explicit Host(const wchar_t* className = L"UiTestHost") : MyCWnd(18) {
        instance_ = GetModuleHandleA(nullptr);
        className_ = className;
        title_ = L"Toolkit test";
        style_ = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
        rect_ = {100, 100, 500, 420};
    }
    void GetClientSize(SIZE& size) override { size = {400, 300}; }
    int OnCommand(WPARAM wParam, LPARAM lParam) override {
        commands.push_back({wParam, lParam});
        return 1;
    }
    void SetBackground(HBITMAP b) { backgroundBitmap_ = b; }
    void SetClassName(const wchar_t* name) { className_ = name; }

    std::vector<std::pair<WPARAM, LPARAM>> commands;
};

const COLORREF kNormal = RGB(10, 120, 10), kPressed = RGB(120, 10, 10), kFocused = RGB(10, 10, 120),
               kDisabled = RGB(90, 90, 90), kText = RGB(255, 255, 255), kDisabledText = RGB(200, 200, 0);
const COLORREF kLeft = RGB(0, 200, 0), kMiddle = RGB(200, 0, 200), kRight = RGB(0, 0, 200);

class Toolkit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Create(nullptr));
        host.Show();
        Pump();
        font = CreateFontA(-20, 0, 0, 0, 700, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, "Tahoma");
        // Normal face: distinct left cap, middle column and right cap.
        skin.bitmapWidth = 51;
        skin.height = 34;
        skin.normal = MakeBitmap(51, 34, [](int x, int) { return x < 25 ? kLeft : x == 25 ? kMiddle : kRight; });
        skin.pressed = Solid(51, 34, kPressed);
        skin.focused = Solid(51, 34, kFocused);
        skin.disabled = Solid(51, 34, kDisabled);
        skin.font = font;
        skin.textColor = kText;
        skin.disabledTextColor = kDisabledText;
        // Progress strip: caps green and yellow, filled red, empty blue.
        strip = MakeBitmap(10, 21, [](int x, int) {
            return x < 4 ? RGB(0, 255, 0) : x == 4 ? RGB(255, 0, 0) : x == 5 ? RGB(0, 0, 255) : RGB(255, 255, 0);
        });
    }
    void TearDown() override {
        if (host.Handle())
            DestroyWindow(host.Handle());
        Pump();
        for (HBITMAP b : {skin.normal, skin.pressed, skin.focused, skin.disabled, strip})
            DeleteObject(b);
        DeleteObject(font);
        // The host posts its quit code when destroyed; it is not for the next test.
        MSG m;
        while (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    void Click(HWND w, int downX, int downY, int upX, int upY) {
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(downX, downY));
        PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(upX, upY));
        Pump();
    }

    Host host;
    HFONT font = nullptr;
    ButtonSkin skin;
    HBITMAP strip = nullptr;
};

// ---- Top-level windows ---------------------------------------------------------

TEST_F(Toolkit, CreateGivesTheClientSizeAndFindsTheObjectFromTheWindow) {
    RECT c;
    GetClientRect(host.Handle(), &c);
    EXPECT_EQ(c.right, 400);
    EXPECT_EQ(c.bottom, 300);
    EXPECT_EQ(PGetWindowLong(host.Handle(), GWL_USERDATA), reinterpret_cast<LONG>(&host));
    EXPECT_EQ(host.BackgroundBrush(), GetStockObject(WHITE_BRUSH));
}

TEST_F(Toolkit, SetClientSizeKeepsTheCentreAndPutsTheOddPixelRightAndBelow) {
    RECT before;
    GetWindowRect(host.Handle(), &before);
    ASSERT_EQ(host.SetClientSize({405, 307}), 1);
    RECT after, c;
    GetWindowRect(host.Handle(), &after);
    GetClientRect(host.Handle(), &c);
    EXPECT_EQ(c.right, 405);
    EXPECT_EQ(c.bottom, 307);
    EXPECT_EQ(after.left, before.left - 2);
    EXPECT_EQ(after.right, before.right + 3);
    EXPECT_EQ(after.top, before.top - 3);
    EXPECT_EQ(after.bottom, before.bottom + 4);

    // Shrinking by an odd amount takes the odd pixel from the right and bottom.
    ASSERT_EQ(host.SetClientSize({400, 300}), 1);
    RECT back;
    GetWindowRect(host.Handle(), &back);
    EXPECT_EQ(back.left, after.left + 2);
    EXPECT_EQ(back.right, after.right - 3);
    EXPECT_EQ(back.top, after.top + 3);
    EXPECT_EQ(back.bottom, after.bottom - 4);
}

TEST_F(Toolkit, EraseFillsWithTheBrushAndCopiesTheBackgroundClipped) {
    HBITMAP picture = Solid(50, 500, RGB(200, 30, 30));  // taller than the client area
    host.SetBackground(picture);
    Surface s(400, 300);
    EXPECT_EQ(host.OnEraseBackground(s.dc()), 1);
    EXPECT_EQ(s.at(0, 0), RGB(200, 30, 30));
    EXPECT_EQ(s.at(49, 299), RGB(200, 30, 30));
    EXPECT_EQ(s.at(50, 0), RGB(255, 255, 255));
    EXPECT_EQ(s.at(399, 299), RGB(255, 255, 255));
    host.SetBackground(nullptr);
    DeleteObject(picture);
}

TEST_F(Toolkit, DestroyingTheWindowPostsQuit18AndForgetsTheHandle) {
    DestroyWindow(host.Handle());
    EXPECT_EQ(host.Handle(), nullptr);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 18u);
}

TEST_F(Toolkit, AWindowOutlivingItsObjectFallsToTheDefaultProcedure) {
    HWND w;
    {
        Host other;
        other.SetBackground(nullptr);
        ASSERT_TRUE(other.Create(nullptr));
        w = other.Handle();
    }
    EXPECT_EQ(PGetWindowLong(w, GWL_USERDATA), 0);
    SendMessageW(w, WM_COMMAND, 1, 0);  // no object to call any more
    EXPECT_TRUE(DestroyWindow(w));
}

// ---- Buttons -------------------------------------------------------------------

TEST_F(Toolkit, PressAndReleaseInsidePostsExactlyOneCommand) {
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 1234, "OK", skin);
    b.SetVisible(true);
    // The command is posted: handling the release alone delivers nothing yet.
    PostMessageW(b.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, b.Handle(), WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));
    DispatchMessageW(&m);
    SendMessageW(b.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(139, 33));
    EXPECT_TRUE(host.commands.empty());
    Pump();
    ASSERT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(host.commands[0].first, 1234u);
    EXPECT_EQ(host.commands[0].second, 0);
    EXPECT_EQ(GetCapture(), nullptr);

    host.commands.clear();
    PostMessageW(b.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(b.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_EQ(host.commands.size(), 1u);
}

TEST_F(Toolkit, ReleaseOutsideOrWithoutPressPostsNothing) {
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 1234, "OK", skin);
    b.SetVisible(true);
    Click(b.Handle(), 5, 5, 140, 5);  // one past the right edge
    Click(b.Handle(), 5, 5, 5, 34);   // one below
    Click(b.Handle(), 5, 5, -3, 5);   // left of it: large as an unsigned word
    EXPECT_TRUE(host.commands.empty());
    EXPECT_EQ(GetCapture(), nullptr);
    // A release that no press on this button began.
    PostMessageW(b.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(Toolkit, ButtonKeepsItsTextAndAnswersTextQueries) {
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 7, "Install now", skin);
    PString t;
    EXPECT_EQ(b.GetText(t), 11);
    EXPECT_STREQ(t.text(), "Install now");
    PString cyrillic;
    AppendCodePoint(cyrillic, 0x0423);  // У
    AppendCodePoint(cyrillic, 0x00E9);  // é
    b.SetText(cyrillic.text());
    EXPECT_STREQ(b.Text(), cyrillic.text());
    PString back;
    b.GetText(back);
    EXPECT_STREQ(back.text(), cyrillic.text());
}

TEST_F(Toolkit, DrawUsesThreeSlicesAndChoosesTheFace) {
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 1, "", skin);
    b.SetVisible(true);
    Surface s(140, 34);
    b.Draw(s.dc(), false);
    EXPECT_EQ(s.at(0, 5), kLeft);
    EXPECT_EQ(s.at(24, 5), kLeft);
    EXPECT_EQ(s.at(25, 5), kMiddle);
    EXPECT_EQ(s.at(114, 5), kMiddle);
    EXPECT_EQ(s.at(115, 5), kRight);
    EXPECT_EQ(s.at(139, 33), kRight);

    b.Draw(s.dc(), true);
    EXPECT_EQ(s.at(70, 5), kPressed);

    SetFocus(b.Handle());
    ASSERT_EQ(GetFocus(), b.Handle());
    b.Draw(s.dc(), false);
    EXPECT_EQ(s.at(70, 5), kFocused);

    b.SetEnabled(false);
    b.Draw(s.dc(), false);
    EXPECT_EQ(s.at(70, 5), kDisabled);
    b.Draw(s.dc(), true);  // pressed wins over every other face
    EXPECT_EQ(s.at(70, 5), kPressed);
}

TEST_F(Toolkit, DisabledWithoutDisabledFaceLooksNormal) {
    ButtonSkin plain = skin;
    plain.disabled = nullptr;
    plain.focused = nullptr;
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 1, "W", plain);
    b.SetEnabled(false);
    Surface s(140, 34);
    b.Draw(s.dc(), false);
    EXPECT_EQ(s.at(25, 2), kMiddle);
    RECT text = s.Find(kText, 140, 34);
    EXPECT_LE(text.left, text.right) << "text in the normal colour";
    RECT grey = s.Find(kDisabledText, 140, 34);
    EXPECT_GT(grey.left, grey.right) << "no disabled text colour";
}

TEST_F(Toolkit, TextIsCentredAndMovesTwoPixelsWhenPressedAndGreysWhenDisabled) {
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 1, "W", skin);
    Surface s(140, 34);
    b.Draw(s.dc(), false);
    RECT up = s.Find(kText, 140, 34);
    ASSERT_LE(up.left, up.right);
    EXPECT_NEAR((up.left + up.right) / 2, 70, 3);
    EXPECT_NEAR((up.top + up.bottom) / 2, 17, 4);
    b.Draw(s.dc(), true);
    RECT down = s.Find(kText, 140, 34);
    EXPECT_EQ(down.left, up.left + 2);
    EXPECT_EQ(down.top, up.top + 2);
    EXPECT_EQ(down.right, up.right + 2);
    EXPECT_EQ(down.bottom, up.bottom + 2);

    b.SetEnabled(false);
    b.Draw(s.dc(), false);
    RECT grey = s.Find(kDisabledText, 140, 34);
    EXPECT_EQ(grey.left, up.left);
    EXPECT_EQ(grey.bottom, up.bottom);
}

// ---- Progress bar ------------------------------------------------------------------

class ProgressBar : public Toolkit {
protected:
    // The colours of one row of a bar 108 pixels wide (inner width 100).
    std::vector<COLORREF> Row(int percentage) {
        MyProgressBar bar;
        ButtonSkin s;
        s.bitmapWidth = 13;
        s.height = 21;
        s.normal = strip;
        bar.Create(host.Handle(), 10, 100, 108, 21, 114, nullptr, s);
        bar.SetPercentage(percentage);
        Surface surface(108, 21);
        bar.Draw(surface.dc(), false);
        std::vector<COLORREF> row;
        for (int x = 0; x < 108; ++x)
            row.push_back(surface.at(x, 10));
        return row;
    }
    static constexpr COLORREF caps[2] = {RGB(0, 255, 0), RGB(255, 255, 0)};
    static constexpr COLORREF filled = RGB(255, 0, 0), empty = RGB(0, 0, 255);
};

TEST_F(ProgressBar, EmptyShowsOnlyEmptyColumnsBetweenTheCaps) {
    std::vector<COLORREF> row = Row(0);
    for (int x = 0; x < 108; ++x) {
        COLORREF want = x < 4 ? caps[0] : x >= 104 ? caps[1] : empty;
        ASSERT_EQ(row[x], want) << "x=" << x;
    }
}

TEST_F(ProgressBar, FullShowsFivePixelBlocksWithTwoPixelGapsAndACutLastBlock) {
    std::vector<COLORREF> row = Row(100);
    for (int x = 4; x < 104; ++x) {
        int i = x - 4;
        ASSERT_EQ(row[x], i % 7 < 5 ? filled : empty) << "x=" << x;
    }
    // The last block starts at 98 and is cut at 100: two pixels.
    EXPECT_EQ(row[4 + 97], empty);
    EXPECT_EQ(row[4 + 98], filled);
    EXPECT_EQ(row[4 + 99], filled);
    EXPECT_EQ(row[104], caps[1]);
    EXPECT_EQ(row[3], caps[0]);
}

TEST_F(ProgressBar, HalfwayCutsTheBlockAtTheFillAndClampsPercentages) {
    std::vector<COLORREF> row = Row(50);  // fill 50: blocks up to 49, then 49..50
    EXPECT_EQ(row[4 + 48], empty);
    EXPECT_EQ(row[4 + 49], filled);
    EXPECT_EQ(row[4 + 50], empty);
    EXPECT_EQ(row[4 + 99], empty);
    EXPECT_EQ(Row(250), Row(100));
    EXPECT_EQ(Row(-5), Row(0));
}

TEST_F(ProgressBar, ClicksDoNothing) {
    MyProgressBar bar;
    ButtonSkin s;
    s.normal = strip;
    bar.Create(host.Handle(), 10, 100, 108, 21, 114, nullptr, s);
    bar.SetVisible(true);
    bar.SetPercentage(40);
    Click(bar.Handle(), 5, 5, 5, 5);
    PostMessageW(bar.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    Pump();
    EXPECT_TRUE(host.commands.empty());
    EXPECT_EQ(bar.Percentage(), 40);
    EXPECT_EQ(GetCapture(), nullptr);
}

// ---- Controls in general ---------------------------------------------------------

TEST_F(Toolkit, ControlsAreCreatedHiddenAndMostAreSubclassed) {
    MyCheckBox check;
    check.Create(host.Handle(), 10, 10, 200, 20, 141, "Desktop shortcut", BS_TOP);
    MyStaticBox label;
    label.Create(host.Handle(), 10, 40, 200, 20, 0, nullptr, SS_CENTER);
    MyComboBox list;
    list.Create(host.Handle(), 10, 70, 200, 200, 1001);
    MyEditBox edit;
    edit.Create(host.Handle(), 10, 100, 200, 21, 133, false, false, false, true, false);
    MyButton button;
    button.Create(host.Handle(), 10, 130, 140, 34, 1005, "Browse...", skin);
    for (MyBaseControl* c : std::vector<MyBaseControl*>{&check, &label, &list, &edit, &button}) {
        ASSERT_NE(c->Handle(), nullptr);
        EXPECT_FALSE(c->IsVisible());
    }
    EXPECT_EQ(PGetWindowLong(check.Handle(), GWL_USERDATA), reinterpret_cast<LONG>(&check));
    EXPECT_EQ(PGetWindowLong(label.Handle(), GWL_USERDATA), reinterpret_cast<LONG>(&label));
    EXPECT_EQ(PGetWindowLong(list.Handle(), GWL_USERDATA), 0);
    EXPECT_EQ(PGetWindowLong(edit.Handle(), GWL_USERDATA), 0);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(button.Handle(), WM_GETFONT, 0, 0)), font);
    PString t;
    check.GetText(t);
    EXPECT_STREQ(t.text(), "Desktop shortcut");
    EXPECT_EQ(label.GetText(t), 0);  // a null text makes a control without text
}

TEST_F(Toolkit, HidingRepaintsTheParentSoThatNoTraceRemains) {
    MyStaticBox block;
    block.Create(host.Handle(), 50, 50, 60, 40, 0, nullptr, SS_BLACKRECT);
    block.SetVisible(true);
    UpdateWindow(host.Handle());
    UpdateWindow(block.Handle());
    HDC dc = GetDC(host.Handle());
    COLORREF shown = GetPixel(dc, 70, 70);
    ASSERT_NE(shown, CLR_INVALID);
    EXPECT_NE(shown, RGB(255, 255, 255));

    block.SetVisible(false);
    EXPECT_FALSE(IsWindowVisible(block.Handle()));
    RECT update;
    EXPECT_TRUE(GetUpdateRect(host.Handle(), &update, FALSE)) << "parent invalidated";
    UpdateWindow(host.Handle());
    EXPECT_EQ(GetPixel(dc, 70, 70), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 50, 50), RGB(255, 255, 255));
    ReleaseDC(host.Handle(), dc);

    block.SetVisible(true);
    EXPECT_TRUE(block.IsVisible());
}

TEST_F(Toolkit, ControlObjectAndWindowMayGoInEitherOrder) {
    HWND w;
    {
        MyCheckBox check;
        check.Create(host.Handle(), 10, 10, 200, 20, 141, "x", 0);
        w = check.Handle();
        ASSERT_EQ(PGetWindowLong(w, GWL_WNDPROC), reinterpret_cast<LONG>(MyBaseControl::ControlProcedure));
    }
    // The object went first: the system's procedure is back.
    EXPECT_NE(PGetWindowLong(w, GWL_WNDPROC), reinterpret_cast<LONG>(MyBaseControl::ControlProcedure));
    EXPECT_EQ(PGetWindowLong(w, GWL_USERDATA), 0);
    SendMessageW(w, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(w, BM_GETCHECK, 0, 0), BST_CHECKED);

    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 1, "x", skin);
    DestroyWindow(b.Handle());
    EXPECT_EQ(b.Handle(), nullptr);  // the window went first
}

// ---- The ANSI mode (the installer's mode under Wine) ------------------------------

class AnsiToolkit : public Toolkit {
protected:
    void SetUp() override {
        SetWideApiMode(-1);
        // A class of its own: the first registration of a name decides
        // whether its windows are wide or ANSI.
        host.SetClassName(L"UiTestHostAnsi");
        Toolkit::SetUp();
    }
    void TearDown() override {
        Toolkit::TearDown();
        SetWideApiMode(0);
    }
};

TEST_F(AnsiToolkit, WindowsClicksAndTextsWork) {
    EXPECT_FALSE(IsWindowUnicode(host.Handle()));
    MyButton b;
    b.Create(host.Handle(), 10, 10, 140, 34, 77, "OK", skin);
    b.SetVisible(true);
    EXPECT_FALSE(IsWindowUnicode(b.Handle()));
    Click(b.Handle(), 5, 5, 5, 5);
    ASSERT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(host.commands[0].first, 77u);

    // A code page 1252 text survives the ANSI code page when it is 1252.
    PString accented;
    AppendCodePoint(accented, 'C');
    AppendCodePoint(accented, 0x00E9);  // é
    MyCheckBox check;
    check.Create(host.Handle(), 10, 50, 200, 20, 141, accented.text(), 0);
    PString back;
    check.GetText(back);
    if (GetACP() == 1252) {
        EXPECT_STREQ(back.text(), accented.text());
    }
    // Characters the ANSI code page lacks arrive as its replacement, never as garbage.
    PString cyrillic;
    AppendCodePoint(cyrillic, 0x0416);
    b.SetText(cyrillic.text());
    b.GetText(back);
    EXPECT_EQ(back.length(), 1u);
    EXPECT_STREQ(b.Text(), cyrillic.text()) << "the button draws its own copy";
}

// ---- Handle owners ---------------------------------------------------------------

static_assert(!std::is_copy_constructible<AutoDeleteUiObjectBrush>::value, "owners are not copyable");
static_assert(!std::is_copy_assignable<AutoDeleteUiObjectFont>::value, "owners are not copyable");
static_assert(!std::is_copy_constructible<BitmapImage>::value, "owners are not copyable");
static_assert(!std::is_copy_assignable<BitmapImage>::value, "owners are not copyable");
static_assert(std::is_nothrow_move_constructible<AutoDeleteUiObjectFont>::value, "owners move");
static_assert(std::is_nothrow_move_assignable<AutoDeleteUiObjectBitmap>::value, "owners move");
static_assert(std::is_nothrow_move_constructible<BitmapImage>::value, "owners move");
static_assert(!std::is_copy_constructible<MyButton>::value, "controls are not copyable");
static_assert(!std::is_copy_constructible<MyCWnd>::value, "windows are not copyable");

TEST(HandleOwners, ReplacingOrDestroyingDeletesTheHeldHandle) {
    HBRUSH first = CreateSolidBrush(RGB(1, 2, 3));
    HBRUSH second = CreateSolidBrush(RGB(4, 5, 6));
    {
        AutoDeleteUiObjectBrush owner;
        EXPECT_FALSE(owner.IsSet());
        owner = first;
        owner = first;  // the same handle again is kept, not deleted
        EXPECT_EQ(GetObjectType(first), DWORD(OBJ_BRUSH));
        owner = second;
        EXPECT_EQ(GetObjectType(first), 0u);
        EXPECT_EQ(owner.Get(), second);
    }
    EXPECT_EQ(GetObjectType(second), 0u);

    HBITMAP kept = Solid(2, 2, 0);
    {
        AutoDeleteUiObjectBitmap owner;
        owner = kept;
        EXPECT_EQ(owner.Detach(), kept);
    }
    EXPECT_EQ(GetObjectType(kept), DWORD(OBJ_BITMAP));
    {
        BitmapImage image;
        image.Set(kept);
        HBITMAP other = Solid(2, 2, 0);
        image.Set(other);
        EXPECT_EQ(GetObjectType(kept), 0u);
        image.Reset();
        EXPECT_EQ(image.Get(), nullptr);
        EXPECT_EQ(GetObjectType(other), 0u);
    }
}

// Owners move: a returned or stored owner hands its handle over, the source
// forgets it, and the handle is deleted once, by its last owner.
TEST(HandleOwners, MovingHandsTheHandleOverAndDeletesItOnce) {
    HBRUSH brush = CreateSolidBrush(RGB(7, 8, 9));
    HBRUSH replaced = CreateSolidBrush(RGB(9, 8, 7));
    {
        AutoDeleteUiObjectBrush source;
        source = brush;
        AutoDeleteUiObjectBrush moved(std::move(source));
        EXPECT_FALSE(source.IsSet());
        EXPECT_EQ(moved.Get(), brush);
        AutoDeleteUiObjectBrush target;
        target = replaced;
        target = std::move(moved);
        EXPECT_EQ(GetObjectType(replaced), 0u) << "the target's own handle is deleted";
        EXPECT_FALSE(moved.IsSet());
        EXPECT_EQ(target.Get(), brush);
        EXPECT_EQ(GetObjectType(brush), DWORD(OBJ_BRUSH));
    }
    EXPECT_EQ(GetObjectType(brush), 0u);

    // The cursor owner keeps its own way of freeing when it moves.
    {
        AutoDeleteUiObjectCursor cursor;
        ASSERT_TRUE(cursor.Load(GetModuleHandleA(nullptr), 220));
        AutoDeleteUiObjectCursor moved(std::move(cursor));
        EXPECT_FALSE(cursor.IsSet());
        EXPECT_TRUE(moved.IsSet());
    }

    HBITMAP bitmap = Solid(2, 2, 0);
    HBITMAP other = Solid(2, 2, 0);
    {
        BitmapImage source;
        source.Set(bitmap);
        BitmapImage target;
        target.Set(other);
        target = std::move(source);
        EXPECT_EQ(source.Get(), nullptr);
        EXPECT_EQ(target.Get(), bitmap);
        EXPECT_EQ(GetObjectType(other), 0u);
        BitmapImage last(std::move(target));
        EXPECT_EQ(target.Get(), nullptr);
        EXPECT_EQ(GetObjectType(bitmap), DWORD(OBJ_BITMAP));
    }
    EXPECT_EQ(GetObjectType(bitmap), 0u);
}

TEST(HandleOwners, LoadSkinBitmapsAndThePrivateCursorFromResources) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    BitmapImage image;
    ASSERT_TRUE(image.Load(module, 210));
    BITMAP bm;
    ASSERT_TRUE(GetObjectA(image.Get(), sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 51);
    EXPECT_EQ(bm.bmHeight, 34);
    EXPECT_FALSE(image.Load(module, 9999));
    EXPECT_EQ(image.Get(), nullptr);

    AutoDeleteUiObjectBitmap strip;
    ASSERT_TRUE(strip.Load(module, 217));
    ASSERT_TRUE(GetObjectA(strip.Get(), sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 10);
    EXPECT_EQ(bm.bmHeight, 21);

    AutoDeleteUiObjectCursor hand;
    ASSERT_TRUE(hand.Load(module, 220));
    HCURSOR c = hand.Get();
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(c, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 7u);
    EXPECT_EQ(info.yHotspot, 0u);
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
}

// ---- Interface font ------------------------------------------------------------------

TEST(InterfaceFontSelection, TakesTheFirstInstalledFaceOfTheTable) {
    InterfaceFont f = SelectInterfaceFont(FaceNameSet{"arial", "TAHOMA", "Courier"});
    EXPECT_STREQ(f.base.lfFaceName, "Tahoma");
    EXPECT_EQ(f.scale, 85);
    EXPECT_EQ(f.base.lfHeight, 0);
    EXPECT_EQ(f.base.lfWeight, 0);
    EXPECT_EQ(ScaledFontHeight(f, 28), 24);  // (85 * 28 + 50) / 100
    EXPECT_EQ(ScaledFontHeight(f, 15), 13);

    f = SelectInterfaceFont(FaceNameSet{"Microsoft Sans Serif", "Segoe UI", "Arial"});
    EXPECT_STREQ(f.base.lfFaceName, "Segoe UI");
    EXPECT_EQ(f.scale, 100);
    f = SelectInterfaceFont(FaceNameSet{"Arial"});
    EXPECT_EQ(f.scale, 90);
    EXPECT_EQ(ScaledFontHeight(f, 17), 15);  // (1530 + 50) / 100
    // The machine's own list names at least one family.
    EXPECT_FALSE(InstalledFaceNames().empty());
}

TEST(InterfaceFontSelection, WithoutAnyFaceUsesTheStockGuiFontAtFullScale) {
    LOGFONTA gui;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    InterfaceFont f = SelectInterfaceFont(FaceNameSet{"Courier New", "Symbol"});
    EXPECT_EQ(f.scale, 100);
    EXPECT_STREQ(f.base.lfFaceName, gui.lfFaceName);
    EXPECT_EQ(f.base.lfHeight, gui.lfHeight);
    EXPECT_EQ(ScaledFontHeight(f, 28), 28);
}

}  // namespace
