// The pieces of start-up WinMain is made of: the module the resources come
// from, the Windows version gate and its notice, the boxes shown before any
// window exists and the main thread's message loop (the process exit codes
// are protocols/exitcodes.h's).
// Windows only; everything here runs on the main thread.
#pragma once
#include <windows.h>

#include "exitcodes.h"
#include "pstring.h"
#include "pwindowsversion.h"

// The module every resource, window class and window of the installer
// comes from; stored by WinMain before anything else runs.
extern HINSTANCE ModuleInstance;

// Windows older than XP: the 9x family, NT 4 and earlier, and Windows 2000
// (by platform, major and minor).
bool WindowsVersionRefused(const WindowsVersion& version);
// The same rule on the system's own structure (for tests).
bool WindowsVersionRefused(const OSVERSIONINFOA& version);
// The running system (RunningWindowsVersion) and the rule above; a system
// that would not say its version passes.
bool WindowsVersionRefused();
// The English notice on a refused system, captioned with the brand's name:
// one OK button, 394 by 212.
void ShowUnsupportedSystemNotice();
// The main thread's loop until WM_QUIT, offering each message to the
// window's keyboard navigation first; returns the quit code. A GetMessage
// failure is logged ("MessageLoop") and the loop goes on.
int RunMessageLoop(HWND window);
// A box with one OK button in the current locale, before any window exists
// (no owner, the small buttons' skin, the box's own font). Returns when the
// box is closed.
void ShowStartupNotice(const char* caption, const char* text, int width, int height);

// The running program's file name without its folder ("LarkspurInstall.exe"
// for a release named so): what the usage text names and what a damaged
// installer, which trusts none of its resources, captions its notice with.
PString OwnProgramFileName();
// The brand's display name (the configuration's dispname) for the captions
// shown before the page exists; the program's file name when the
// configuration cannot be read (logged) or names none. Reads only the
// name: the build variant stays as it is.
PString BrandDisplayName();

