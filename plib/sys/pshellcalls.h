// Shell calls in their wide or ANSI form (pwideapi.h): the wide folder
// browser's functions, shell execution, shell links. Windows only.
#pragma once
#include <cstdint>

#include <windows.h>
#include <shlobj.h>

#include "pencoding.h"

// In wide mode loads shell32.dll and resolves SHBrowseForFolderW and
// SHGetPathFromIDListW (either may stay null); returns false without doing
// anything in ANSI mode, true otherwise (also when the library is missing).
// Called once at start-up on the main thread.
bool LoadShellFunctions();
using PSHBrowseForFolderW = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOW);
using PSHGetPathFromIDListW = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPWSTR);
// The resolved wide shell functions, null until LoadShellFunctions found them.
PSHBrowseForFolderW ShellBrowseForFolderW();
PSHGetPathFromIDListW ShellGetPathFromIDListW();

// ShellExecuteEx (mask 0) or, when missing, ShellExecute; shell32 is loaded
// for the call and freed afterwards. On success the instance value the shell
// reports (> 32); 0 when neither function exists. On failure a value that is
// never above 32: ShellExecuteEx's failure as the negated GetLastError() (-1
// when there is none), ShellExecute's own error value (SE_ERR_OOM for its 0).
intptr_t PShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                       const char* directory, const PStringEncoding* encoding, int show);

// BFFM_SETSELECTIONW or BFFM_SETSELECTIONA with wParam TRUE; a null or
// empty path sends nothing and returns 0.
LRESULT PBrowseSetSelection(HWND browser, const char* path, const PStringEncoding* encoding);

// Saves a shell link: target, working folder, arguments when not null, icon
// when iconFile is neither null nor empty; the link file is saved through
// IPersistFile (remember = TRUE). COM must be initialised on the thread.
// The failing HRESULT of the object's creation or of the IPersistFile
// query, otherwise the result of the save.
HRESULT CreateShellLink(const PStringEncoding* encoding, const char* target, const char* linkFile,
                        const char* workingFolder, const char* arguments, const char* iconFile, int iconIndex);
