// Owned, growable heap block: the storage under every string of the program.
#pragma once
#include <cstddef>
#include <cstdint>

class _PBlock {
public:
    _PBlock() : ptr_(nullptr), size_(0), capacity_(0) {}
    _PBlock(const _PBlock& other);
    _PBlock(_PBlock&& other) noexcept;
    _PBlock& operator=(_PBlock&& other) noexcept;
    _PBlock& operator=(const _PBlock& other);
    ~_PBlock();

    uint8_t* ptr() { return ptr_; }
    const uint8_t* ptr() const { return ptr_; }
    uint32_t size() const { return size_; }
    uint32_t capacity() const { return capacity_; }

    // Room for n bytes whose old contents need not survive; n = 0 frees the block.
    uint8_t* alloc(uint32_t n);
    // The append step: size grows by k; returns the first of the k new bytes.
    uint8_t* _realloc(uint32_t k);
    // Frees the block: (null, 0, 0).
    void clear();
    // Shortens the bytes in use without touching the allocation.
    void setSize(uint32_t n);

    // Allocation primitives, replaceable so that tests can make them fail.
    struct Allocator {
        void* (*allocate)(size_t);
        void* (*reallocate)(void*, size_t);
    };
    static Allocator SetAllocator(Allocator a);

protected:
    // For a block being constructed: exactly n bytes, size = capacity = n.
    void _alloc(uint32_t n);

    uint8_t* ptr_;
    uint32_t size_;
    uint32_t capacity_;
};
