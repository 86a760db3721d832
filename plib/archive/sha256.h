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

// Incremental hashing for data that arrives in pieces: Update any number of
// times, then Final once; Final leaves the object ready for a new message.
// One object per thread. Never throws.
class Sha256Hasher {
public:
    Sha256Hasher() { Reset(); }
    void Reset();
    void Update(const uint8_t* data, size_t size);
    Sha256Digest Final();

private:
    void Block(const uint8_t* block);

    uint32_t state_[8];
    uint64_t length_;  // bytes hashed so far
    uint8_t buffer_[64];
    size_t buffered_;
};
