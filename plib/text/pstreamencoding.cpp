// Stream decoders: UTF-8 and table-driven single-byte code pages.
#include "pencoding.h"
#include "perror.h"

const PStreamEncodingUtf8 PStreamUtf8;
const PStreamEncodingWin1252 PStreamWin1252;

size_t PStreamEncodingUtf8::decode(uint16_t*& out, uint16_t* outEnd, const uint8_t*& in,
                                   const uint8_t* inEnd) const {
    size_t n = 0;
    while (out < outEnd && in < inEnd) {
        if (*in == 0) {
            // In a stream a NUL is a character, not the end.
            *out++ = 0;
            ++in;
            ++n;
            continue;
        }
        const uint8_t* p = in;
        int32_t c = PDecodeUtf8(p, inEnd);
        if (c == PDECODE_CUT_OFF)
            break;  // the rest of the sequence comes with the next call
        in = p;
        if (c == PDECODE_MALFORMED)
            throw PI18NError("UTF-8 format error");
        *out++ = uint16_t(c);
        ++n;
    }
    return n;
}

size_t PStreamEncodingCodePage::decode(uint16_t*& out, uint16_t* outEnd, const uint8_t*& in,
                                       const uint8_t* inEnd) const {
    size_t n = 0;
    while (in < inEnd && out < outEnd) {
        uint8_t b = *in++;
        uint16_t c = b < 0x80 ? b : high_[b - 0x80];
        if (b >= 0x80 && c == 0)
            continue;  // undefined in this code page
        *out++ = c;
        ++n;
    }
    return n;
}
