#include "pstring.h"

#include <cstring>
#include <utility>

PString::PString(const char* text) {
    uint32_t n = text ? uint32_t(std::strlen(text)) : 0;
    if (n == 0)
        return;
    _alloc(n + 1);
    std::memcpy(ptr_, text, n + 1);
}

PString::PString(const char* begin, const char* end) {
    if (!begin || end <= begin)
        return;
    const void* nul = std::memchr(begin, 0, size_t(end - begin));
    uint32_t n = uint32_t((nul ? static_cast<const char*>(nul) : end) - begin);
    if (n == 0)
        return;
    _alloc(n + 1);
    std::memcpy(ptr_, begin, n);
    ptr_[n] = 0;
}

PString::PString(const char* text, int length) {
    if (!text || length <= 0)
        return;
    const void* nul = std::memchr(text, 0, size_t(length));
    uint32_t n = nul ? uint32_t(static_cast<const char*>(nul) - text) : uint32_t(length);
    if (n == 0)
        return;
    _alloc(n + 1);
    std::memcpy(ptr_, text, n);
    ptr_[n] = 0;
}

PString& PString::operator=(const PString& other) {
    if (this != &other)
        assign(other.text(), int(other.length()));
    return *this;
}

PString& PString::operator=(PString&& other) noexcept {
    _PBlock::operator=(static_cast<_PBlock&&>(other));
    return *this;
}

PString& PString::assign(const char* text) {
    return assign(text, text ? int(std::strlen(text)) : 0);
}

PString& PString::assign(const char* text, int length) {
    uint32_t n = 0;
    if (text && length > 0) {
        const void* nul = std::memchr(text, 0, size_t(length));
        n = nul ? uint32_t(static_cast<const char*>(nul) - text) : uint32_t(length);
    }
    if (n == 0) {
        clear();
        return *this;
    }
    uint32_t needed = n + 1;
    // The source may live inside this string's own block: fit in place with memmove.
    if (capacity_ >= needed && !(capacity_ > 64 && needed < capacity_ / 2)) {
        std::memmove(ptr_, text, n);
        ptr_[n] = 0;
        size_ = needed;
        return *this;
    }
    PString fresh(text, int(n));
    *this = std::move(fresh);
    return *this;
}

PString& PString::append(char c) {
    if (c == 0)
        return *this;
    return append(&c, 1);
}

PString& PString::append(const char* text) {
    if (!text || !*text)
        return *this;
    return append(text, int(std::strlen(text)));
}

PString& PString::append(const char* text, int n) {
    if (!text || n <= 0)
        return *this;
    const void* nul = std::memchr(text, 0, size_t(n));
    uint32_t k = nul ? uint32_t(static_cast<const char*>(nul) - text) : uint32_t(n);
    if (k == 0)
        return *this;
    // The text may point into this string: remember its offset across the growth.
    bool inside = ptr_ && reinterpret_cast<const uint8_t*>(text) >= ptr_ &&
                  reinterpret_cast<const uint8_t*>(text) < ptr_ + capacity_;
    size_t offset = inside ? size_t(reinterpret_cast<const uint8_t*>(text) - ptr_) : 0;
    uint8_t* dest = size_ == 0 ? _realloc(k + 1) : _realloc(k) - 1;
    const char* src = inside ? reinterpret_cast<const char*>(ptr_) + offset : text;
    std::memmove(dest, src, k);
    dest[k] = 0;
    return *this;
}

void PString::appendDigits(const char* digits, int n) { append(digits, n); }

PString& PString::appendUint(uint32_t v) {
    char buf[16];
    int i = sizeof buf;
    do {
        buf[--i] = char('0' + v % 10);
        v /= 10;
    } while (v);
    appendDigits(buf + i, int(sizeof buf) - i);
    return *this;
}

PString& PString::appendInt(int32_t v) {
    if (v < 0) {
        append('-');
        return appendUint(uint32_t(0) - uint32_t(v));
    }
    return appendUint(uint32_t(v));
}

PString& PString::appendInt64(int64_t v) {
    uint64_t u = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
    if (v < 0)
        append('-');
    char buf[24];
    int i = sizeof buf;
    do {
        buf[--i] = char('0' + u % 10);
        u /= 10;
    } while (u);
    appendDigits(buf + i, int(sizeof buf) - i);
    return *this;
}

PString& PString::appendHex64(uint64_t v) {
    static const char hex[] = "0123456789ABCDEF";
    char buf[20];
    int i = sizeof buf;
    do {
        buf[--i] = hex[v & 15];
        v >>= 4;
    } while (v);
    appendDigits(buf + i, int(sizeof buf) - i);
    return *this;
}

PString& PString::appendHex(uint32_t v) { return appendHex64(v); }

void PString::truncate(uint32_t n) {
    if (n >= length())
        return;
    if (n == 0) {
        clear();
        return;
    }
    ptr_[n] = 0;
    size_ = n + 1;
}

#ifdef _WIN32
const wchar_t* PWString::wide() const {
    static const wchar_t empty[1] = {0};
    return ptr_ ? reinterpret_cast<const wchar_t*>(ptr_) : empty;
}
#endif

const char* PSkipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t')
        ++s;
    return s;
}

const char* PEndWithoutBlanks(const char* s) {
    const char* end = s + std::strlen(s);
    while (end > s && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    return end;
}

namespace {
int FoldToUpperAscii(char c) {
    const int u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
}
}  // namespace

int PCompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int ca = FoldToUpperAscii(*a), cb = FoldToUpperAscii(*b);
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

int PCompareNoCaseN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const int ca = FoldToUpperAscii(a[i]), cb = FoldToUpperAscii(b[i]);
        if (ca != cb || ca == 0)
            return ca - cb;
    }
    return 0;
}

void PLowerAscii(char* s) {
    for (; *s; ++s)
        if (*s >= 'A' && *s <= 'Z')
            *s = char(*s + ('a' - 'A'));
}
