// The desktop's shell as the documented way for an elevated program to start
// another one unelevated: the desktop window's shell view hands out the
// shell's automation object, whose ShellExecute runs in the shell's process
// with the token of the user who owns the desktop.
#include "desktopshell.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <vector>

#include "pencoding.h"
#include "psystemdll.h"
#include "punique.h"

namespace {

// Automation strings for the call, from oleaut32, which is loaded for the call
// only (a static import would load it at every start of the installer).
class CallStrings {
public:
    CallStrings()
        : library_("oleaut32.dll"), allocate_(library_.Function<AllocateFn>("SysAllocStringLen")),
          free_(library_.Function<FreeFn>("SysFreeString")) {}
    CallStrings(const CallStrings&) = delete;
    CallStrings& operator=(const CallStrings&) = delete;
    ~CallStrings() {
        for (BSTR s : made_)
            free_(s);
    }
    bool Available() const { return allocate_ && free_; }
    // The PStringX text as a string the call and its marshalling read; null
    // when no memory is left.
    BSTR Make(const char* text) {
        PWString wide;
        ToWide(wide, text ? text : "", &PStringXEncoding);
        wide.terminate();
        BSTR s = allocate_(wide.wide(), UINT(wide.units() - 1));
        if (s)
            made_.push_back(s);
        return s;
    }

private:
    using AllocateFn = BSTR(WINAPI*)(const OLECHAR*, UINT);
    using FreeFn = void(WINAPI*)(BSTR);
    PSystemLibrary library_;
    AllocateFn allocate_;
    FreeFn free_;
    std::vector<BSTR> made_;
};

// Variants are filled by hand: VariantInit would import oleaut32 statically.
VARIANT StringVariant(BSTR s) {
    VARIANT v = {};
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
}

VARIANT NumberVariant(LONG n) {
    VARIANT v = {};
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

bool Refused(PString& why, const char* step, HRESULT hr) {
    why = "the desktop's shell does not answer: ";
    why.append(step).append(" (0x").appendHex(uint32_t(hr)).append(")");
    return false;
}

// The automation object of the shell that shows the desktop; false with the
// failing step in why.
bool DesktopAutomation(UniqueInterface<IShellDispatch2>& shell, PString& why) {
    UniqueInterface<IShellWindows> windows;
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  reinterpret_cast<void**>(windows.put()));
    if (FAILED(hr))
        return Refused(why, "no shell windows", hr);
    VARIANT desktop = NumberVariant(CSIDL_DESKTOP);
    VARIANT noRoot = {};  // VT_EMPTY
    LONG window = 0;
    UniqueInterface<IDispatch> found;
    hr = windows.get()->FindWindowSW(&desktop, &noRoot, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.put());
    if (hr != S_OK || !found)  // S_FALSE: no desktop window is registered
        return Refused(why, "no desktop window", hr == S_OK ? E_POINTER : hr);
    UniqueInterface<IServiceProvider> services;
    hr = found.get()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.put()));
    if (FAILED(hr))
        return Refused(why, "no service provider", hr);
    UniqueInterface<IShellBrowser> browser;
    hr = services.get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(browser.put()));
    if (FAILED(hr))
        return Refused(why, "no shell browser", hr);
    UniqueInterface<IShellView> view;
    hr = browser.get()->QueryActiveShellView(view.put());
    if (FAILED(hr) || !view)
        return Refused(why, "no shell view", FAILED(hr) ? hr : E_POINTER);
    UniqueInterface<IDispatch> background;
    hr = view.get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.put()));
    if (FAILED(hr))
        return Refused(why, "no view background", hr);
    UniqueInterface<IShellFolderViewDual> folderView;
    hr = background.get()->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folderView.put()));
    if (FAILED(hr))
        return Refused(why, "no folder view", hr);
    UniqueInterface<IDispatch> application;
    hr = folderView.get()->get_Application(application.put());
    if (FAILED(hr) || !application)
        return Refused(why, "no shell application", FAILED(hr) ? hr : E_POINTER);
    hr = application.get()->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.put()));
    if (FAILED(hr))
        return Refused(why, "no shell dispatch", hr);
    return true;
}
}  // namespace

bool ExplorerDesktopShell::Open(const char* file, const char* arguments, const char* folder, PString& why) {
    why.clear();
    try {
        CallStrings strings;
        if (!strings.Available())
            return Refused(why, "no automation strings", HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
        UniqueInterface<IShellDispatch2> shell;
        if (!DesktopAutomation(shell, why))
            return false;
        BSTR target = strings.Make(file);
        BSTR parameters = strings.Make(arguments);
        BSTR directory = strings.Make(folder);
        BSTR verb = strings.Make("");  // the file's default action, as a double click
        if (!target || !parameters || !directory || !verb)
            return Refused(why, "no memory", E_OUTOFMEMORY);
        const HRESULT hr = shell.get()->ShellExecute(target, StringVariant(parameters), StringVariant(directory),
                                                     StringVariant(verb), NumberVariant(SW_SHOWNORMAL));
        // S_FALSE is how a shell says its ShellExecute failed.
        if (hr != S_OK)
            return Refused(why, "the start was refused", hr);
        return true;
    } catch (...) {
        return Refused(why, "unexpected error", E_UNEXPECTED);
    }
}
