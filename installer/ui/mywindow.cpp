#include "mywindow.h"

#include "displaydpi.h"
#include "dpiscale.h"
#include "perror.h"
#include "plog.h"
#include "psyscalls.h"
#include "punique.h"

MyWindow::~MyWindow() {
    if (window_ && PGetWindowLong(window_, GWL_USERDATA) == reinterpret_cast<LONG>(this))
        PSetWindowLong(window_, GWL_USERDATA, 0);
    window_ = nullptr;
}

void MyWindow::GetClientSize(SIZE& size) {
    size.cx = 640;
    size.cy = 480;
}

namespace {
// Moves a top-level window's rectangle into its monitor's work area where it
// has gone past an edge (grown around its centre, or centred on a desktop
// larger than the work area); the left and top edges win when it is larger,
// so that the caption stays within reach.
void KeepInWorkArea(RECT& r) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info))
        return;
    const RECT& work = info.rcWork;
    const auto shift = [](LONG& low, LONG& high, LONG workLow, LONG workHigh) {
        LONG by = 0;
        if (high > workHigh)
            by = workHigh - high;
        if (low + by < workLow)
            by = workLow - low;
        low += by;
        high += by;
    };
    shift(r.left, r.right, work.left, work.right);
    shift(r.top, r.bottom, work.top, work.bottom);
}
}  // namespace

int MyWindow::SetClientSize(const SIZE& size) {
    RECT w, c;
    if (!window_ || !GetWindowRect(window_, &w) || !GetClientRect(window_, &c))
        return 0;
    // Integer division truncates toward zero: the odd pixel lands on the
    // right and bottom whether the window grows or shrinks.
    int dx = size.cx - (c.right - c.left);
    int dy = size.cy - (c.bottom - c.top);
    RECT n;
    n.left = w.left - dx / 2;
    n.right = w.right + dx - dx / 2;
    n.top = w.top - dy / 2;
    n.bottom = w.bottom + dy - dy / 2;
    if (!(GetWindowLongW(window_, GWL_STYLE) & WS_CHILD))
        KeepInWorkArea(n);
    MoveWindow(window_, n.left, n.top, n.right - n.left, n.bottom - n.top, TRUE);
    return 1;
}

void MyWindow::OnPaint() { PDefWindowProc(window_, WM_PAINT, 0, 0); }

int MyWindow::Show() {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return 1;
}

LRESULT CALLBACK MyWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        PSetWindowLong(window, GWL_USERDATA, reinterpret_cast<LONG>(cs->lpCreateParams));
        if (auto* self = static_cast<MyWindow*>(cs->lpCreateParams))
            self->window_ = window;  // known from the first message on
    }
    auto* self = reinterpret_cast<MyWindow*>(PGetWindowLong(window, GWL_USERDATA));
    if (!self)
        return PDefWindowProc(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window is going: the object no longer names it, whatever it does.
        PSetWindowLong(window, GWL_USERDATA, 0);
        self->window_ = nullptr;
    }

    // No exception may unwind into the system's frames that called us.
    try {
        LRESULT handled = self->OnMessage(message, wParam, lParam);
        if (handled)
            return handled;
        switch (message) {
        case WM_PAINT:
            self->OnPaint();
            return PDefWindowProc(window, WM_PAINT, wParam, lParam);
        case WM_ERASEBKGND:
            if (self->OnEraseBackground(reinterpret_cast<HDC>(wParam)))
                return 1;
            break;
        case WM_COMMAND:
            if (self->OnCommand(wParam, lParam))
                return 1;
            break;
        }
    }
    catch (const PError& e) {
        LogLine("Error in window procedure: %s", e.why());
    }
    catch (...) {
        LogLine("Error in window procedure");
    }
    return PDefWindowProc(window, message, wParam, lParam);
}

MyCWnd::MyCWnd(int titleFontHeight)
    : backgroundBrush_(nullptr),
      instance_(nullptr),
      icon_(nullptr),
      style_(0),
      rect_{0, 0, 0, 0},
      backgroundBitmap_(nullptr) {
    LOGFONTA lf;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = titleFontHeight;
    lf.lfWeight = 900;
    titleFont_ = CreateFontIndirectA(&lf);
    lf.lfHeight = 17;
    lf.lfWeight = 500;
    mediumFont_ = CreateFontIndirectA(&lf);
    lf.lfHeight = 14;
    lf.lfWeight = 100;
    smallFont_ = CreateFontIndirectA(&lf);
}

MyCWnd::~MyCWnd() {}

bool MyCWnd::Create(HWND parent) {
    PRegisterClassEx(className_.c_str(), 0, WindowProcedure, instance_, LoadCursorA(nullptr, IDC_ARROW), nullptr,
                     icon_);
    HWND w = PCreateWindowEx(0, className_.c_str(), title_.c_str(), style_, rect_.left, rect_.top,
                             rect_.right - rect_.left, rect_.bottom - rect_.top, parent, nullptr, instance_, this);
    if (!w) {
        // Also what a failed class registration ends in.
        LogLine("%s", PSystemError("Cannot create window", GetLastError()).why());
        window_ = nullptr;
        return false;
    }
    window_ = w;
    LoadResources();
    SIZE size;
    GetClientSize(size);
    SetClientSize(size);
    return true;
}

LRESULT MyCWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY)
        PostQuitMessage(18);
    return 0;
}

int MyCWnd::OnEraseBackground(HDC dc) {
    RECT client;
    GetClientRect(window_, &client);
    if (backgroundBrush_)
        FillRect(dc, &client, backgroundBrush_);
    if (backgroundBitmap_) {
        BITMAP bm;
        if (GetObjectA(backgroundBitmap_, sizeof bm, &bm)) {
            const UniqueMemoryDc memoryDc(CreateCompatibleDC(dc));
            HDC memory = memoryDc.get();
            const SelectedObject picture(memory, backgroundBitmap_);
            const DpiScale scale(WindowDpi(window_));
            if (scale.IsIdentity()) {
                int w = bm.bmWidth < client.right ? bm.bmWidth : client.right;
                int h = bm.bmHeight < client.bottom ? bm.bmHeight : client.bottom;
                BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
            }
            else {
                // The whole picture, smoothly scaled; the device context
                // clips it to the client area.
                SmoothStretch smooth(dc);
                StretchBlt(dc, 0, 0, scale(bm.bmWidth), scale(bm.bmHeight), memory, 0, 0, bm.bmWidth, bm.bmHeight,
                           SRCCOPY);
            }
        }
    }
    return 1;
}

void MyCWnd::LoadResources() { backgroundBrush_ = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)); }
