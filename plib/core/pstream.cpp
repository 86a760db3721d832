#include "pstream.h"

#include <cstring>

size_t PMemInputStream::read(void* buffer, size_t n) {
    size_t left = size_ - pos_;
    if (n > left)
        n = left;
    if (n) {
        std::memcpy(buffer, data_ + pos_, n);
        pos_ += uint32_t(n);
    }
    return n;
}
