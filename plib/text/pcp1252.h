// The code page 1252 tables behind PCp1252Decode and PCp1252Encode.
#pragma once
#include <cstdint>

struct PCp1252Pair {
    uint16_t codePoint;
    uint8_t byte;
};
extern const uint16_t PCp1252HighTable[128];
// The 123 defined bytes from 0x80 up, sorted by code point (U+00A0..U+2122).
extern const PCp1252Pair PCp1252EncodeTable[123];
