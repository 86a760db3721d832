// The DPI of windows and of the system, asked at run time: the per-monitor
// functions exist from Windows 10 on; older systems (XP among them) have one
// DPI for everything, the screen's LOGPIXELSX. UI thread or any thread; no
// state besides the functions resolved once from user32.
#pragma once
#include <windows.h>

#include <utility>

// Sent from Windows 8.1 (WM_DPICHANGED) and Windows 10 1703 on; the headers
// declare them only for builds aimed at those systems.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

// The DPI the window is drawn at: GetDpiForWindow where it exists (96 for a
// window Windows scales itself), else the screen's LOGPIXELSX. Never 0.
int WindowDpi(HWND window);
// The system's DPI: GetDpiForSystem, else the screen's LOGPIXELSX. Never 0.
int SystemDpi();
// GetSystemMetricsForDpi where it exists, else GetSystemMetrics (whose
// values are those of the system DPI, the only one older systems have).
int SystemMetricForDpi(int index, int dpi);
// The window rectangle around a client rectangle at dpi:
// AdjustWindowRectExForDpi, else AdjustWindowRectEx. False on failure.
bool AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);

// The DPI to lay out a top-level window's client area of designClient pixels
// (at 96 DPI) at, for a window of that style drawn at dpi on monitor: dpi when
// the scaled client and the frame fit the monitor's work area, otherwise the
// largest DPI that fits (FittingDpi, never below 96). dpi when the monitor's
// work area cannot be read.
int FittingWindowDpi(HMONITOR monitor, int dpi, SIZE designClient, DWORD style, DWORD exStyle);

// A top-level window's answers when its monitor's DPI changes, for a window
// whose client area is designClient pixels at 96 DPI laid out at a DPI of
// its own choosing (FittingWindowDpi):
// WM_GETDPISCALEDSIZE: the window size (frame included) that holds the
// client area scaled to dpi. False when the frame cannot be measured: the
// system then scales the size itself.
bool DpiScaledWindowSize(HWND window, SIZE designClient, int dpi, SIZE& size);
// WM_DPICHANGED: where the window goes, now drawn at dpi with its client
// area laid out at layoutDpi: the suggested rectangle, or, where the layout
// takes less than dpi, one at its position that holds the client area at
// layoutDpi.
RECT DpiChangedWindowRect(HWND window, SIZE designClient, int dpi, int layoutDpi, const RECT& suggested);

// Smooth (HALFTONE) stretching on a device context for the object's life, for
// skins and pictures drawn larger than their bitmaps; the previous mode and
// brush origin come back on destruction.
class SmoothStretch {
public:
    explicit SmoothStretch(HDC dc) : dc_(dc), oldMode_(SetStretchBltMode(dc, HALFTONE)), oldOrigin_{0, 0} {
        // HALFTONE needs the brush origin set after the mode.
        SetBrushOrgEx(dc, 0, 0, &oldOrigin_);
    }
    ~SmoothStretch() {
        if (!dc_)
            return;  // moved away
        SetBrushOrgEx(dc_, oldOrigin_.x, oldOrigin_.y, nullptr);
        if (oldMode_)
            SetStretchBltMode(dc_, oldMode_);
    }
    // Moves (the new owner restores; the old one does nothing), but is not
    // reassigned: one context, one restoration.
    SmoothStretch(SmoothStretch&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), oldMode_(other.oldMode_), oldOrigin_(other.oldOrigin_) {}
    SmoothStretch& operator=(SmoothStretch&&) = delete;
    SmoothStretch(const SmoothStretch&) = delete;
    SmoothStretch& operator=(const SmoothStretch&) = delete;

private:
    HDC dc_;
    int oldMode_;
    POINT oldOrigin_;
};
