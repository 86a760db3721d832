// The wide/ANSI decision and the wrappers of window, message, process and
// shell-execution calls.
#include "pprocesscalls.h"
#include "pshellcalls.h"
#include "psystemdll.h"
#include "pwideapi.h"
#include "pwindowcalls.h"

#include <cstdlib>
#include <cstring>

#include "psystext_win.h"
#include "punique.h"
#include "pwindowsversion.h"

namespace {

volatile LONG g_wideOverride = 0;
HMODULE g_shell32 = nullptr;
PSHBrowseForFolderW g_browseForFolderW = nullptr;
PSHGetPathFromIDListW g_getPathFromIDListW = nullptr;

void FreeShell32() {
    if (g_shell32) {
        g_browseForFolderW = nullptr;
        g_getPathFromIDListW = nullptr;
        FreeLibrary(g_shell32);
        g_shell32 = nullptr;
    }
}

// Texts go through the W function only when there is an encoding to widen them with.
bool Wide(const PStringEncoding* encoding) { return encoding && UseWideApi(); }

}  // namespace

bool UseWideApi() {
    LONG mode = g_wideOverride;
    if (mode != 0)
        return mode > 0;
    return RunningWindowsVersion().NtFamily();
}

void SetWideApiMode(int32_t value) { InterlockedExchange(&g_wideOverride, LONG(value)); }

int32_t WideApiMode() { return g_wideOverride; }

bool SystemCanExpress(const char* text, const PStringEncoding* encoding) {
    if (!text || !encoding || UseWideApi())
        return true;
    PWString wide;
    ToWide(wide, text, encoding);
    wide.terminate();
    // No best-fit mapping and a default character: a character the code page
    // lacks is reported instead of turning silently into a look-alike.
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.wide(), -1, nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    PString ansi;
    WideToAnsi(ansi, wide.wide());
    PWString back;
    AnsiToWide(back, ansi.text());
    return back.units() == wide.units() && std::memcmp(back.ptr(), wide.ptr(), wide.size()) == 0;
}

bool LoadShellFunctions() {
    if (!UseWideApi())
        return false;
    if (g_shell32)
        return true;
    HMODULE shell = LoadSystemLibrary("shell32.dll");
    if (!shell)
        return true;
    g_shell32 = shell;
    std::atexit(FreeShell32);
    g_browseForFolderW = reinterpret_cast<PSHBrowseForFolderW>(
        reinterpret_cast<void*>(GetProcAddress(shell, "SHBrowseForFolderW")));
    g_getPathFromIDListW = reinterpret_cast<PSHGetPathFromIDListW>(
        reinterpret_cast<void*>(GetProcAddress(shell, "SHGetPathFromIDListW")));
    return true;
}

PSHBrowseForFolderW ShellBrowseForFolderW() { return g_browseForFolderW; }
PSHGetPathFromIDListW ShellGetPathFromIDListW() { return g_getPathFromIDListW; }

// ---- Messages and windows --------------------------------------------------

LRESULT PCallWindowProc(WNDPROC saved, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return UseWideApi() ? CallWindowProcW(saved, window, message, wParam, lParam)
                        : CallWindowProcA(saved, window, message, wParam, lParam);
}

LRESULT PDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return UseWideApi() ? DefWindowProcW(window, message, wParam, lParam)
                        : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT PSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return UseWideApi() ? SendMessageW(window, message, wParam, lParam)
                        : SendMessageA(window, message, wParam, lParam);
}

int PPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    BOOL ok = UseWideApi() ? PostMessageW(window, message, wParam, lParam)
                           : PostMessageA(window, message, wParam, lParam);
    return ok ? 1 : 0;
}

int PGetMessage(MSG* msg, HWND window, UINT first, UINT last) {
    return UseWideApi() ? GetMessageW(msg, window, first, last) : GetMessageA(msg, window, first, last);
}

bool PIsDialogMessage(HWND dialog, MSG* msg) {
    return (UseWideApi() ? IsDialogMessageW(dialog, msg) : IsDialogMessageA(dialog, msg)) != FALSE;
}

void PDispatchMessage(const MSG* msg) {
    if (UseWideApi())
        DispatchMessageW(msg);
    else
        DispatchMessageA(msg);
}

LONG PGetWindowLong(HWND window, int index) {
    return UseWideApi() ? GetWindowLongW(window, index) : GetWindowLongA(window, index);
}

LONG PSetWindowLong(HWND window, int index, LONG value) {
    return UseWideApi() ? SetWindowLongW(window, index, value) : SetWindowLongA(window, index, value);
}

LRESULT PComboAddString(HWND combo, const char* text, const PStringEncoding* encoding) {
    bool wide = Wide(encoding);
    _PSysText t(text, encoding, wide);
    if (wide)
        return SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.wide()));
    return SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.ansi()));
}

void PRegisterClassEx(const wchar_t* className, UINT classStyle, WNDPROC proc, HINSTANCE instance,
                      HCURSOR cursor, HBRUSH background, HICON icon) {
    if (UseWideApi()) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.hIcon = icon;
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.lpszClassName = className;
        RegisterClassExW(&wc);
        return;
    }
    _PSysAnsiOfWide name(className);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name.get();
    RegisterClassExA(&wc);
}

HWND PCreateWindowEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, void* param) {
    if (UseWideApi())
        return CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menuOrId, instance,
                               param);
    _PSysAnsiOfWide name(className), caption(title);
    return CreateWindowExA(exStyle, name.get(), caption.get(), style, x, y, width, height, parent, menuOrId,
                           instance, param);
}

int PDrawText(HDC dc, const char* text, const PStringEncoding* encoding, RECT* rect, UINT format) {
    if (!text)
        return 0;
    bool wide = Wide(encoding);
    _PSysText t(text, encoding, wide, true);
    return wide ? DrawTextW(dc, t.wide(), -1, rect, format) : DrawTextA(dc, t.ansi(), -1, rect, format);
}

int PGetWindowText(HWND window, PString& out, const PStringEncoding* encoding, bool dropCr) {
    out.clear();
    bool wide = Wide(encoding);
    int length = wide ? GetWindowTextLengthW(window) : GetWindowTextLengthA(window);
    if (length < 0)
        length = 0;
    _PBlock buffer;
    if (wide) {
        wchar_t* w = reinterpret_cast<wchar_t*>(buffer.alloc(uint32_t(length + 1) * 2));
        int n = GetWindowTextW(window, w, length + 1);
        w[n > 0 && n <= length ? n : 0] = 0;
        if (dropCr)
            FromWideNoCr(out, w, encoding);
        else
            FromWide(out, w, encoding);
    } else {
        char* a = reinterpret_cast<char*>(buffer.alloc(uint32_t(length + 1)));
        int n = GetWindowTextA(window, a, length + 1);
        a[n > 0 && n <= length ? n : 0] = 0;
        _PSysAppendAnsi(out, a, encoding, dropCr);
    }
    return int(out.length());
}

bool PSetWindowText(HWND window, const char* text, const PStringEncoding* encoding, bool crLf) {
    bool wide = Wide(encoding);
    _PSysText t(text, encoding, wide, crLf);
    return (wide ? SetWindowTextW(window, t.wide()) : SetWindowTextA(window, t.ansi())) != FALSE;
}

int PGetModuleFileName(HMODULE module, PString& out, const PStringEncoding* encoding) {
    out.clear();
    bool wide = Wide(encoding);
    _PBlock buffer;
    // MAX_PATH + 1 covers ordinary paths; a longer one grows the buffer
    // instead of being cut short.
    for (DWORD room = MAX_PATH + 1; room <= 32768; room *= 4) {
        DWORD n;
        if (wide) {
            wchar_t* w = reinterpret_cast<wchar_t*>(buffer.alloc(room * 2));
            n = GetModuleFileNameW(module, w, room);
            if (n == 0)
                return 0;
            if (n >= room)
                continue;
            w[n] = 0;
            FromWide(out, w, encoding);
        } else {
            char* a = reinterpret_cast<char*>(buffer.alloc(room));
            n = GetModuleFileNameA(module, a, room);
            if (n == 0)
                return 0;
            if (n >= room)
                continue;
            a[n] = 0;
            _PSysAppendAnsi(out, a, encoding, false);
        }
        return int(out.length());
    }
    return 0;
}

int PMessageBox(HWND owner, const char* text, const char* caption, const PStringEncoding* encoding, UINT type) {
    bool wide = Wide(encoding);
    _PSysText t(text, encoding, wide), c(caption, encoding, wide);
    return wide ? MessageBoxW(owner, t.wide(), c.wide(), type) : MessageBoxA(owner, t.ansi(), c.ansi(), type);
}

// ---- Processes and the shell ------------------------------------------------

bool PCreateProcess(const char* application, const char* commandLine, const char* directory,
                    const PStringEncoding* encoding, PROCESS_INFORMATION* info) {
    PROCESS_INFORMATION local;
    PROCESS_INFORMATION* pi = info ? info : &local;
    bool wide = Wide(encoding);
    _PSysText app(application, encoding, wide), cmd(commandLine, encoding, wide), dir(directory, encoding, wide);
    BOOL ok;
    if (wide) {
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        ok = CreateProcessW(app.wide(), cmd.wide(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, dir.wide(),
                            &si, pi);
    } else {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        // CreateProcessA may write into its command line: give it a copy of its own.
        char emptyLine[1] = {0};
        PString line(cmd.ansi());
        char* writable = !cmd.ansi() ? nullptr : line.empty() ? emptyLine : line.data();
        ok = CreateProcessA(app.ansi(), writable, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, dir.ansi(),
                            &si, pi);
    }
    if (ok && !info) {
        // Nobody asked for the handles: let them go at once.
        UniqueHandle thread(local.hThread), process(local.hProcess);
    }
    return ok != FALSE;
}

namespace {

// ShellExecuteEx failed: the negated system code, so that no failure reads
// as success (> 32) or as "no function" (0).
intptr_t ShellFailure() {
    DWORD error = GetLastError();
    return error ? -intptr_t(error) : intptr_t(-1);
}

// ShellExecute reports 0 for "out of memory"; 0 is taken for "no function".
intptr_t PlainResult(HINSTANCE h) {
    intptr_t r = reinterpret_cast<intptr_t>(h);
    return r == 0 ? SE_ERR_OOM : r;
}

}  // namespace

intptr_t PShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                       const char* directory, const PStringEncoding* encoding, int show) {
    PSystemLibrary library("shell32.dll");
    HMODULE shell = library.get();
    if (!shell)
        return 0;
    bool wide = Wide(encoding);
    _PSysText v(verb, encoding, wide), f(file, encoding, wide), p(parameters, encoding, wide),
        d(directory, encoding, wide);
    intptr_t result = 0;
    if (wide) {
        using ExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
        using PlainFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
        auto ex = reinterpret_cast<ExFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExW")));
        auto plain = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteW")));
        if (ex) {
            SHELLEXECUTEINFOW sei = {};
            sei.cbSize = sizeof sei;
            sei.hwnd = owner;
            sei.lpVerb = v.wide();
            sei.lpFile = f.wide();
            sei.lpParameters = p.wide();
            sei.lpDirectory = d.wide();
            sei.nShow = show;
            result = ex(&sei) ? reinterpret_cast<intptr_t>(sei.hInstApp) : ShellFailure();
        } else if (plain) {
            result = PlainResult(plain(owner, v.wide(), f.wide(), p.wide(), d.wide(), show));
        }
    } else {
        using ExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
        using PlainFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
        auto ex = reinterpret_cast<ExFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExA")));
        auto plain = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteA")));
        if (ex) {
            SHELLEXECUTEINFOA sei = {};
            sei.cbSize = sizeof sei;
            sei.hwnd = owner;
            sei.lpVerb = v.ansi();
            sei.lpFile = f.ansi();
            sei.lpParameters = p.ansi();
            sei.lpDirectory = d.ansi();
            sei.nShow = show;
            result = ex(&sei) ? reinterpret_cast<intptr_t>(sei.hInstApp) : ShellFailure();
        } else if (plain) {
            result = PlainResult(plain(owner, v.ansi(), f.ansi(), p.ansi(), d.ansi(), show));
        }
    }
    return result;
}

LRESULT PBrowseSetSelection(HWND browser, const char* path, const PStringEncoding* encoding) {
    bool wide = Wide(encoding);
    _PSysText t(path, encoding, wide);
    if (t.empty())
        return 0;
    if (wide)
        return SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(t.wide()));
    return SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(t.ansi()));
}
