// Byte sources: the abstract input stream and its in-memory implementation.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pblock.h"

class PInputStream {
public:
    // Copies up to n bytes; returns how many, 0 at the end.
    virtual size_t read(void* buffer, size_t n) = 0;
    virtual ~PInputStream() {}
};

// Reads a block it does not own, from position 0.
class PMemInputStream : public PInputStream {
public:
    explicit PMemInputStream(const _PBlock& block) : data_(block.ptr()), size_(block.size()), pos_(0) {}
    PMemInputStream(const void* data, uint32_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size), pos_(0) {}
    size_t read(void* buffer, size_t n) override;

private:
    const uint8_t* data_;
    uint32_t size_;
    uint32_t pos_;
};
