// The system folder browser with localised title and buttons, confirming
// only folders on fixed drives.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include "pstring.h"

class PStringEncoding;

// The system folder browser rooted at the desktop. path: the current path
// (PStringX in the given encoding) shown in the display-name buffer. On a
// confirmed file-system folder, out receives its path; otherwise out stays
// as it was. Returns 0, or -1 when in wide mode the wide browser function is
// missing.
int BrowseForFolder(HWND owner, const char* prompt, const char* path, BFFCALLBACK callback, LPARAM callbackData,
                    PString& out, const PStringEncoding* encoding);

// The installer's callback: localised title and buttons, OK disabled until a
// folder below the root of a fixed drive is selected, and preselection of the
// path in callbackData (a const PString*; may be 0).
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM callbackData);

// The rule behind the OK button: more than three characters ("C:\" is not
// enough) on a drive that reports DRIVE_FIXED.
bool IsFolderOnFixedDrive(const char* path);
