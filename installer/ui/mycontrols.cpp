#include "mycontrols.h"

#include <memory>

#include "displaydpi.h"
#include "dpiscale.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "psyscalls.h"
#include "punique.h"

// ---- MyBaseControl -----------------------------------------------------------

MyBaseControl::~MyBaseControl() { Unsubclass(); }

void MyBaseControl::Unsubclass() {
    if (control_ && savedProc_ && IsWindow(control_) &&
        PGetWindowLong(control_, GWL_USERDATA) == reinterpret_cast<LONG>(this)) {
        PSetWindowLong(control_, GWL_WNDPROC, reinterpret_cast<LONG>(savedProc_));
        PSetWindowLong(control_, GWL_USERDATA, 0);
    }
    savedProc_ = nullptr;
}

LRESULT MyBaseControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (savedProc_)
        return PCallWindowProc(savedProc_, window, message, wParam, lParam);
    return PDefWindowProc(window, message, wParam, lParam);
}

void MyBaseControl::Paint() { PDefWindowProc(control_, WM_PAINT, 0, 0); }

void MyBaseControl::SetText(const char* text) { PSetWindowText(control_, text, &PStringXEncoding, false); }

int MyBaseControl::GetText(PString& out) { return PGetWindowText(control_, out, &PStringXEncoding, false); }

void MyBaseControl::Subclass() {
    if (!control_ || savedProc_)
        return;
    savedProc_ = reinterpret_cast<WNDPROC>(PGetWindowLong(control_, GWL_WNDPROC));
    PSetWindowLong(control_, GWL_USERDATA, reinterpret_cast<LONG>(this));
    PSetWindowLong(control_, GWL_WNDPROC, reinterpret_cast<LONG>(ControlProcedure));
}

void MyBaseControl::SetEnabled(bool enabled) {
    EnableWindow(control_, enabled);
    InvalidateRect(control_, nullptr, FALSE);
}

void MyBaseControl::SetVisible(bool visible) {
    if (!control_)
        return;
    LONG style = PGetWindowLong(control_, GWL_STYLE);
    PSetWindowLong(control_, GWL_STYLE, visible ? (style | WS_VISIBLE) : (style & ~WS_VISIBLE));
    if (visible)
        InvalidateRect(control_, nullptr, FALSE);
    else
        InvalidateRect(GetParent(control_), nullptr, TRUE);
}

bool MyBaseControl::IsVisible() const {
    return control_ && (PGetWindowLong(control_, GWL_STYLE) & WS_VISIBLE) != 0;
}

LRESULT CALLBACK MyBaseControl::ControlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MyBaseControl*>(PGetWindowLong(window, GWL_USERDATA));
    if (!self)
        return PDefWindowProc(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Destroyed with its parent: give the window its own procedure back
        // for its last message and forget it.
        WNDPROC saved = self->savedProc_;
        self->Unsubclass();
        self->control_ = nullptr;
        return saved ? PCallWindowProc(saved, window, message, wParam, lParam)
                     : PDefWindowProc(window, message, wParam, lParam);
    }
    // No exception may unwind into the system's frames that called us.
    try {
        return self->WindowProc(window, message, wParam, lParam);
    }
    catch (const PError& e) {
        LogLine("Error in control procedure: %s", e.why());
    }
    catch (...) {
        LogLine("Error in control procedure");
    }
    return 0;
}

HWND MyBaseControl::CreateControl(DWORD exStyle, const wchar_t* className, const char* text, DWORD style, int x,
                                  int y, int width, int height, HWND parent, int id, HINSTANCE instance) {
    PWString wide;
    const wchar_t* title = nullptr;
    if (text) {
        ToWide(wide, text, &PStringXEncoding);
        wide.terminate();
        title = wide.wide();
    }
    control_ = PCreateWindowEx(exStyle, className, title, style, x, y, width, height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    return control_;
}

// ---- MyButton ----------------------------------------------------------------

void MyButton::Create(HWND parent, int x, int y, int width, int height, int id, const char* text,
                      const ButtonSkin& skin) {
    skin_ = skin;
    text_ = text ? text : "";
    if (!CreateControl(0, L"BUTTON", text, kStyle, x, y, width, height, parent, id, GetModuleHandleA(nullptr)))
        return;
    if (skin_.font)
        PSendMessage(control_, WM_SETFONT, reinterpret_cast<WPARAM>(skin_.font), TRUE);
    Subclass();
}

void MyButton::SetText(const char* text) {
    text_ = text ? text : "";
    MyBaseControl::SetText(text);
    if (IsVisible())
        InvalidateRect(control_, nullptr, TRUE);
}

void MyButton::Paint() {
    const PaintScope painting(control_);
    if (painting.dc())
        Draw(painting.dc(), false);
}

LRESULT MyButton::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Mouse messages never reach the system procedure: the posted WM_COMMAND
    // is the only click notification.
    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetCapture(window);
        Draw(UniqueWindowDc(window).get(), true);
        return 0;
    }
    case WM_LBUTTONUP: {
        // Only a release that ends a press on this button is a click.
        bool pressed = GetCapture() == window;
        if (pressed)
            ReleaseCapture();
        Draw(UniqueWindowDc(window).get(), false);
        // Unsigned coordinates: a release left of or above the button is outside.
        POINT p = {LONG(LOWORD(lParam)), LONG(HIWORD(lParam))};
        RECT r;
        GetClientRect(window, &r);
        if (pressed && PtInRect(&r, p))
            PostMessageA(GetParent(window), WM_COMMAND, WPARAM(PGetWindowLong(window, GWL_ID)), 0);
        return 0;
    }
    default:
        return MyBaseControl::WindowProc(window, message, wParam, lParam);
    }
}

namespace {
// Three slices: left cap, the middle column stretched, right cap. Above 96
// DPI the caps are drawn scale times as wide and the whole face smoothly
// stretched to the button's height; at 96 the bitmap's pixels are copied.
void DrawSkinFace(HDC dc, const RECT& r, HBITMAP bitmap, int bitmapWidth, const DpiScale& scale) {
    const UniqueMemoryDc memoryDc(CreateCompatibleDC(dc));
    if (!memoryDc)
        return;
    HDC memory = memoryDc.get();
    const SelectedObject face(memory, bitmap);
    int half = bitmapWidth / 2;
    int h = r.bottom - r.top;
    if (scale.IsIdentity()) {
        BitBlt(dc, r.left, r.top, half, h, memory, 0, 0, SRCCOPY);
        int middle = r.right - 2 * half - r.left;
        if (middle > 0)
            StretchBlt(dc, r.left + half, r.top, middle, h, memory, half, 0, 1, h, SRCCOPY);
        BitBlt(dc, r.right - half, r.top, half, h, memory, half + 1, 0, SRCCOPY);
    }
    else {
        BITMAP bm;
        const int sourceHeight = GetObjectA(bitmap, sizeof bm, &bm) ? bm.bmHeight : h;
        const int cap = scale(half);
        SmoothStretch smooth(dc);
        StretchBlt(dc, r.left, r.top, cap, h, memory, 0, 0, half, sourceHeight, SRCCOPY);
        int middle = r.right - 2 * cap - r.left;
        if (middle > 0)
            StretchBlt(dc, r.left + cap, r.top, middle, h, memory, half, 0, 1, sourceHeight, SRCCOPY);
        StretchBlt(dc, r.right - cap, r.top, cap, h, memory, half + 1, 0, half, sourceHeight, SRCCOPY);
    }
}
}  // namespace

void MyButton::Draw(HDC dc, bool pressed) {
    RECT r;
    GetClientRect(control_, &r);
    bool disabledLook = skin_.disabled && !IsWindowEnabled(control_);
    HBITMAP face;
    if (pressed)
        face = skin_.pressed;
    else if (disabledLook)
        face = skin_.disabled;
    else if (skin_.focused && GetFocus() == control_)
        face = skin_.focused;
    else
        face = skin_.normal;
    const DpiScale scale(WindowDpi(control_));
    if (face)
        DrawSkinFace(dc, r, face, skin_.bitmapWidth, scale);

    if (pressed)
        OffsetRect(&r, scale(2), scale(2));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    {
        const SelectedObject font(dc, skin_.font);  // none: the context's own
        COLORREF oldColor = SetTextColor(dc, disabledLook ? skin_.disabledTextColor : skin_.textColor);
        PDrawText(dc, text_.text(), &PStringXEncoding, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, oldColor);
    }
    SetBkMode(dc, oldMode);
}

// ---- MyProgressBar ---------------------------------------------------------------

LRESULT MyProgressBar::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 1;
    case WM_ERASEBKGND:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        return 1;
    default:
        return PDefWindowProc(window, message, wParam, lParam);
    }
}

void MyProgressBar::Paint() {
    const PaintScope painting(control_);
    if (painting.dc())
        Draw(painting.dc(), false);
}

void MyProgressBar::Draw(HDC dc, bool) {
    BITMAP bm;
    if (!skin_.normal || !GetObjectA(skin_.normal, sizeof bm, &bm))
        return;
    RECT r;
    GetClientRect(control_, &r);
    const UniqueMemoryDc memoryDc(CreateCompatibleDC(dc));
    if (!memoryDc)
        return;
    HDC memory = memoryDc.get();
    const SelectedObject strip(memory, skin_.normal);
    // Blocks, gaps and caps keep their proportions at every DPI; at 96 they
    // are the strip's own pixels.
    const DpiScale scale(WindowDpi(control_));
    const int cap = scale(4), block = scale(5), gap = scale(2);
    const int sourceHeight = bm.bmHeight;
    const int H = scale(bm.bmHeight);
    const int W = r.right - r.left - 2 * cap;
    const int F = W > 0 ? MulDiv(W, percentage_, 100) : 0;
    const int L = r.left + cap;
    std::unique_ptr<SmoothStretch> smooth;
    if (!scale.IsIdentity())
        smooth.reset(new SmoothStretch(dc));
    auto column = [&](int source, int from, int to) {
        StretchBlt(dc, L + from, r.top, to - from, H, memory, source, 0, 1, sourceHeight, SRCCOPY);
    };
    for (int i = 0; i < F;) {
        int b = i + block < F ? i + block : F;
        column(4, i, b);
        if (b >= F)
            break;
        i = b + gap < F ? b + gap : F;
        column(5, b, i);
    }
    if (W - F > 0)
        column(5, F, W);
    if (scale.IsIdentity()) {
        BitBlt(dc, r.left, r.top, 4, H, memory, 0, 0, SRCCOPY);
        BitBlt(dc, r.right - 4, r.top, 4, H, memory, 6, 0, SRCCOPY);
    }
    else {
        StretchBlt(dc, r.left, r.top, cap, H, memory, 0, 0, 4, sourceHeight, SRCCOPY);
        StretchBlt(dc, r.right - cap, r.top, cap, H, memory, 6, 0, 4, sourceHeight, SRCCOPY);
    }
}

// ---- Static, check box, combo box, edit box -----------------------------------------

namespace {
void SetGuiFont(HWND control) {
    if (control)
        PSendMessage(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}
}  // namespace

void MyStaticBox::Create(HWND parent, int x, int y, int width, int height, int id, const char* text,
                         DWORD extraStyle) {
    if (!CreateControl(0, L"STATIC", text, extraStyle | WS_CHILD, x, y, width, height, parent, id,
                       GetModuleHandleA(nullptr)))
        return;
    SetGuiFont(control_);
    Subclass();
}

void MyCheckBox::Create(HWND parent, int x, int y, int width, int height, int id, const char* text,
                        DWORD extraStyle) {
    if (!CreateControl(0, L"BUTTON", text, extraStyle | 0x40012003, x, y, width, height, parent, id,
                       GetModuleHandleA(nullptr)))
        return;
    SetGuiFont(control_);
    Subclass();
}

void MyComboBox::Create(HWND parent, int x, int y, int width, int height, int id) {
    CreateControl(0, L"COMBOBOX", nullptr, 0x40A10003, x, y, width, height, parent, id, nullptr);
    SetGuiFont(control_);
}

void MyEditBox::Create(HWND parent, int x, int y, int width, int height, int id, bool readOnly, bool multiLine,
                       bool wantReturn, bool autoHScroll, bool vScroll) {
    DWORD style = WS_CHILD | WS_TABSTOP;
    if (readOnly)
        style |= ES_READONLY;
    if (multiLine)
        style |= ES_MULTILINE;
    if (wantReturn)
        style |= ES_WANTRETURN;
    if (autoHScroll)
        style |= ES_AUTOHSCROLL;
    if (vScroll)
        style |= WS_VSCROLL | ES_AUTOVSCROLL;
    CreateControl(WS_EX_CLIENTEDGE, L"EDIT", nullptr, style, x, y, width, height, parent, id,
                  GetModuleHandleA(nullptr));
    SetGuiFont(control_);
}

int DrawTextInBox(HDC dc, int x, int y, int width, int height, const char* text, UINT format) {
    RECT r = {x, y, x + width, y + height};
    return PDrawText(dc, text, &PStringXEncoding, &r, format | DT_WORDBREAK);
}

void SetControlFont(const MyBaseControl& control, HFONT font) {
    if (control.Handle() && font)
        PSendMessage(control.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

RECT ChildRectInParent(HWND child, HWND parent) {
    RECT r = {0, 0, 0, 0};
    if (child && GetWindowRect(child, &r))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
