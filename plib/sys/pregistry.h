// Registry values in their wide or ANSI form (pwideapi.h). Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

#include "pencoding.h"
#include "pstring.h"

// Reads a REG_SZ or REG_EXPAND_SZ value and appends it to out; a Win32 error
// code. An empty value, or one of another type, gives ERROR_SUCCESS with out
// untouched. The text is cut at its first NUL whether or not the stored data
// carries a terminator.
LONG PRegQueryString(HKEY key, const char* name, PString& out, const PStringEncoding* encoding);
// Writes a REG_SZ value (size in bytes including the terminator); a Win32
// error code. A null name or null text writes nothing and returns 0.
LONG PRegSetString(HKEY key, const char* name, const char* text, const PStringEncoding* encoding);

// Key paths and texts are PStringX (PStringXEncoding), through the W or A functions.
// Appends the value to out; nothing happens when the key cannot be opened.
void ReadRegistryString(HKEY root, const char* subkey, const char* name, PString& out);
// Under HKEY_LOCAL_MACHINE; true when the query succeeded.
bool ReadMachineString(const char* subkey, const char* name, PString& out);
// Opens (KEY_ALL_ACCESS) or creates (KEY_WRITE) the key, creating every
// missing parent from the top down; null on failure, with the creation's
// error code as the thread's last error. The caller closes it. `view` is
// added to every access mask: 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY (the
// registry view of a 64-bit system; a 32-bit one ignores it).
HKEY OpenOrCreateRegistryKey(HKEY root, const char* subkey, REGSAM view = 0);
// Writes a string value, creating the key as needed. On any failure sets
// failureFlag to 1 and returns false; success leaves the flag as it was.
bool SetRegistryString(HKEY root, const char* subkey, const char* name, const char* text, int& failureFlag);
