// LowerPath on Windows: the system's own case mapping, the one its file
// systems use to compare names, for every character (not only ASCII), so
// that "C:\PROGRAMMÉ" and "c:\programmé" are one folder to the checks too.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "installfolderrules.h"

std::wstring FolderRules::LowerPath(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}
