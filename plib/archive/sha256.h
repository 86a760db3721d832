// SHA-256 (FIPS 180-4), portable: the installer checks its payload with it
// and the build tools compute the digest they store beside the payload.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

using Sha256Digest = std::array<uint8_t, 32>;

// The digest of size bytes at data (data may be null when size is 0).
// Never throws; thread-safe.
Sha256Digest Sha256(const uint8_t* data, size_t size);

// How blocks are compressed: portable code, or the processor's SHA
// extensions (x86 SHA-NI: about ten times faster, which is most of the time a
// 90 MB payload's check takes). Both give the same digest.
enum class Sha256Engine { Portable, ShaExtensions };

// ShaExtensions when this processor (x86 with SHA, SSSE3 and SSE4.1) has
// them, otherwise Portable. Asked once; thread-safe.
Sha256Engine Sha256FastestEngine();

// Incremental hashing for data that arrives in pieces: Update any number of
// times, then Final once; Final leaves the object ready for a new message.
// An engine the processor lacks falls back to Portable (engine() says which
// is used). One object per thread. Never throws.
class Sha256Hasher {
public:
    explicit Sha256Hasher(Sha256Engine engine = Sha256FastestEngine());
    Sha256Engine engine() const { return engine_; }
    void Reset();
    void Update(const uint8_t* data, size_t size);
    Sha256Digest Final();

private:
    void Blocks(const uint8_t* blocks, size_t count);

    Sha256Engine engine_;
    uint32_t state_[8];
    uint64_t length_;  // bytes hashed so far
    uint8_t buffer_[64];
    size_t buffered_;
};
