// Narrow NUL-terminated string (code page 1252 or PStringX UTF-8) and the
// UTF-16 buffer used for wide system calls, both on top of _PBlock.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pblock.h"

class PString : public _PBlock {
public:
    PString() {}
    PString(const char* text);
    PString(const char* begin, const char* end);
    PString(const char* text, int length);
    PString(const PString& other) : _PBlock(other) {}
    PString(PString&& other) noexcept : _PBlock(static_cast<_PBlock&&>(other)) {}
    PString& operator=(const PString& other);
    PString& operator=(PString&& other) noexcept;
    PString& operator=(const char* text) { return assign(text); }

    PString& assign(const char* text);
    PString& assign(const char* text, int length);

    PString& append(char c);
    PString& append(const char* text);
    PString& append(const char* text, int n);
    PString& append(const PString& s) { return append(s.text()); }
    PString& appendInt(int32_t v);
    PString& appendInt64(int64_t v);
    PString& appendUint(uint32_t v);
    PString& appendHex(uint32_t v);
    PString& appendHex64(uint64_t v);

    // The text, never null: "" for an empty string.
    const char* text() const { return ptr_ ? reinterpret_cast<const char*>(ptr_) : ""; }
    char* data() { return reinterpret_cast<char*>(ptr_); }
    // Characters without the terminating NUL.
    uint32_t length() const { return size_ ? size_ - 1 : 0; }
    bool empty() const { return length() == 0; }
    // Cuts the text to n bytes (n below the current length).
    void truncate(uint32_t n);

private:
    void appendDigits(const char* digits, int n);
};

class PWString : public _PBlock {
public:
    void append(uint16_t unit) {
        uint8_t* p = _realloc(2);
        p[0] = uint8_t(unit);
        p[1] = uint8_t(unit >> 8);
    }
    // Closes the buffer with one 0 unit, ready for a wide call.
    void terminate() { append(0); }
    void release() { clear(); }
    uint32_t units() const { return size_ / 2; }
#ifdef _WIN32
    const wchar_t* wide() const;
#endif
    uint16_t unit(uint32_t i) const { return uint16_t(ptr_[2 * i] | (ptr_[2 * i + 1] << 8)); }
};

// Helpers on narrow texts.
const char* PSkipBlanks(const char* s);
// End of s without its trailing blanks (space and tab).
const char* PEndWithoutBlanks(const char* s);
// Compares ignoring ASCII case; the difference of the first differing folded bytes.
int PCompareNoCase(const char* a, const char* b);
// The same over at most n bytes, stopping after a terminating zero (strnicmp);
// 0 when those bytes are equal. Reads no further than n bytes or the first zero.
int PCompareNoCaseN(const char* a, const char* b, size_t n);
// Lower-cases A-Z in place.
void PLowerAscii(char* s);
