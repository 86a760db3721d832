// The one layer between the program and the Win32 functions that come in an
// ANSI and a wide form. Callers pass narrow PStringX texts with an encoding;
// each call picks the W or the A function by UseWideApi(). With an encoding
// the texts go through UTF-16 (and, in ANSI mode, on to the ANSI code page);
// with a null encoding the A function receives the narrow texts unchanged,
// in either mode. Results of the system are passed through: the wrappers
// neither log nor throw, except that text conversion throws when memory runs out.
// Windows only.
#pragma once
#include <cstdint>

#include <windows.h>
#include <shlobj.h>

#include "pencoding.h"
#include "pstring.h"

// ---- Mode and start-up ---------------------------------------------------

// Override > 0: wide functions; < 0: ANSI functions; 0: wide exactly on the
// NT family (GetVersion() with its top bit clear).
bool UseWideApi();
// Stores the override. Set it before the first window exists (windows of a
// run must all be of one kind) and before the worker thread starts.
void SetWideApiMode(int32_t value);
int32_t WideApiMode();

// Whether the system functions of the current mode can be given text
// unchanged: always in wide mode and with a null encoding; in ANSI mode only
// when every character has a byte in the ANSI code page (the A functions
// would otherwise receive '?' or a look-alike and name another file).
bool SystemCanExpress(const char* text, const PStringEncoding* encoding);

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

// ---- Wrapped calls ---------------------------------------------------------

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
// Replaces out with the module's path; the length of out, 0 on failure
// (out is then empty). With a null encoding the ANSI path is stored unchanged.
int PGetModuleFileName(HMODULE module, PString& out, const PStringEncoding* encoding);
// Text and caption may be null. The pressed button's id (0 on failure).
int PMessageBox(HWND owner, const char* text, const char* caption, const PStringEncoding* encoding, UINT type);

// Starts a detached process (DETACHED_PROCESS, no inherited handles, the
// inherited environment, zeroed STARTUPINFO). Each text may be null.
bool PCreateProcess(const char* application, const char* commandLine, const char* directory,
                    const PStringEncoding* encoding, PROCESS_INFORMATION* info);

// ShellExecuteEx (mask 0) or, when missing, ShellExecute; shell32 is loaded
// for the call and freed afterwards. On success the instance value the shell
// reports (> 32); 0 when neither function exists. On failure a value that is
// never above 32: ShellExecuteEx's failure as the negated GetLastError() (-1
// when there is none), ShellExecute's own error value (SE_ERR_OOM for its 0).
intptr_t PShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                       const char* directory, const PStringEncoding* encoding, int show);

// Reads a REG_SZ or REG_EXPAND_SZ value and appends it to out; a Win32 error
// code. An empty value, or one of another type, gives ERROR_SUCCESS with out
// untouched. The text is cut at its first NUL whether or not the stored data
// carries a terminator.
LONG PRegQueryString(HKEY key, const char* name, PString& out, const PStringEncoding* encoding);
// Writes a REG_SZ value (size in bytes including the terminator); a Win32
// error code. A null name or null text writes nothing and returns 0.
LONG PRegSetString(HKEY key, const char* name, const char* text, const PStringEncoding* encoding);

// BFFM_SETSELECTIONW or BFFM_SETSELECTIONA with wParam TRUE; a null or
// empty path sends nothing and returns 0.
LRESULT PBrowseSetSelection(HWND browser, const char* path, const PStringEncoding* encoding);

// ---- Operations built on the wrappers (texts in PStringXEncoding) ------------

// Saves a shell link: target, working folder, arguments when not null, icon
// when iconFile is neither null nor empty; the link file is saved through
// IPersistFile (remember = TRUE). COM must be initialised on the thread.
// The failing HRESULT of the object's creation or of the IPersistFile
// query, otherwise the result of the save.
HRESULT CreateShellLink(const PStringEncoding* encoding, const char* target, const char* linkFile,
                        const char* workingFolder, const char* arguments, const char* iconFile, int iconIndex);

// Key paths and texts are PStringX (PStringXEncoding), through the W or A functions.
// Appends the value to out; nothing happens when the key cannot be opened.
void ReadRegistryString(HKEY root, const char* subkey, const char* name, PString& out);
// Under HKEY_LOCAL_MACHINE; true when the query succeeded.
bool ReadMachineString(const char* subkey, const char* name, PString& out);
// Opens (KEY_ALL_ACCESS) or creates (KEY_WRITE) the key, creating every
// missing parent from the top down; null on failure. The caller closes it.
HKEY OpenOrCreateRegistryKey(HKEY root, const char* subkey);
// Writes a string value, creating the key as needed. On any failure sets
// failureFlag to 1 and returns false; success leaves the flag as it was.
bool SetRegistryString(HKEY root, const char* subkey, const char* name, const char* text, int& failureFlag);

// Finds, loads and locks resource id of type "MV" in the process's module.
// Returns the resource handle (which the caller may pass to FreeResource)
// with *data and *size set. A missing or unloadable resource returns null
// with *data = null and *size = 0 (size may be a null pointer); callers
// test the handle or the data pointer.
HGLOBAL LoadProgramResource(int id, const uint8_t** data, uint32_t* size);

// Owns one program resource for a scope.
class PProgramResource {
public:
    explicit PProgramResource(int id) : handle_(LoadProgramResource(id, &data_, &size_)) {}
    ~PProgramResource() {
        if (handle_)
            FreeResource(handle_);
    }
    PProgramResource(const PProgramResource&) = delete;
    PProgramResource& operator=(const PProgramResource&) = delete;

    bool found() const { return data_ != nullptr; }
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }

private:
    const uint8_t* data_;
    uint32_t size_;
    HGLOBAL handle_;
};

// ---- Environment -------------------------------------------------------

struct EnvironmentFacts {
    bool legacyWindows;    // Windows 95/98/Me, or NT older than 2000
    bool hasAdminRights;   // the process token holds BUILTIN\Administrators
    bool useLocalAppData;  // Windows Vista or later
    bool isWow64;          // 32-bit process on 64-bit Windows
};
bool IsOldWindows();
bool IsAdministrator();
EnvironmentFacts GetEnvironmentFacts();

// Whether Kernel32 has TryEnterCriticalSection (looked up once), and the function.
bool HasTryEnterCriticalSection();
using PTryEnterCriticalSectionFn = BOOL(WINAPI*)(LPCRITICAL_SECTION);
PTryEnterCriticalSectionFn TryEnterCriticalSectionFunction();

// Seconds west of UTC now, daylight saving included when it is in effect.
int32_t TimeZoneBiasSeconds();
