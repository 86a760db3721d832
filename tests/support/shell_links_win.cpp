#include "shell_links.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

std::string LinkTarget(const std::string& link, std::string* arguments) {
    IShellLinkA* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shell))))
        return "<no shell link object>";
    IPersistFile* file = nullptr;
    shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    std::wstring wide(link.begin(), link.end());
    std::string target = "<not loaded>";
    if (file && SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
        char buf[MAX_PATH] = {};
        shell->GetPath(buf, MAX_PATH, nullptr, 0);
        target = buf;
        if (arguments) {
            char args[MAX_PATH] = {};
            shell->GetArguments(args, MAX_PATH);
            *arguments = args;
        }
    }
    if (file)
        file->Release();
    shell->Release();
    return target;
}
