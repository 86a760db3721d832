#include "payloadnames.h"

#include <cstring>

#include "pcp1252.h"
#include "pencoding.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Windows opens a device instead of a file for these names, with or without
// an extension and trailing blanks: "nul", "COM1.txt", "aux .log".
bool IsDeviceName(const char* component, uint32_t length) {
    uint32_t n = 0;
    while (n < length && component[n] != '.')
        ++n;
    while (n > 0 && component[n - 1] == ' ')
        --n;
    char base[8];
    if (n < 3 || n > 7)
        return false;
    for (uint32_t i = 0; i < n; ++i)
        base[i] = Upper(component[i]);
    base[n] = 0;
    static const char* const kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kPlain)
        if (std::strcmp(base, d) == 0)
            return true;
    if (n == 4 && (std::memcmp(base, "COM", 3) == 0 || std::memcmp(base, "LPT", 3) == 0)) {
        unsigned char digit = static_cast<unsigned char>(base[3]);
        // 0xB9, 0xB2, 0xB3: the superscript digits Windows also takes as port numbers.
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

const char* ComponentProblem(const char* c, uint32_t length) {
    if (length == 0)
        return "an empty path component";
    bool onlyDotsAndBlanks = true;
    for (uint32_t i = 0; i < length; ++i)
        if (c[i] != '.' && c[i] != ' ')
            onlyDotsAndBlanks = false;
    if (onlyDotsAndBlanks) {
        if (length == 2 && c[0] == '.' && c[1] == '.')
            return "a '..' component";
        // Windows trims trailing dots and blanks, so "..." or ". ." can turn into "." or "..".
        return "a component of dots and blanks only";
    }
    if (IsDeviceName(c, length))
        return "a reserved device name";
    return nullptr;
}

void AppendUtf8(PString& out, uint32_t cp) {
    if (cp < 0x80) {
        out.append(char(cp));
    }
    else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
    else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

// Reads one code point at *pos; false on malformed, overlong or surrogate sequences.
bool NextUtf8(const unsigned char* s, uint32_t length, uint32_t* pos, uint32_t* cp) {
    uint32_t i = *pos;
    unsigned char b = s[i];
    uint32_t need, value, min;
    if (b < 0x80) {
        *cp = b;
        *pos = i + 1;
        return true;
    }
    if ((b & 0xE0) == 0xC0) { need = 1; value = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { need = 2; value = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { need = 3; value = b & 0x07; min = 0x10000; }
    else
        return false;
    if (length - i - 1 < need)
        return false;
    for (uint32_t k = 1; k <= need; ++k) {
        unsigned char c = s[i + k];
        if ((c & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (c & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *cp = value;
    *pos = i + 1 + need;
    return true;
}

void AppendUtf16(PWString& out, uint32_t cp) {
    if (cp < 0x10000) {
        out.append(uint16_t(cp));
    }
    else {
        cp -= 0x10000;
        out.append(uint16_t(0xD800 | (cp >> 10)));
        out.append(uint16_t(0xDC00 | (cp & 0x3FF)));
    }
}

}  // namespace

const char* PayloadNameProblem(const char* name, uint32_t length) {
    if (length == 0)
        return "an empty name";
    if (length > 65535)
        return "a name longer than 65535 bytes";
    if (IsSeparator(name[0]))
        return "a rooted path";
    for (uint32_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20)
            return "a control character";
        if (c == ':')
            return "a colon (drive letter or stream name)";
        if (std::strchr("<>\"|?*", c))
            return "a character Windows does not allow in file names";
    }
    uint32_t start = 0;
    for (uint32_t i = 0; i <= length; ++i) {
        if (i == length || IsSeparator(name[i])) {
            if (const char* why = ComponentProblem(name + start, i - start))
                return why;
            start = i + 1;
        }
    }
    return nullptr;
}

uint32_t Cp1252ToCodePoint(uint8_t c) {
    if (c >= 0x80 && PCp1252HighTable[c - 0x80])
        return PCp1252HighTable[c - 0x80];
    return c;
}

bool CodePointToCp1252(uint32_t cp, uint8_t* out) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        *out = uint8_t(cp);
        return true;
    }
    for (int i = 0; i < 32; ++i)
        if (PCp1252HighTable[i] ? PCp1252HighTable[i] == cp : cp == uint32_t(0x80 + i)) {
            *out = uint8_t(0x80 + i);
            return true;
        }
    return false;
}

void Cp1252ToUtf8(const char* text, uint32_t length, PString& out) {
    out.assign("");
    for (uint32_t i = 0; i < length; ++i)
        AppendUtf8(out, Cp1252ToCodePoint(static_cast<uint8_t>(text[i])));
}

bool Utf8ToCp1252(const char* text, uint32_t length, PString& out) {
    out.assign("");
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    uint32_t pos = 0, cp = 0;
    while (pos < length) {
        uint8_t b;
        if (!NextUtf8(s, length, &pos, &cp) || cp == 0 || !CodePointToCp1252(cp, &b))
            return false;
        out.append(char(b));
    }
    return true;
}

void Cp1252ToUtf16(const char* text, uint32_t length, PWString& out) {
    out.clear();
    for (uint32_t i = 0; i < length; ++i)
        out.append(uint16_t(Cp1252ToCodePoint(static_cast<uint8_t>(text[i]))));
}

bool Utf8ToUtf16(const char* text, uint32_t length, PWString& out) {
    out.clear();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    uint32_t pos = 0, cp = 0;
    while (pos < length) {
        if (!NextUtf8(s, length, &pos, &cp))
            return false;
        AppendUtf16(out, cp);
    }
    return true;
}

bool Utf16ToUtf8(const uint16_t* units, uint32_t count, PString& out) {
    out.assign("");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t cp = units[i];
        if (cp >= 0xDC00 && cp <= 0xDFFF)
            return false;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= count || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, cp);
    }
    return true;
}

void AppendPayloadName(PString& path, const char* name, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        AppendCodePoint(path, Cp1252ToCodePoint(static_cast<uint8_t>(name[i])));
}

void Utf8ToPStringX(const char* utf8, PString& out) {
    out.assign("");
    bool ascii = true;
    for (const char* p = utf8; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            ascii = false;
    if (!ascii)
        out.append(char(PSTRINGX_UTF8_MARKER));
    out.append(utf8);
}

void PStringXToUtf8(const char* text, PString& out) {
    if (IsPStringXUtf8(text)) {
        out.assign(text + 1);
        return;
    }
    Cp1252ToUtf8(text, uint32_t(std::strlen(text)), out);
}
