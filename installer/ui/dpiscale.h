// The arithmetic of display scaling, kept apart from the system's queries so
// that it builds and is tested on any platform. The page, its skins and the
// message boxes are designed in pixels at 96 dots per inch; at another DPI
// every length is multiplied by dpi / 96 and rounded to the nearest pixel
// (halves away from zero, as MulDiv does). At 96 every length stays exactly
// as designed.
#pragma once

constexpr int kDesignDpi = 96;

// value * dpi / 96, rounded to nearest, halves away from zero. A dpi of 0 or
// less (an unknown DPI) counts as 96.
int ScaleToDpi(int value, int dpi);

// Scales a span given by its start and length by its edges, so that spans
// which meet at 96 DPI still meet when scaled: start' = S(start),
// length' = S(start + length) - S(start). A length of 0 ("measure the text")
// stays 0.
void ScaleSpanToDpi(int start, int length, int dpi, int& scaledStart, int& scaledLength);

// The DPI to lay a page out at so that it fits the screen: dpi itself when
// the page scaled to it, plus the window's frame (frameWidth, frameHeight,
// measured at dpi), fits within available; otherwise the largest DPI below it
// at which it fits, but never less than 96 (a screen smaller than the
// designed page gets the design, as before). A page too tall for a laptop at
// 150% would otherwise hide its buttons below the screen's edge.
int FittingDpi(int dpi, int pageWidth, int pageHeight, int frameWidth, int frameHeight, int availableWidth,
               int availableHeight);

// A DPI together with its scale; cheap to copy.
class DpiScale {
public:
    explicit DpiScale(int dpi = kDesignDpi) : dpi_(dpi > 0 ? dpi : kDesignDpi) {}
    int Dpi() const { return dpi_; }
    // True at 96 DPI: every length is drawn as designed, nothing is stretched.
    bool IsIdentity() const { return dpi_ == kDesignDpi; }
    int operator()(int designPixels) const { return ScaleToDpi(designPixels, dpi_); }

private:
    int dpi_;
};
