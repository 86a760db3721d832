// Entry names of the payload archive: which names are safe to extract, their
// code page 1252 text in the host's forms (UTF-8, UTF-16), and the one join of
// a name to a destination folder in the program's PStringX form.
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
//
// This differs on purpose from the general PStringX table (PCp1252Decode),
// which decodes those five bytes to nothing: a PStringX text never holds
// them, because the append rule writes a character without a 1252 byte in
// the UTF-8 form. An entry name, however, is raw bytes that were a file name
// on the machine that packed the payload; dropping a byte would install the
// file under another name (or merge two entries), so every byte must stay a
// character. AppendPayloadName below hands these C1 characters to the append
// rule, which writes them in the UTF-8 form, so the two tables never meet in
// one string.
uint32_t Cp1252ToCodePoint(uint8_t c);
// The code page 1252 byte of a code point; false when there is none.
bool CodePointToCp1252(uint32_t codePoint, uint8_t* out);

// Appends the entry name (length bytes, code page 1252) to path, a PStringX
// text: every byte's character by the PStringX append rule, so a folder in
// the UTF-8 form gets UTF-8 and a folder in the 1252 form keeps 1252 bytes
// (and turns into UTF-8 form only for one of the five undefined bytes). The
// one place where the extraction joins a name to its destination.
void AppendPayloadName(PString& path, const char* name, uint32_t length);

// PStringX text to and from UTF-8 (the tools' and the host's form). A UTF-8
// text with a byte from 0x80 up becomes the marked UTF-8 form unchanged
// (characters beyond 16 bits kept as they are); pure ASCII stays as it is.
void Utf8ToPStringX(const char* utf8, PString& out);
void PStringXToUtf8(const char* text, PString& out);

// Conversions of whole texts. The UTF-8 readers return false on malformed
// UTF-8 or a character the target cannot hold; out then holds partial text.
void Cp1252ToUtf8(const char* text, uint32_t length, PString& out);
bool Utf8ToCp1252(const char* text, uint32_t length, PString& out);
void Cp1252ToUtf16(const char* text, uint32_t length, PWString& out);
bool Utf8ToUtf16(const char* text, uint32_t length, PWString& out);
// UTF-16 units (unpaired surrogates refused) to UTF-8.
bool Utf16ToUtf8(const uint16_t* units, uint32_t count, PString& out);
