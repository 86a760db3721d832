// The PStringX encoding: decoding, the append rule, lengths, the message
// formatter and the UTF-16 conversions.
#define PASSERT_SOURCE "pencoding"
#include "pencoding.h"

#include <cstring>
#include <utility>

#include "pcp1252.h"
#include "perror.h"
#include "plowercase.h"

const PStringEncodingPStringX PStringXEncoding;
const PStringEncodingPStringX PStringXMessageEncoding;

// ---- Building blocks -------------------------------------------------------

int32_t PDecodeUtf8(const uint8_t*& p, const uint8_t* end) {
    if (end && p >= end)
        return 0;
    uint8_t lead = *p;
    if (lead < 0x80) {
        // A NUL is the end: stay on it so that every later call says so too.
        if (lead)
            ++p;
        return lead;
    }
    int extra;
    uint32_t value;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else if ((lead & 0xFC) == 0xF8) {
        extra = 4;
        value = lead & 0x03;
    } else if ((lead & 0xFE) == 0xFC) {
        extra = 5;
        value = lead & 0x01;
    } else {
        ++p;
        return PDECODE_MALFORMED;
    }
    if (end && end - p - 1 < extra)
        return PDECODE_CUT_OFF;
    const uint8_t* q = p + 1;
    for (int i = 0; i < extra; ++i, ++q) {
        if ((*q & 0xC0) != 0x80) {
            // The offending byte may start the next character (or be the
            // terminator): leave it to the next call.
            p = q;
            return PDECODE_MALFORMED;
        }
        value = (value << 6) | (*q & 0x3F);
    }
    p = q;
    return int32_t(value);
}

void PAppendUtf8(PString& s, uint16_t c) {
    char buf[3];
    int n;
    if (c == 0) {
        return;
    } else if (c < 0x80) {
        buf[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        buf[0] = char(0xC0 | (c >> 6));
        buf[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else {
        buf[0] = char(0xE0 | (c >> 12));
        buf[1] = char(0x80 | ((c >> 6) & 0x3F));
        buf[2] = char(0x80 | (c & 0x3F));
        n = 3;
    }
    s.append(buf, n);
}

uint16_t PCp1252Decode(uint8_t byte) { return byte < 0x80 ? byte : PCp1252HighTable[byte - 0x80]; }

int PCp1252Encode(uint32_t c) {
    if (c < 0x80)
        return int(c);
    unsigned lo = 0, hi = sizeof PCp1252EncodeTable / sizeof PCp1252EncodeTable[0];
    while (lo < hi) {
        unsigned mid = (lo + hi) / 2;
        if (PCp1252EncodeTable[mid].codePoint < c)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < sizeof PCp1252EncodeTable / sizeof PCp1252EncodeTable[0] && PCp1252EncodeTable[lo].codePoint == c)
        return PCp1252EncodeTable[lo].byte;
    return -1;
}

uint32_t PLowerCodePoint(uint32_t c) {
    unsigned lo = 0, hi = PLowerCaseTableSize;
    while (lo < hi) {
        unsigned mid = (lo + hi) / 2;
        if (PLowerCaseTable[mid].upper < c)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < PLowerCaseTableSize && PLowerCaseTable[lo].upper == c)
        return PLowerCaseTable[lo].lower;
    return c;
}

// ---- The append rule -------------------------------------------------------

void AppendCodePoint(PString& s, uint32_t codePoint) {
    uint16_t c = uint16_t(codePoint);
    if (c == 0)
        return;
    if (!IsPStringXUtf8(s.text())) {
        int byte = PCp1252Encode(c);
        // U+0010 as the first byte would read as the UTF-8 marker: such a
        // string has to take the UTF-8 form to stay what it says it is.
        if (byte >= 0 && !(c == PSTRINGX_UTF8_MARKER && s.empty())) {
            s.append(char(byte));
            return;
        }
        PString converted;
        converted.append(char(PSTRINGX_UTF8_MARKER));
        for (const uint8_t* p = reinterpret_cast<const uint8_t*>(s.text()); *p; ++p)
            PAppendUtf8(converted, PCp1252Decode(*p));
        s = std::move(converted);
    }
    PAppendUtf8(s, c);
}

void AppendText(PString& s, const char* text) {
    if (!text || !*text)
        return;
    PStringEncodingPStringX::_PStringXStringParserImpl parser;
    parser.init(text, nullptr);
    for (;;) {
        int32_t c = parser.next();
        if (c == 0 || c == PDECODE_CUT_OFF)
            return;
        if (c > 0)
            PStringXEncoding.appendChar(s, uint32_t(c));
    }
}

void AppendChar(PString& s, char byte) { PStringXEncoding.appendChar(s, uint8_t(byte)); }

// ---- PStringEncodingPStringX ------------------------------------------------

const char* PStringEncodingPStringX::_PStringXStringParserImpl::init(const char* begin, const char* end) {
    if (!begin)
        begin = end = "";
    if (!end)
        end = begin + std::strlen(begin);
    utf8_ = begin < end && uint8_t(*begin) == PSTRINGX_UTF8_MARKER;
    pos_ = utf8_ ? begin + 1 : begin;
    end_ = end;
    return pos_;
}

int32_t PStringEncodingPStringX::_PStringXStringParserImpl::next() {
    if (utf8_) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(pos_);
        int32_t c = PDecodeUtf8(p, reinterpret_cast<const uint8_t*>(end_));
        pos_ = reinterpret_cast<const char*>(p);
        return c;
    }
    bool skipped = false;
    while (pos_ < end_) {
        uint8_t b = uint8_t(*pos_);
        if (b == 0)
            break;
        ++pos_;
        if (uint16_t c = PCp1252Decode(b))
            return c;
        skipped = true;
    }
    return skipped ? PDECODE_MALFORMED : 0;
}

int PStringEncodingPStringX::_PStringXStringParserImpl::compare(const Parser& other) const {
    const char* o = other.position();
    return pos_ < o ? -1 : pos_ > o ? 1 : 0;
}

void PStringEncodingPStringX::_PStringXStringParserImpl::cloneInto(ParserHolder& holder) const {
    if (holder.get() == this)
        return;
    holder.emplace<_PStringXStringParserImpl>(*this);
}

PStringEncoding* PStringEncodingPStringX::clone() const {
    return new PStringEncodingPStringX(options_, nulPolicy_, replacement_);
}

void PStringEncodingPStringX::createParser(ParserHolder& holder) const {
    holder.emplace<_PStringXStringParserImpl>();
}

void PStringEncodingPStringX::appendChar(PString& s, uint32_t codePoint) const {
    uint16_t c = uint16_t(codePoint);
    if (c == 0) {
        if (nulPolicy_ & NUL_THROWS)
            throw PInternalError("PStringEncodingPStringX: unexpected NULL character");
        if (!(nulPolicy_ & NUL_REPLACED))
            return;
        c = replacement_;
    }
    AppendCodePoint(s, c);
}

uint32_t PStringEncodingPStringX::length(const char* text) const {
    if (!text)
        return 0;
    if (!IsPStringXUtf8(text))
        return uint32_t(std::strlen(text));
    _PStringXStringParserImpl parser;
    parser.init(text, nullptr);
    uint32_t n = 0;
    for (;;) {
        int32_t c = parser.next();
        if (c == 0)
            break;
        ++n;
        // A cut-off sequence is the last character: the parser stays on it.
        if (c == PDECODE_CUT_OFF)
            break;
    }
    return n;
}

namespace {

// Byte mode: no text involved is marked UTF-8, so bytes are copied as they
// are and lower-casing touches A-Z only.
void FormatBytes(PString& out, const char* p, int argc, const char* const* args) {
    while (*p) {
        const char* run = p;
        while (*p && *p != '%')
            ++p;
        if (p > run)
            out.append(run, int(p - run));
        if (!*p)
            return;
        ++p;  // '%'
        if (!*p)
            return;
        char d = *p++;
        if (d == '%') {
            out.append('%');
            continue;
        }
        bool lower = false;
        if (d == 'L' || d == 'l') {
            if (!*p)
                return;
            lower = true;
            d = *p++;
        }
        if (d < '0' || d > '9' || d - '0' >= argc)
            continue;
        const char* a = args[d - '0'];
        if (!a)
            continue;
        if (!lower) {
            out.append(a);
            continue;
        }
        for (; *a; ++a)
            out.append(*a >= 'A' && *a <= 'Z' ? char(*a + ('a' - 'A')) : *a);
    }
}

}  // namespace

void PStringEncodingPStringX::format(PString& out, const char* pattern, int argc,
                                     const char* const* args) const {
    if (!pattern)
        return;
    if (argc < 0 || !args)
        argc = 0;
    if (argc > 10)
        argc = 10;  // only %0..%9 can be named

    // A pattern or argument taken from out itself would be freed or moved
    // under our feet as out grows or changes form: read those from a copy.
    PString selfCopy;
    bool aliased = false;
    auto inOut = [&out](const char* t) {
        return t && out.ptr() && reinterpret_cast<const uint8_t*>(t) >= out.ptr() &&
               reinterpret_cast<const uint8_t*>(t) < out.ptr() + out.capacity();
    };
    const char* argv[10];
    for (int i = 0; i < argc; ++i)
        argv[i] = args[i];
    if (inOut(pattern))
        aliased = true;
    for (int i = 0; i < argc; ++i)
        aliased = aliased || inOut(argv[i]);
    if (aliased) {
        selfCopy = out;
        auto rebase = [&](const char* t) {
            return inOut(t) ? selfCopy.text() + (reinterpret_cast<const uint8_t*>(t) - out.ptr()) : t;
        };
        pattern = rebase(pattern);
        for (int i = 0; i < argc; ++i)
            argv[i] = rebase(argv[i]);
    }

    bool codePoints = IsPStringXUtf8(out.text()) || IsPStringXUtf8(pattern);
    for (int i = 0; i < argc && !codePoints; ++i)
        codePoints = IsPStringXUtf8(argv[i]);
    if (!codePoints) {
        FormatBytes(out, pattern, argc, argv);
        return;
    }

    // Code-point mode: malformed or cut-off UTF-8 in the pattern ends the
    // formatting; in an argument it ends that argument.
    _PStringXStringParserImpl p;
    p.init(pattern, nullptr);
    for (;;) {
        int32_t c = p.next();
        if (c < 1)
            return;
        if (c != '%') {
            appendChar(out, uint32_t(c));
            continue;
        }
        c = p.next();
        if (c < 1)
            return;
        if (c == '%') {
            appendChar(out, '%');
            continue;
        }
        bool lower = false;
        if (c == 'L' || c == 'l') {
            c = p.next();
            if (c < 1)
                return;
            lower = true;
        }
        if (c < '0' || c > '9' || c - '0' >= argc || !argv[c - '0'])
            continue;
        _PStringXStringParserImpl a;
        a.init(argv[c - '0'], nullptr);
        for (int32_t ch; (ch = a.next()) > 0;)
            appendChar(out, lower ? PLowerCodePoint(uint32_t(ch)) : uint32_t(ch));
    }
}

// ---- UTF-16 ------------------------------------------------------------

namespace {

void Widen(PWString& w, const char* text, const PStringEncoding* encoding, bool crLf) {
    if (!text)
        return;
    auto put = [&w, crLf](uint16_t unit) {
        if (crLf && unit == '\r')
            return;
        if (crLf && unit == '\n')
            w.append('\r');
        w.append(unit);
    };
    if (!encoding) {
        for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p)
            if (uint16_t c = PCp1252Decode(*p))
                put(c);
        return;
    }
    PStringEncoding::ParserHolder holder;
    encoding->createParser(holder);
    holder->init(text, nullptr);
    for (int32_t c; (c = holder->next()) > 0;)
        put(uint16_t(c));
}

void Narrow(PString& s, const uint16_t* text, const PStringEncoding* encoding, bool dropCr) {
    if (!text)
        return;
    if (!encoding)
        encoding = &PStringXEncoding;
    for (; *text; ++text)
        if (!(dropCr && *text == '\r'))
            encoding->appendChar(s, *text);
}

}  // namespace

void ToWide(PWString& w, const char* text, const PStringEncoding* encoding) { Widen(w, text, encoding, false); }

void ToWideCrLf(PWString& w, const char* text, const PStringEncoding* encoding) { Widen(w, text, encoding, true); }

std::wstring ToWideString(const char* text, const PStringEncoding* encoding) {
    PWString units;
    Widen(units, text, encoding, false);
    std::wstring wide;
    wide.reserve(units.units());
    for (uint32_t i = 0; i < units.units(); ++i)
        wide += wchar_t(units.unit(i));
    return wide;
}

void FromWide(PString& s, const uint16_t* text, const PStringEncoding* encoding) {
    Narrow(s, text, encoding, false);
}

void FromWideNoCr(PString& s, const uint16_t* text, const PStringEncoding* encoding) {
    Narrow(s, text, encoding, true);
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == 2, "UTF-16 wchar_t");

void FromWide(PString& s, const wchar_t* text, const PStringEncoding* encoding) {
    Narrow(s, reinterpret_cast<const uint16_t*>(text), encoding, false);
}

void FromWideNoCr(PString& s, const wchar_t* text, const PStringEncoding* encoding) {
    Narrow(s, reinterpret_cast<const uint16_t*>(text), encoding, true);
}
#endif
