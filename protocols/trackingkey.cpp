#include "trackingkey.h"

#include <cstring>

#include "inixor.h"

const uint8_t kTrackingKeyBase[kTrackingKeySize] = {
    0xD2, 0xA0, 0x91, 0x30, 0xF4, 0x3B, 0x24, 0x1D, 0x84, 0x62, 0x8F, 0x4C, 0xEC, 0xA8, 0x89,
    0x8A, 0xCF, 0xF8, 0x22, 0x30, 0x16, 0x29, 0xD0, 0x0D, 0xD7, 0x26, 0x39, 0xDF, 0xF8, 0x94,
    0xAB, 0x18, 0x3B, 0x7C, 0xBF, 0xB4, 0xFF, 0xE9, 0x79, 0xD0, 0x3E, 0x93, 0x40, 0xDB, 0x00,
};

// "Morvandite card room tracking" and its terminating zero.
const uint8_t kTrackingKeyMask[kTrackingMaskSize] = {
    'M', 'o', 'r', 'v', 'a', 'n', 'd', 'i', 't', 'e', ' ', 'c', 'a', 'r', 'd',
    ' ', 'r', 'o', 'o', 'm', ' ', 't', 'r', 'a', 'c', 'k', 'i', 'n', 'g', 0x00,
};

void BuildTrackingKey(_PBlock& key) {
    std::memcpy(key.alloc(kTrackingKeySize), kTrackingKeyBase, kTrackingKeySize);
    _PBlock mask;
    std::memcpy(mask.alloc(kTrackingMaskSize), kTrackingKeyMask, kTrackingMaskSize);
    XorBlock(key, mask);
}
