// Window, message and drawing calls in their wide or ANSI form (pwideapi.h).
// Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

#include "pencoding.h"
#include "pstring.h"

LRESULT PCallWindowProc(WNDPROC saved, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT PDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT PSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Success as 0 or 1.
int PPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// > 0 for a message, 0 on WM_QUIT, -1 on error.
int PGetMessage(MSG* msg, HWND window, UINT first, UINT last);
void PDispatchMessage(const MSG* msg);
// Keyboard navigation of a dialog-like window. Of the mode's own kind, like
// PGetMessage: the A function would take each WM_CHAR of a wide message
// through the ANSI code page and turn typed characters it lacks into '?'.
bool PIsDialogMessage(HWND dialog, MSG* msg);
LONG PGetWindowLong(HWND window, int index);
LONG PSetWindowLong(HWND window, int index, LONG value);

// CB_ADDSTRING: the index of the new item (CB_ERR, CB_ERRSPACE on failure).
LRESULT PComboAddString(HWND combo, const char* text, const PStringEncoding* encoding);

// Registers a class: WNDCLASSEX of 48 bytes, every field not named here 0.
// The result is not looked at (a repeated registration is harmless).
void PRegisterClassEx(const wchar_t* className, UINT classStyle, WNDPROC proc, HINSTANCE instance,
                      HCURSOR cursor, HBRUSH background, HICON icon);
// The class name and title pass unchanged in wide mode; in ANSI mode they
// go to the ANSI code page (characters it lacks become its replacement).
HWND PCreateWindowEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, void* param);

// Height of the text; a null text draws nothing and returns 0. With an
// encoding LF becomes CR LF and CR is dropped.
int PDrawText(HDC dc, const char* text, const PStringEncoding* encoding, RECT* rect, UINT format);
// Replaces out with the window's text; length of out. dropCr: every CR is left out.
int PGetWindowText(HWND window, PString& out, const PStringEncoding* encoding, bool dropCr);
// crLf: LF becomes CR LF and CR is dropped (for multi-line edit boxes).
bool PSetWindowText(HWND window, const char* text, const PStringEncoding* encoding, bool crLf);
// Text and caption may be null. The pressed button's id (0 on failure).
int PMessageBox(HWND owner, const char* text, const char* caption, const PStringEncoding* encoding, UINT type);
