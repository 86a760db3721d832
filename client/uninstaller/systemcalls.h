// The system calls the uninstaller's reading and removing share: error
// texts, registry strings, the one full name of a file. Windows only.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

#include "systemtext.h"  // SystemText: the system's text for an error code, with the code

// Reads the string value `name` of `root`\`keyPath` into `*value`, with
// environment variables expanded in REG_EXPAND_SZ values. Returns false, with
// `*value` untouched, when the key or value is missing, cannot be read or is
// not a string.
bool ReadString(HKEY root, const std::wstring& keyPath, const wchar_t* name, std::wstring* value);

// True when `root`\`keyPath` exists and can be opened for reading.
bool KeyExists(HKEY root, const std::wstring& keyPath);

// The long, full, lower-case form of an existing path, for comparing two names
// of one file; `path` in lower case when the system cannot resolve it.
std::wstring CanonicalPath(const std::wstring& path);
