#include "dpiscale.h"

#include <cstdint>

int ScaleToDpi(int value, int dpi) {
    if (dpi <= 0 || dpi == DesignDpi)
        return value;
    const int64_t product = int64_t(value) * dpi;
    const int64_t half = DesignDpi / 2;
    return int(product >= 0 ? (product + half) / DesignDpi : -((-product + half) / DesignDpi));
}

void ScaleSpanToDpi(int start, int length, int dpi, int& scaledStart, int& scaledLength) {
    scaledStart = ScaleToDpi(start, dpi);
    scaledLength = length ? ScaleToDpi(start + length, dpi) - scaledStart : 0;
}
