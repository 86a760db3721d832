#include "dpiscale.h"

#include <cstdint>

int ScaleToDpi(int value, int dpi) {
    if (dpi <= 0 || dpi == kDesignDpi)
        return value;
    const int64_t product = int64_t(value) * dpi;
    const int64_t half = kDesignDpi / 2;
    return int(product >= 0 ? (product + half) / kDesignDpi : -((-product + half) / kDesignDpi));
}

void ScaleSpanToDpi(int start, int length, int dpi, int& scaledStart, int& scaledLength) {
    scaledStart = ScaleToDpi(start, dpi);
    scaledLength = length ? ScaleToDpi(start + length, dpi) - scaledStart : 0;
}

int FittingDpi(int dpi, int pageWidth, int pageHeight, int frameWidth, int frameHeight, int availableWidth,
               int availableHeight) {
    if (dpi <= kDesignDpi)
        return dpi > 0 ? dpi : kDesignDpi;
    auto fits = [&](int d) {
        return ScaleToDpi(pageWidth, d) + frameWidth <= availableWidth &&
               ScaleToDpi(pageHeight, d) + frameHeight <= availableHeight;
    };
    int d = dpi;
    while (d > kDesignDpi && !fits(d))
        --d;
    return d;
}
