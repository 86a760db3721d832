// The payload's integrity digest: SHA-256 over every byte of the packed
// payload, stored as 32 raw bytes beside it (the installer keeps it in a
// resource of its own) and, at build time, in a file beside the packed
// payload (its name plus ".sha256"). The payload format itself carries no check.
#pragma once
#include <cstddef>
#include <cstdint>

#include "payload.h"
#include "pstring.h"
#include "sha256.h"

constexpr size_t PayloadDigestSize = 32;
// The digest file beside a packed payload: the payload's name plus this.
constexpr const char PayloadDigestSuffix[] = ".sha256";

// True when digest (digestSize bytes; null when there is none) is exactly
// the SHA-256 of the payload's size bytes. Otherwise false, with why (when
// given) saying whether the digest is missing, malformed or does not match.
// A missing digest is a failure: an installer without one cannot vouch for
// its payload. Reads only; thread-safe; never throws.
bool PayloadDigestMatches(const void* payload, size_t size, const void* digest, size_t digestSize,
                          PString* why = nullptr);

// The same for a payload read piece by piece (from a file through a bounded
// buffer, so that checking needs memory independent of the payload's size).
// Throws PayloadReadError when its bytes cannot be read.
bool PayloadDigestMatches(IPayloadSource& payload, const void* digest, size_t digestSize, PString* why = nullptr);
