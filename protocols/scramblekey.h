// The two constant blocks the scrambling key is built from. The installed
// client and the support tools unscramble with the same key, so these bytes
// must never change; the encrypted INI form and tinfo.dat take them from here.
#pragma once
#include <cstdint>

constexpr uint32_t kScrambleKeySize = 45;
constexpr uint32_t kScrambleMaskSize = 30;

// Key byte i = kScrambleKeyBase[i] ^ kScrambleKeyMask[i % 30]. The key is only
// ever assembled at run time, so it does not appear whole in the executable.
extern const uint8_t kScrambleKeyBase[kScrambleKeySize];
extern const uint8_t kScrambleKeyMask[kScrambleMaskSize];
