#include "pblock.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "perror.h"

namespace {
_PBlock::Allocator g_allocator = {&std::malloc, &std::realloc};
}

_PBlock::Allocator _PBlock::SetAllocator(Allocator a) {
    Allocator old = g_allocator;
    g_allocator = a;
    return old;
}

_PBlock::_PBlock(const _PBlock& other) : ptr_(nullptr), size_(0), capacity_(0) {
    if (other.size_ == 0)
        return;
    ptr_ = static_cast<uint8_t*>(g_allocator.allocate(other.size_));
    if (!ptr_)
        throw PSystemMemoryError("_PBlock::_PBlock( other ), number of bytes requested", other.size_);
    std::memcpy(ptr_, other.ptr_, other.size_);
    size_ = capacity_ = other.size_;
}

_PBlock::_PBlock(_PBlock&& other) noexcept
    : ptr_(other.ptr_), size_(other.size_), capacity_(other.capacity_) {
    other.ptr_ = nullptr;
    other.size_ = other.capacity_ = 0;
}

_PBlock& _PBlock::operator=(_PBlock&& other) noexcept {
    if (this == &other)
        return *this;
    std::free(ptr_);
    ptr_ = other.ptr_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.ptr_ = nullptr;
    other.size_ = other.capacity_ = 0;
    return *this;
}

_PBlock& _PBlock::operator=(const _PBlock& other) {
    if (this != &other) {
        _PBlock copy(other);
        *this = std::move(copy);
    }
    return *this;
}

_PBlock::~_PBlock() { std::free(ptr_); }

void _PBlock::_alloc(uint32_t n) {
    ptr_ = nullptr;
    size_ = capacity_ = 0;
    if (n == 0)
        return;
    ptr_ = static_cast<uint8_t*>(g_allocator.allocate(n));
    if (!ptr_)
        throw PSystemMemoryError("_PBlock::_alloc, number of bytes requested", n);
    size_ = capacity_ = n;
}

uint8_t* _PBlock::alloc(uint32_t n) {
    if (n == 0) {
        clear();
        return nullptr;
    }
    if (capacity_ >= n && !(capacity_ > 64 && n < capacity_ / 2)) {
        size_ = n;
        return ptr_;
    }
    clear();
    ptr_ = static_cast<uint8_t*>(g_allocator.allocate(n));
    if (!ptr_)
        throw PSystemMemoryError("_PBlock::alloc, number of bytes requested", n);
    size_ = capacity_ = n;
    return ptr_;
}

uint8_t* _PBlock::_realloc(uint32_t k) {
    uint32_t newSize = size_ + k;
    if (newSize < size_)  // 32-bit overflow: no block can hold it
        throw PSystemMemoryError("_PBlock::_realloc, number of bytes requested", uint64_t(size_) + k);
    if (capacity_ < newSize) {
        uint64_t want = newSize > 32 ? uint64_t(newSize) * 2 : 64;
        if (want > 0xFFFFFFFFu)
            want = newSize;
        void* p = g_allocator.reallocate(ptr_, size_t(want));
        if (!p)
            throw PSystemMemoryError("_PBlock::_realloc, number of bytes requested", want);
        ptr_ = static_cast<uint8_t*>(p);
        capacity_ = uint32_t(want);
    }
    uint8_t* first = ptr_ + size_;
    size_ = newSize;
    return first;
}

void _PBlock::clear() {
    std::free(ptr_);
    ptr_ = nullptr;
    size_ = capacity_ = 0;
}

void _PBlock::setSize(uint32_t n) {
    if (n <= capacity_)
        size_ = n;
}
