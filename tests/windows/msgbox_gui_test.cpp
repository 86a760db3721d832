// The skinned message box, answered by a helper thread as a user would.
// msgbox_ansi_gui_test runs the same cases with the ANSI system calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "mymsgbox.h"
#include "mywindow.h"
#include "pencoding.h"
#include "psyscalls.h"

namespace {

#ifdef MSGBOX_TEST_ANSI
// Before any window exists, as the installer does under Wine.
const bool kAnsiMode = (SetWideApiMode(-1), true);
#endif

struct BoxView {
    HWND box = nullptr;
    RECT client = {};
    RECT first = {}, second = {};  // client coordinates of the box
    bool hasSecond = false;
    bool ownerEnabled = true;
    HWND focus = nullptr;
    HWND firstButton = nullptr;
    LRESULT hitTest = 0;
    std::wstring caption;
    bool unicode = true;
    RECT window = {};
};

RECT ChildRect(HWND box, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Runs `answer` on a helper thread once the box is laid out and waiting,
// after recording what it looks like.
class Answerer {
public:
    Answerer(HWND owner, std::function<void(HWND box)> answer) : owner_(owner) {
        DWORD ui = GetCurrentThreadId();
        thread_ = std::thread([this, ui, answer] {
            HWND box = nullptr;
            // The box is ready once its first button has the focus (and the
            // owner is disabled, which comes after it).
            for (int i = 0; i < 4000; ++i) {
                box = FindWindowW(L"MyMsgBox", nullptr);
                GUITHREADINFO gui = {};
                gui.cbSize = sizeof gui;
                if (box && GetGUIThreadInfo(ui, &gui) && gui.hwndFocus && gui.hwndFocus == GetDlgItem(box, 6) &&
                    (!owner_ || !IsWindowEnabled(owner_)))
                    break;
                box = nullptr;
                Sleep(5);
            }
            if (!box) {
                found = false;
                PostThreadMessageW(ui, WM_QUIT, 0, 0);  // never leave the test hanging
                return;
            }
            found = true;
            view.box = box;
            GetClientRect(box, &view.client);
            GetWindowRect(box, &view.window);
            view.firstButton = GetDlgItem(box, 6);
            view.first = ChildRect(box, view.firstButton);
            HWND second = GetDlgItem(box, 7);
            view.hasSecond = second != nullptr;
            if (second)
                view.second = ChildRect(box, second);
            view.ownerEnabled = owner_ ? IsWindowEnabled(owner_) != FALSE : true;
            GUITHREADINFO gui = {};
                gui.cbSize = sizeof gui;
            GetGUIThreadInfo(ui, &gui);
            view.focus = gui.hwndFocus;
            POINT inside = {view.client.right / 2, view.client.bottom / 3};
            ClientToScreen(box, &inside);
            view.hitTest = SendMessageW(box, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y));
            wchar_t text[200] = {};
            GetWindowTextW(box, text, 200);
            view.caption = text;
            view.unicode = IsWindowUnicode(box) != FALSE;
            answer(box);
        });
    }
    ~Answerer() { thread_.join(); }

    std::atomic<bool> found{false};
    BoxView view;

private:
    HWND owner_;
    std::thread thread_;
};

void ClickButton(HWND box, int id) {
    HWND b = GetDlgItem(box, id);
    PostMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

class Owner : public MyCWnd {
public:
    Owner() : MyCWnd(18) {
        instance_ = GetModuleHandleA(nullptr);
        className_ = L"MsgBoxTestOwner";
        title_ = L"Owner";
        style_ = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
        rect_ = {200, 150, 800, 650};
    }
    void GetClientSize(SIZE& size) override { size = {600, 480}; }
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP + 7)
            ++appMessages;
        if (message == WM_APP + 8)
            DestroyWindow(window_);
        return MyCWnd::OnMessage(message, wParam, lParam);
    }
    int appMessages = 0;
};

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        HINSTANCE m = GetModuleHandleA(nullptr);
        small.bitmapWidth = 51;
        small.height = 34;
        small.normal = LoadBitmapA(m, MAKEINTRESOURCEA(214));
        small.pressed = LoadBitmapA(m, MAKEINTRESOURCEA(216));
        small.focused = LoadBitmapA(m, MAKEINTRESOURCEA(215));
        small.disabled = LoadBitmapA(m, MAKEINTRESOURCEA(219));
        small.textColor = 0xFFFFFF;
        small.disabledTextColor = 0xC0C0C0;
        large = small;
        large.bitmapWidth = 47;
        large.height = 46;
        large.normal = LoadBitmapA(m, MAKEINTRESOURCEA(225));
        large.pressed = LoadBitmapA(m, MAKEINTRESOURCEA(227));
        large.focused = LoadBitmapA(m, MAKEINTRESOURCEA(226));
        large.disabled = LoadBitmapA(m, MAKEINTRESOURCEA(228));
        ASSERT_NE(small.normal, nullptr);
        ASSERT_NE(large.normal, nullptr);
    }
    void TearDown() override {
        for (HBITMAP b : {small.normal, small.pressed, small.focused, small.disabled, large.normal, large.pressed,
                          large.focused, large.disabled})
            DeleteObject(b);
        // Nothing the box did may leave a quit message behind.
        MSG m;
        EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    ButtonSkin small, large;
};

TEST_F(MessageBoxTest, OneButtonIsCentredFocusedAndAnswersSix) {
    Answerer a(nullptr, [](HWND box) { ClickButton(box, 6); });
    int r = MyMessageBox(nullptr, "Morvandite", "Your system is not supported.", "OK", nullptr, small, small,
                         nullptr, 394, 212);
    EXPECT_EQ(r, 6);
    ASSERT_TRUE(a.found);
    const BoxView& v = a.view;
    int centre = v.client.right / 2;
    EXPECT_FALSE(v.hasSecond);
    EXPECT_EQ(v.first.left, centre - 70);
    EXPECT_EQ(v.first.right - v.first.left, 140);
    EXPECT_EQ(v.first.bottom - v.first.top, 34);
    EXPECT_EQ(v.first.top, v.client.bottom - 34 - 10);
    EXPECT_EQ(v.focus, v.firstButton);
    EXPECT_EQ(v.caption, L"Morvandite");
    EXPECT_EQ(v.window.right - v.window.left, 394);
    EXPECT_EQ(v.window.bottom - v.window.top, 212);
    EXPECT_FALSE(IsWindow(v.box)) << "the box is destroyed on return";
}

TEST_F(MessageBoxTest, TwoButtonsSitSymmetricallyAndTheSecondAnswersSeven) {
    // Sixth argument: the second button's skin; seventh: the first's.
    Answerer a(nullptr, [](HWND box) { ClickButton(box, 7); });
    int r = MyMessageBox(nullptr, "Installing", "Are you sure?", "Resume", "Cancel", small, large, nullptr, 394, 212);
    EXPECT_EQ(r, 7);
    ASSERT_TRUE(a.found);
    const BoxView& v = a.view;
    int centre = v.client.right / 2;
    ASSERT_TRUE(v.hasSecond);
    EXPECT_EQ(v.first.left, centre - 145);
    EXPECT_EQ(v.second.left, centre + 5);
    EXPECT_EQ(v.first.right - v.first.left, 140);
    EXPECT_EQ(v.second.right - v.second.left, 140);
    EXPECT_EQ(v.second.left - v.first.right, 10);
    EXPECT_EQ(v.first.left + v.second.right, 2 * centre);
    // Both tops come from the second button's skin height, each height from its own.
    EXPECT_EQ(v.second.top, v.client.bottom - 34 - 10);
    EXPECT_EQ(v.first.top, v.second.top);
    EXPECT_EQ(v.second.bottom - v.second.top, 34);
    EXPECT_EQ(v.first.bottom - v.first.top, 46);
}

TEST_F(MessageBoxTest, FirstOfTwoAnswersSixAndTheCaptionKeepsItsAccent) {
    PString caption("Installation ");
    AppendCodePoint(caption, 0x00E9);  // é: in code page 1252 and in UTF-16 alike
    Answerer a(nullptr, [](HWND box) { ClickButton(box, 6); });
    EXPECT_EQ(MyMessageBox(nullptr, caption.text(), "t", "Oui", "Non", small, small, nullptr, 394, 212), 6);
    EXPECT_EQ(a.view.unicode, UseWideApi());
    if (UseWideApi() || GetACP() == 1252) {
        EXPECT_EQ(a.view.caption, L"Installation \u00e9");
    }
}

TEST_F(MessageBoxTest, SpaceOnTheFocusedButtonAnswersToo) {
    Answerer a(nullptr, [](HWND box) {
        HWND b = GetDlgItem(box, 6);
        PostMessageW(b, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageW(b, WM_KEYUP, VK_SPACE, 0xC0390001);
    });
    EXPECT_EQ(MyMessageBox(nullptr, "c", "t", "Retry", "Abort", small, small, nullptr, 394, 212), 6);
}

TEST_F(MessageBoxTest, CloseAnswersEightAndTheWholeBoxDragsLikeItsCaption) {
    Answerer a(nullptr, [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); });
    EXPECT_EQ(MyMessageBox(nullptr, "c", "t", "Retry", "Abort", small, small, nullptr, 394, 212), 8);
    EXPECT_EQ(a.view.hitTest, HTCAPTION);
}

TEST_F(MessageBoxTest, QuitEndsTheBoxWithZeroAndIsNotPostedAgain) {
    DWORD ui = GetCurrentThreadId();
    Answerer a(nullptr, [ui](HWND) { PostThreadMessageW(ui, WM_QUIT, 3, 0); });
    EXPECT_EQ(MyMessageBox(nullptr, "c", "t", "OK", nullptr, small, small, nullptr, 394, 212), 0);
    EXPECT_TRUE(a.found);
    // TearDown checks that no WM_QUIT is left in the queue.
}

TEST_F(MessageBoxTest, OwnerIsDisabledCentredOnAndStillGetsItsMessages) {
    Owner owner;
    ASSERT_TRUE(owner.Create(nullptr));
    owner.Show();
    HWND ownerWindow = owner.Handle();
    Answerer a(ownerWindow, [ownerWindow](HWND box) {
        // A worker's status message during the question is still delivered.
        PostMessageW(ownerWindow, WM_APP + 7, 0, 0);
        PostMessageW(ownerWindow, WM_APP + 7, 0, 0);
        ClickButton(box, 7);
    });
    int r = MyMessageBox(ownerWindow, "c", "t", "Resume", "Cancel", small, small, nullptr, 394, 212);
    EXPECT_EQ(r, 7);
    ASSERT_TRUE(a.found);
    EXPECT_FALSE(a.view.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(ownerWindow));
    EXPECT_EQ(owner.appMessages, 2);
    RECT o;
    GetWindowRect(ownerWindow, &o);
    EXPECT_NEAR((a.view.window.left + a.view.window.right) / 2, (o.left + o.right) / 2, 1);
    EXPECT_NEAR((a.view.window.top + a.view.window.bottom) / 2, (o.top + o.bottom) / 2, 1);
    DestroyWindow(ownerWindow);
    MSG m;
    PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the owner's own quit code
}

TEST_F(MessageBoxTest, ABoxOverAnAlreadyDisabledOwnerLeavesItDisabled) {
    // As when a second box opens over the window while a first one is up.
    Owner owner;
    ASSERT_TRUE(owner.Create(nullptr));
    HWND ownerWindow = owner.Handle();
    EnableWindow(ownerWindow, FALSE);
    Answerer a(nullptr, [](HWND box) { ClickButton(box, 6); });
    EXPECT_EQ(MyMessageBox(ownerWindow, "c", "t", "OK", nullptr, small, small, nullptr, 394, 212), 6);
    EXPECT_FALSE(IsWindowEnabled(ownerWindow));
    DestroyWindow(ownerWindow);
    MSG m;
    PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST_F(MessageBoxTest, ABoxDestroyedWithItsOwnerCountsAsClosed) {
    Owner owner;
    ASSERT_TRUE(owner.Create(nullptr));
    HWND ownerWindow = owner.Handle();
    Answerer a(ownerWindow, [ownerWindow](HWND) { PostMessageW(ownerWindow, WM_APP + 8, 0, 0); });
    EXPECT_EQ(MyMessageBox(ownerWindow, "c", "t", "OK", nullptr, small, small, nullptr, 394, 212), 8);
    EXPECT_FALSE(IsWindow(ownerWindow));
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // the owner's own quit code
    EXPECT_EQ(m.wParam, 18u);
}

TEST_F(MessageBoxTest, ABoxThatCannotBeCreatedReturnsAtOnce) {
    // A window handle that names no window: creation fails, nothing waits.
    HWND bogus = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FF0));
    ASSERT_FALSE(IsWindow(bogus));
    EXPECT_EQ(MyMessageBox(bogus, "c", "t", "OK", nullptr, small, small, nullptr, 394, 212), 0);
}

TEST_F(MessageBoxTest, TheCallersFontStaysTheCallers) {
    HFONT font = CreateFontA(-15, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    Answerer a(nullptr, [](HWND box) { ClickButton(box, 6); });
    EXPECT_EQ(MyMessageBox(nullptr, "c", "t", "OK", nullptr, small, small, font, 394, 212), 6);
    EXPECT_EQ(GetObjectType(font), DWORD(OBJ_FONT));
    DeleteObject(font);
}

}  // namespace
