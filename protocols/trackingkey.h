// The key of the tracking block that distributors append to the installer
// (tinfo stamp writes it, the installer reads it at start). It is a key of its
// own, not the INI scrambling key: tinfo.dat, which the installer leaves for
// the client, uses that one.
#pragma once
#include <cstdint>

#include "pblock.h"

constexpr uint32_t kTrackingKeySize = 45;
constexpr uint32_t kTrackingMaskSize = 30;

// Key byte i = kTrackingKeyBase[i] ^ kTrackingKeyMask[i % 30]. The last byte of
// the base and of the mask (29 text bytes) is zero. Stamped installers in
// circulation depend on these bytes: never change them.
extern const uint8_t kTrackingKeyBase[kTrackingKeySize];
extern const uint8_t kTrackingKeyMask[kTrackingMaskSize];

// Assembles the 45-byte key into key (built at every use, so that it never
// stands whole in the executable).
void BuildTrackingKey(_PBlock& key);
