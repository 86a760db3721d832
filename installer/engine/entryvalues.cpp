#include "entryvalues.h"

#include <cstdio>
#include <cstring>

namespace {
uint32_t ReadU32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t ReadU16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
}  // namespace

bool ProductVersionText(const void* data, uint32_t length, PString& out) {
    // wLength, wValueLength, wType, L"VS_VERSION_INFO\0", padding to 4, then
    // the fixed part: signature, structure version, file version (2 x 32 bits),
    // product version (2 x 32 bits), ...
    static const char kKey[] = "VS_VERSION_INFO";
    const uint32_t keyBytes = sizeof kKey * 2;  // with its terminating zero
    const uint32_t fixedAt = (6 + keyBytes + 3) & ~3u;
    const uint32_t fixedLength = 52;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (!p || length < fixedAt + fixedLength)
        return false;
    const uint32_t declared = ReadU16(p);
    if (declared < fixedAt + fixedLength || declared > length || ReadU16(p + 2) < fixedLength)
        return false;
    for (uint32_t i = 0; i < sizeof kKey; ++i)
        if (ReadU16(p + 6 + 2 * i) != uint16_t(static_cast<unsigned char>(kKey[i])))
            return false;
    const unsigned char* fixed = p + fixedAt;
    if (ReadU32(fixed) != 0xFEEF04BDu)
        return false;
    const uint32_t ms = ReadU32(fixed + 16), ls = ReadU32(fixed + 20);
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(ms >> 16), unsigned(ms & 0xFFFF), unsigned(ls >> 16),
                  unsigned(ls & 0xFFFF));
    out = PString(text);
    return true;
}

uint32_t SizeInKiB(uint64_t bytes) {
    const uint64_t kib = bytes / 1024 + (bytes % 1024 ? 1 : 0);
    return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(kib);
}
