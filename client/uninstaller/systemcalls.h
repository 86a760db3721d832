// The system calls the uninstaller's reading and removing share: error
// texts, registry strings, the one full name of a file. Windows only.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

#include "systemtext.h"  // SystemText: the system's text for an error code, with the code

// Registry keys are opened in `view` (0: the default view of this 32-bit
// program; KEY_WOW64_32KEY or KEY_WOW64_64KEY: that view of a 64-bit system,
// ignored by a 32-bit one).

// Reads the string value `name` of `root`\`keyPath` into `*value`, with
// environment variables expanded in REG_EXPAND_SZ values. Returns false, with
// `*value` untouched, when the key or value is missing, cannot be read or is
// not a string.
bool ReadString(HKEY root, const std::wstring& keyPath, const wchar_t* name, std::wstring* value,
                REGSAM view = 0);

// True when `root`\`keyPath` exists and can be opened for reading.
bool KeyExists(HKEY root, const std::wstring& keyPath, REGSAM view = 0);

// True when `root`\`keyPath` exists and holds neither values nor subkeys.
bool KeyIsEmpty(HKEY root, const std::wstring& keyPath, REGSAM view = 0);

// Deletes `root`\`keyPath` and its subkeys when none of them holds a value;
// true when it is gone (or was not there).
bool DeleteEmptyTree(HKEY root, const std::wstring& keyPath, REGSAM view = 0);

// Deletes `root`\`keyPath`, which must have no subkeys; ERROR_SUCCESS or the
// system's error code (ERROR_FILE_NOT_FOUND when it is not there).
LONG DeleteKey(HKEY root, const std::wstring& keyPath, REGSAM view = 0);

// The long, full, lower-case form of an existing path, for comparing two names
// of one file; `path` in lower case when the system cannot resolve it.
std::wstring CanonicalPath(const std::wstring& path);
