// Entry names of the payload archive: which names are safe to extract, and
// their code page 1252 text in the host's forms (UTF-8, UTF-16).
#pragma once
#include <cstdint>

#include "pstring.h"

// Why name (length bytes, code page 1252, backslash separators) must not be
// extracted, or null when it is a plain relative path that stays inside the
// destination folder on Windows and elsewhere.
const char* PayloadNameProblem(const char* name, uint32_t length);

// The Unicode code point of a code page 1252 byte. The five bytes the code
// page leaves undefined map to the C1 controls of the same value, as Windows
// converts them.
uint32_t Cp1252ToCodePoint(uint8_t c);
// The code page 1252 byte of a code point; false when there is none.
bool CodePointToCp1252(uint32_t codePoint, uint8_t* out);

// Conversions of whole texts. The UTF-8 readers return false on malformed
// UTF-8 or a character the target cannot hold; out then holds partial text.
void Cp1252ToUtf8(const char* text, uint32_t length, PString& out);
bool Utf8ToCp1252(const char* text, uint32_t length, PString& out);
void Cp1252ToUtf16(const char* text, uint32_t length, PWString& out);
bool Utf8ToUtf16(const char* text, uint32_t length, PWString& out);
// UTF-16 units (unpaired surrogates refused) to UTF-8.
bool Utf16ToUtf8(const uint16_t* units, uint32_t count, PString& out);
