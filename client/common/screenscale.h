// Sizes and fonts of the client's windows at the system's display scale.
// Their manifests declare them DPI aware, so every length they lay out is
// designed at 96 DPI and scaled here. Windows only; call from the UI thread.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "punique.h"

// The system's DPI (the screen's LOGPIXELSY); 96 when it cannot be read.
inline int SystemDpi() {
    UniqueWindowDc screen(nullptr);
    int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi ? dpi : 96;
}

// A length designed at 96 DPI, at `dpi`.
inline int ScaleToDpi(int designed, int dpi) { return MulDiv(designed, dpi, 96); }

// The programs' Tahoma, `height` pixels designed at 96 DPI, at `dpi`; null
// when the system cannot make it. The caller owns the font.
inline UniqueGdiObject MakeTahoma(int height, int weight, int dpi) {
    return UniqueGdiObject(CreateFontW(-ScaleToDpi(height, dpi), 0, 0, 0, weight, FALSE, FALSE,
                                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                       DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
}
