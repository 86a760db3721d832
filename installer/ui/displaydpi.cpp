#include "displaydpi.h"

#include "dpiscale.h"

#include "punique.h"
#include "pwindowcalls.h"

namespace {
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

struct DpiFunctions {
    GetDpiForWindowFn forWindow;
    GetDpiForSystemFn forSystem;
    GetSystemMetricsForDpiFn metrics;
    AdjustWindowRectExForDpiFn adjust;
};

template <typename F>
F Resolve(HMODULE user32, const char* name) {
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

const DpiFunctions& Functions() {
    // user32 is loaded for the whole life of a process with windows.
    static const DpiFunctions functions = [] {
        HMODULE user32 = GetModuleHandleA("user32.dll");
        DpiFunctions f;
        f.forWindow = Resolve<GetDpiForWindowFn>(user32, "GetDpiForWindow");
        f.forSystem = Resolve<GetDpiForSystemFn>(user32, "GetDpiForSystem");
        f.metrics = Resolve<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi");
        f.adjust = Resolve<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
        return f;
    }();
    return functions;
}

int ScreenDpi() {
    const UniqueWindowDc screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : 96;  // the default screen DPI
}
}  // namespace

int WindowDpi(HWND window) {
    if (window && Functions().forWindow) {
        if (UINT dpi = Functions().forWindow(window))
            return int(dpi);
    }
    return SystemDpi();
}

int SystemDpi() {
    if (Functions().forSystem) {
        if (UINT dpi = Functions().forSystem())
            return int(dpi);
    }
    return ScreenDpi();
}

int SystemMetricForDpi(int index, int dpi) {
    if (Functions().metrics)
        return Functions().metrics(index, UINT(dpi));
    return GetSystemMetrics(index);
}

bool AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    if (Functions().adjust)
        return Functions().adjust(&rect, style, FALSE, exStyle, UINT(dpi)) != FALSE;
    return AdjustWindowRectEx(&rect, style, FALSE, exStyle) != FALSE;
}

int FittingWindowDpi(HMONITOR monitor, int dpi, SIZE designClient, DWORD style, DWORD exStyle) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        return dpi;
    RECT frame = {0, 0, 0, 0};
    if (!AdjustWindowRectForDpi(frame, style, exStyle, dpi))
        return dpi;
    return FittingDpi(dpi, designClient.cx, designClient.cy, frame.right - frame.left, frame.bottom - frame.top,
                      info.rcWork.right - info.rcWork.left, info.rcWork.bottom - info.rcWork.top);
}

namespace {
// The window rectangle around designClient scaled to layoutDpi, with the
// frame of window drawn at dpi; false when the frame cannot be measured.
bool FramedSize(HWND window, SIZE designClient, int layoutDpi, int dpi, RECT& framed) {
    framed = {0, 0, ScaleToDpi(designClient.cx, layoutDpi), ScaleToDpi(designClient.cy, layoutDpi)};
    return AdjustWindowRectForDpi(framed, DWORD(PGetWindowLong(window, GWL_STYLE)),
                                  DWORD(PGetWindowLong(window, GWL_EXSTYLE)), dpi);
}
}  // namespace

bool DpiScaledWindowSize(HWND window, SIZE designClient, int dpi, SIZE& size) {
    RECT framed;
    if (!FramedSize(window, designClient, dpi, dpi, framed))
        return false;
    size.cx = framed.right - framed.left;
    size.cy = framed.bottom - framed.top;
    return true;
}

RECT DpiChangedWindowRect(HWND window, SIZE designClient, int dpi, int layoutDpi, const RECT& suggested) {
    RECT framed;
    if (layoutDpi >= dpi || !FramedSize(window, designClient, layoutDpi, dpi, framed))
        return suggested;
    return {suggested.left, suggested.top, suggested.left + framed.right - framed.left,
            suggested.top + framed.bottom - framed.top};
}
