// Shell links through IShellLinkW or IShellLinkA.
#include <objidl.h>
#include <shobjidl.h>

#include "pshellcalls.h"
#include "pwideapi.h"
#include "psystext_win.h"

namespace {

// The setters' results are not looked at: the save reports what matters.
void SetLinkFields(IShellLinkW* link, _PSysText& target, _PSysText& folder, _PSysText& arguments, _PSysText& icon,
                   int iconIndex) {
    link->SetPath(target.wide());
    link->SetWorkingDirectory(folder.wide());
    if (arguments.wide())
        link->SetArguments(arguments.wide());
    if (!icon.empty())
        link->SetIconLocation(icon.wide(), iconIndex);
}

void SetLinkFields(IShellLinkA* link, _PSysText& target, _PSysText& folder, _PSysText& arguments, _PSysText& icon,
                   int iconIndex) {
    link->SetPath(target.ansi());
    link->SetWorkingDirectory(folder.ansi());
    if (arguments.ansi())
        link->SetArguments(arguments.ansi());
    if (!icon.empty())
        link->SetIconLocation(icon.ansi(), iconIndex);
}

template <class Link>
HRESULT SaveLink(REFIID iid, const PStringEncoding* encoding, bool wide, const char* target, const char* linkFile,
                 const char* workingFolder, const char* arguments, const char* iconFile, int iconIndex) {
    Link* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&link));
    if (FAILED(hr))
        return hr;
    {
        _PSysText t(target, encoding, wide), f(workingFolder, encoding, wide), a(arguments, encoding, wide),
            i(iconFile, encoding, wide);
        SetLinkFields(link, t, f, a, i, iconIndex);
    }
    IPersistFile* file = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(hr)) {
        link->Release();
        return hr;
    }
    // IPersistFile takes UTF-16 in either mode; a narrow path without an
    // encoding is ANSI text.
    PWString path;
    if (encoding) {
        ToWide(path, linkFile, encoding);
        path.terminate();
    } else {
        AnsiToWide(path, linkFile);
    }
    hr = file->Save(path.wide(), TRUE);
    file->Release();
    link->Release();
    return hr;
}

}  // namespace

HRESULT CreateShellLink(const PStringEncoding* encoding, const char* target, const char* linkFile,
                        const char* workingFolder, const char* arguments, const char* iconFile, int iconIndex) {
    bool wide = encoding && UseWideApi();
    if (wide)
        return SaveLink<IShellLinkW>(IID_IShellLinkW, encoding, true, target, linkFile, workingFolder, arguments,
                                     iconFile, iconIndex);
    return SaveLink<IShellLinkA>(IID_IShellLinkA, encoding, false, target, linkFile, workingFolder, arguments,
                                 iconFile, iconIndex);
}
