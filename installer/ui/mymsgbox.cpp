#include "mymsgbox.h"

#include "displaydpi.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "psyscalls.h"
#include "punique.h"

namespace {
const wchar_t kClassName[] = L"MyMsgBox";
const DWORD kBoxStyle = 0x90C80000;  // WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU
const int kButtonWidth = 140;
const COLORREF kBoxColour = 0xF4F4F4;
}  // namespace

MyMsgBox::MyMsgBox(HWND owner, const char* caption, const char* text, const char* firstButton,
                   const char* secondButton, const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, HFONT font)
    : owner_(owner),
      caption_(caption ? caption : ""),
      text_(text ? text : ""),
      firstText_(firstButton ? firstButton : ""),
      secondText_(secondButton ? secondButton : ""),
      hasSecond_(secondButton != nullptr),
      font_(font),
      secondSkin_(secondSkin),
      firstSkin_(firstSkin),
      box_(nullptr),
      result_(0) {
    // Without the caller's font the box makes its own once its DPI is known.
}

void MyMsgBox::MakeOwnFont() {
    if (font_ && font_ != ownFont_.Get())
        return;  // the caller's
    LOGFONTA lf;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = scale_(17);
    lf.lfWeight = 400;
    HFONT font = CreateFontIndirectA(&lf);
    font_ = font;
    if (box_)
        PSendMessage(box_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    ownFont_ = font;  // the previous one is no longer selected anywhere
}

int MyMsgBox::Run(int width, int height) {
    RECT o = {0, 0, 0, 0};
    if (!owner_ || !GetWindowRect(owner_, &o))
        GetWindowRect(GetDesktopWindow(), &o);
    // The box opens over its owner, so at the owner's DPI.
    scale_ = DpiScale(owner_ ? WindowDpi(owner_) : SystemDpi());
    width = scale_(width);
    height = scale_(height);
    MakeOwnFont();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    PRegisterClassEx(kClassName, 0, BoxProcedure, instance, LoadCursorA(nullptr, IDC_ARROW),
                     static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), nullptr);
    box_ = PCreateWindowEx(WS_EX_DLGMODALFRAME, kClassName, nullptr, kBoxStyle, (o.left + o.right - width) / 2,
                           (o.top + o.bottom - height) / 2, width, height, owner_, nullptr, instance, this);
    if (!box_) {
        // Without a window nothing could ever end the modal loop.
        LogLine("%s", PSystemError("Cannot create message box", GetLastError()).why());
        return kMyMsgBoxNoAnswer;
    }
    result_ = 0;
    bool ownerDisabled = false;
    try {
        PSetWindowLong(box_, GWL_USERDATA, reinterpret_cast<LONG>(this));
        PSendMessage(box_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        PSetWindowText(box_, caption_.text(), &PStringXMessageEncoding, false);
        LayOutButtons();
        SetFocus(firstButton_.Handle());
        ShowWindow(box_, SW_SHOW);
        UpdateWindow(box_);
        // An owner that is already disabled (by a box below this one) stays
        // so: only what this box disabled is enabled again.
        if (owner_)
            ownerDisabled = !EnableWindow(owner_, FALSE);

        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        // The answer is tested before waiting, so the box closes as soon as it
        // is given and no later message is taken from the caller's queue.
        // WM_QUIT (0) and a GetMessage failure (-1) end the loop unanswered.
        while (result_ == 0 && box_) {
            if (PGetMessage(&msg, nullptr, 0, 0) <= 0)
                break;
            if (!PIsDialogMessage(box_, &msg)) {
                TranslateMessage(&msg);
                PDispatchMessage(&msg);
            }
        }
    }
    catch (...) {
        if (ownerDisabled)
            EnableWindow(owner_, TRUE);
        if (box_)
            DestroyWindow(box_);
        box_ = nullptr;
        throw;
    }
    if (ownerDisabled) {
        EnableWindow(owner_, TRUE);
        SetForegroundWindow(owner_);
    }
    if (box_) {
        PSetWindowLong(box_, GWL_USERDATA, 0);
        DestroyWindow(box_);
        box_ = nullptr;
    }
    return result_;
}

namespace {
// Where the buttons go in the box's client area r: 140 pixels wide (at 96
// DPI), 10 apart and symmetric about the centre, or one centred; 10 above
// the bottom.
void ButtonPlaces(const RECT& r, const DpiScale& scale, bool hasSecond, int secondHeight, int& firstX,
                  int& secondX, int& y) {
    const int centre = (r.left + r.right) / 2;
    y = r.bottom - scale(secondHeight) - scale(10);
    secondX = centre + scale(5);
    firstX = hasSecond ? centre - scale(kButtonWidth) - scale(5) : centre - scale(kButtonWidth / 2);
}
}  // namespace

void MyMsgBox::LayOutButtons() {
    RECT r;
    GetClientRect(box_, &r);
    int firstX, secondX, y;
    ButtonPlaces(r, scale_, hasSecond_, secondSkin_.height, firstX, secondX, y);
    if (hasSecond_) {
        secondButton_.Create(box_, secondX, y, scale_(kButtonWidth), scale_(secondSkin_.height), kSecondButtonId,
                             secondText_.text(), secondSkin_);
        secondButton_.SetVisible(true);
    }
    firstButton_.Create(box_, firstX, y, scale_(kButtonWidth), scale_(firstSkin_.height), kFirstButtonId,
                        firstText_.text(), firstSkin_);
    firstButton_.SetVisible(true);
}

void MyMsgBox::PlaceButtons() {
    RECT r;
    GetClientRect(box_, &r);
    int firstX, secondX, y;
    ButtonPlaces(r, scale_, hasSecond_, secondSkin_.height, firstX, secondX, y);
    if (hasSecond_ && secondButton_.Handle())
        MoveWindow(secondButton_.Handle(), secondX, y, scale_(kButtonWidth), scale_(secondSkin_.height), TRUE);
    if (firstButton_.Handle())
        MoveWindow(firstButton_.Handle(), firstX, y, scale_(kButtonWidth), scale_(firstSkin_.height), TRUE);
}

void MyMsgBox::OnDpiChanged(int dpi, const RECT& suggested) {
    scale_ = DpiScale(dpi);
    MakeOwnFont();
    SetWindowPos(box_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceButtons();
    InvalidateRect(box_, nullptr, TRUE);
}

void MyMsgBox::Paint() {
    const PaintScope painting(box_);
    if (HDC dc = painting.dc()) {
        int oldMode = SetBkMode(dc, TRANSPARENT);
        RECT r;
        GetClientRect(box_, &r);
        if (const UniqueGdiObject brush{CreateSolidBrush(kBoxColour)})
            FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
        {
            const SelectedObject boxFont(dc, font_);
            COLORREF oldColour = SetTextColor(dc, 0);
            DrawTextInBox(dc, scale_(10), scale_(20), (r.right - r.left) - scale_(20),
                          (r.bottom - r.top) - scale_(secondSkin_.height) - scale_(20), text_.text(), 0);
            SetTextColor(dc, oldColour);
        }
        SetBkMode(dc, oldMode);
    }
}

LRESULT CALLBACK MyMsgBox::BoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MyMsgBox*>(PGetWindowLong(window, GWL_USERDATA));
    if (!self)
        return PDefWindowProc(window, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        try {
            self->Paint();
        }
        catch (const PError& e) {
            LogLine("Error painting message box: %s", e.why());
        }
        return 1;
    case WM_CLOSE:
        self->result_ = kMyMsgBoxClosed;
        return 1;
    case WM_DPICHANGED:
        // Moved onto a monitor with another DPI.
        self->OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_NCHITTEST:
        // The whole box drags like its caption.
        return HTCAPTION;
    case WM_COMMAND:
        if (LOWORD(wParam) == kFirstButtonId || LOWORD(wParam) == kSecondButtonId) {
            self->result_ = LOWORD(wParam);
            return 1;
        }
        break;
    case WM_NCDESTROY:
        // Destroyed from outside (with its owner): the box counts as closed.
        PSetWindowLong(window, GWL_USERDATA, 0);
        self->box_ = nullptr;
        if (self->result_ == 0)
            self->result_ = kMyMsgBoxClosed;
        break;
    }
    return PDefWindowProc(window, message, wParam, lParam);
}

int MyMessageBox(HWND owner, const char* caption, const char* text, const char* firstButton,
                 const char* secondButton, const ButtonSkin& secondSkin, const ButtonSkin& firstSkin, HFONT font,
                 int width, int height) {
    MyMsgBox box(owner, caption, text, firstButton, secondButton, secondSkin, firstSkin, font);
    return box.Run(width, height);
}
