// Text encodings. Every narrow text of the program is PStringX: code page 1252
// bytes while every character has such a byte, otherwise the marker byte 0x10
// followed by UTF-8. The encoding objects here decode, append and format such
// texts; the free functions convert them to and from UTF-16 for wide calls.
// Code points are 16-bit: decoders may return larger values, but appending
// and UTF-16 conversion keep the low 16 bits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "pstring.h"

// First byte of a PStringX text whose remainder is UTF-8.
constexpr uint8_t PSTRINGX_UTF8_MARKER = 0x10;

// Results of the decoders besides code points (positive) and the end (0).
constexpr int32_t PDECODE_CUT_OFF = -1;    // a UTF-8 sequence runs past the end
constexpr int32_t PDECODE_MALFORMED = -2;  // a byte that cannot start or continue a sequence

class PStringEncoding {
public:
    class ParserHolder;

    // Reads the characters of one text, one at a time.
    class Parser {
    public:
        virtual ~Parser() {}
        // Starts on [begin, end); a null end means begin + strlen(begin).
        // Returns the position of the first character.
        virtual const char* init(const char* begin, const char* end) = 0;
        // The next code point, 0 at the end, PDECODE_CUT_OFF or PDECODE_MALFORMED.
        virtual int32_t next() = 0;
        // -1, 0 or 1 by current position (both parsers on the same text).
        virtual int compare(const Parser& other) const = 0;
        virtual void cloneInto(ParserHolder& holder) const = 0;
        virtual const char* position() const = 0;
    };

    // Caller-owned storage in which an encoding builds its parser, so that
    // making a parser never allocates.
    class ParserHolder {
    public:
        ParserHolder() : parser_(nullptr) {}
        ~ParserHolder() { reset(); }
        ParserHolder(const ParserHolder&) = delete;
        ParserHolder& operator=(const ParserHolder&) = delete;

        Parser* get() const { return parser_; }
        Parser* operator->() const { return parser_; }
        void reset() {
            if (parser_)
                parser_->~Parser();
            parser_ = nullptr;
        }
        template <class T, class... Args>
        T* emplace(Args&&... args) {
            static_assert(sizeof(T) <= sizeof storage_, "parser too large for its holder");
            static_assert(alignof(T) <= kStorageAlignment, "parser alignment");
            reset();
            T* p = new (storage_) T(static_cast<Args&&>(args)...);
            parser_ = p;
            return p;
        }

    private:
        // A fixed alignment rather than alignof(std::max_align_t), which
        // differs with the <stddef.h> a file happens to include first on
        // mingw (8 or 16) and so gave the class two layouts in one program.
        static constexpr std::size_t kStorageAlignment = 8;
        alignas(kStorageAlignment) unsigned char storage_[48];
        Parser* parser_;
    };

    // NUL policy bits: what appending code point 0 does (neither bit: dropped).
    static constexpr uint8_t NUL_THROWS = 0x01;    // PInternalError
    static constexpr uint8_t NUL_REPLACED = 0x02;  // replaced by the replacement character

    constexpr PStringEncoding(uint8_t options, uint8_t nulPolicy, uint16_t replacement)
        : options_(options), nulPolicy_(nulPolicy), replacement_(replacement) {}
    virtual ~PStringEncoding() {}

    // A new heap object with the same options, NUL policy and replacement.
    virtual PStringEncoding* clone() const = 0;
    virtual void createParser(ParserHolder& holder) const = 0;
    // Appends one character to s.
    virtual void appendChar(PString& s, uint32_t codePoint) const = 0;
    // Number of characters of a NUL-terminated text.
    virtual uint32_t length(const char* text) const = 0;
    // The message formatter: appends pattern to out with %0..%9, %%, %L<d>
    // and %l<d> resolved against args[0..argc); any other directive, or a
    // digit not below argc, gives nothing. Byte mode unless out, the pattern
    // or an argument is marked UTF-8; then code points through appendChar.
    // Malformed UTF-8 ends the formatting (in the pattern) or the argument.
    // A null argument counts as ""; pattern and arguments may point into out.
    virtual void format(PString& out, const char* pattern, int argc, const char* const* args) const = 0;

    uint8_t options() const { return options_; }
    uint8_t nulPolicy() const { return nulPolicy_; }
    uint16_t replacement() const { return replacement_; }

protected:
    uint8_t options_;
    uint8_t nulPolicy_;
    uint16_t replacement_;
};

class PStringEncodingPStringX : public PStringEncoding {
public:
    class _PStringXStringParserImpl : public Parser {
    public:
        _PStringXStringParserImpl() : utf8_(false), pos_(nullptr), end_(nullptr) {}
        const char* init(const char* begin, const char* end) override;
        int32_t next() override;
        int compare(const Parser& other) const override;
        void cloneInto(ParserHolder& holder) const override;
        const char* position() const override { return pos_; }
        bool isUtf8() const { return utf8_; }

    private:
        bool utf8_;
        const char* pos_;
        const char* end_;
    };

    constexpr PStringEncodingPStringX(uint8_t options = 0x0F, uint8_t nulPolicy = 0, uint16_t replacement = 0)
        : PStringEncoding(options, nulPolicy, replacement) {}

    PStringEncoding* clone() const override;
    void createParser(ParserHolder& holder) const override;
    void appendChar(PString& s, uint32_t codePoint) const override;
    uint32_t length(const char* text) const override;
    void format(PString& out, const char* pattern, int argc, const char* const* args) const override;
};

// The two process-wide encodings (options 0x0F, NUL policy 0, replacement 0).
// PStringXEncoding: controls, system-call wrappers, the Append* functions.
// PStringXMessageEncoding: the locale catalogue's, which formats messages.
extern const PStringEncodingPStringX PStringXEncoding;
extern const PStringEncodingPStringX PStringXMessageEncoding;

// True when text is in the marked UTF-8 form.
inline bool IsPStringXUtf8(const char* text) {
    return text && static_cast<uint8_t>(text[0]) == PSTRINGX_UTF8_MARKER;
}

// Appends c (low 16 bits) by the PStringX rule: a code page 1252 byte while
// s is single-byte and c has one; otherwise s turns into marked UTF-8 once
// (never back) and c is appended as UTF-8. Code point 0 appends nothing.
void AppendCodePoint(PString& s, uint32_t codePoint);
// Appends every character of a PStringX text; malformed UTF-8 sequences are
// skipped, a sequence cut off by the end of the text ends it.
void AppendText(PString& s, const char* text);
// Appends the byte's value (0..255) as a code point.
void AppendChar(PString& s, char byte);

// Appends the text's characters as UTF-16 units (no terminator: call
// w.terminate() before a system call). Stops silently at the end or at
// malformed or cut-off UTF-8. A null encoding takes every byte as code page
// 1252 (the marker is not interpreted).
void ToWide(PWString& w, const char* text, const PStringEncoding* encoding);
// As ToWide, with LF written as CR LF and CR dropped.
void ToWideCrLf(PWString& w, const char* text, const PStringEncoding* encoding);
// As ToWide, into a standard wide string (one UTF-16 unit per wchar_t, also
// where wchar_t is wider), for code that works on those: the folder rules.
std::wstring ToWideString(const char* text, const PStringEncoding* encoding);
// Appends every unit up to the first 0 through the encoding's appendChar
// (null: PStringXEncoding); surrogates are not combined.
void FromWide(PString& s, const uint16_t* text, const PStringEncoding* encoding);
// As FromWide, with every CR skipped.
void FromWideNoCr(PString& s, const uint16_t* text, const PStringEncoding* encoding);
#ifdef _WIN32
void FromWide(PString& s, const wchar_t* text, const PStringEncoding* encoding);
void FromWideNoCr(PString& s, const wchar_t* text, const PStringEncoding* encoding);
// The ANSI code page conversions (CP_ACP), terminator included; a null text
// converts as "".
void AnsiToWide(PWString& w, const char* text);
void WideToAnsi(PString& s, const wchar_t* text);
#endif

// Building blocks, shared with the stream decoders and the formatter.

// Decodes one UTF-8 character at p. end null: the text is NUL-terminated.
// On success p moves past the sequence. PDECODE_CUT_OFF leaves p on the lead
// byte; PDECODE_MALFORMED moves p past the bad lead byte, or up to (not past)
// the first bad continuation byte, so decoding always progresses and never
// reads past a terminator. Overlong forms and surrogates are accepted.
int32_t PDecodeUtf8(const uint8_t*& p, const uint8_t* end);
// Appends the UTF-8 bytes of a 16-bit code point (0 appends nothing).
void PAppendUtf8(PString& s, uint16_t codePoint);
// Code page 1252: the code point of a byte (0 for the five undefined bytes),
// and the byte of a code point (-1 when it has none).
uint16_t PCp1252Decode(uint8_t byte);
int PCp1252Encode(uint32_t codePoint);
// The lower-case letter of c by the one-to-one BMP mappings; c otherwise.
uint32_t PLowerCodePoint(uint32_t codePoint);

// Stream decoders: bytes in UTF-8 or code page 1252 into 16-bit units.
class PStreamEncoding {
public:
    // Decodes from [in, inEnd) into [out, outEnd), advancing both cursors;
    // returns the number of units written.
    virtual size_t decode(uint16_t*& out, uint16_t* outEnd, const uint8_t*& in, const uint8_t* inEnd) const = 0;
    virtual ~PStreamEncoding() {}
};

// Stops at a sequence cut off by the end of the input, leaving the cursor on
// its lead byte for the next call; malformed input throws PI18NError
// "UTF-8 format error".
class PStreamEncodingUtf8 : public PStreamEncoding {
public:
    constexpr PStreamEncodingUtf8() {}
    size_t decode(uint16_t*& out, uint16_t* outEnd, const uint8_t*& in, const uint8_t* inEnd) const override;
};

// Single-byte code pages: bytes below 0x80 are themselves, the others come
// from a 128-entry table in which 0 marks an undefined byte (consumed, no output).
class PStreamEncodingCodePage : public PStreamEncoding {
public:
    size_t decode(uint16_t*& out, uint16_t* outEnd, const uint8_t*& in, const uint8_t* inEnd) const override;

protected:
    constexpr explicit PStreamEncodingCodePage(const uint16_t* high) : high_(high) {}

private:
    const uint16_t* high_;
};

// Code points of the bytes 0x80..0xFF in code page 1252, 0 where undefined.
extern const uint16_t PCp1252HighTable[128];

class PStreamEncodingWin1252 : public PStreamEncodingCodePage {
public:
    constexpr PStreamEncodingWin1252() : PStreamEncodingCodePage(PCp1252HighTable) {}
};

extern const PStreamEncodingUtf8 PStreamUtf8;
extern const PStreamEncodingWin1252 PStreamWin1252;
