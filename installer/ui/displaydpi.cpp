#include "displaydpi.h"

#include "dpiscale.h"

#include "punique.h"

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
