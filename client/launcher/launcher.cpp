// MorvanditeUpdate.exe: the program every shortcut and the installer start.
// It starts Morvandite.exe from its own folder with the same arguments and
// exits, so the shortcuts keep working when the client itself is replaced.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "modulepath.h"

#include <string>
#include "psystemdll.h"
#include "punique.h"
#include "systemtext.h"

namespace {

const wchar_t kTitle[] = L"Morvandite";
const wchar_t kClientName[] = L"Morvandite.exe";

void Fail(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR args, int show) {
    RestrictDllSearchToSystemFolder();  // before anything can load a DLL by name
    std::wstring folder = ModuleFolder();
    if (folder.empty()) {
        Fail(L"Morvandite cannot find the folder it was started from:\n" +
             SystemText(GetLastError()));
        return 1;
    }
    std::wstring client = folder + L"\\" + kClientName;
    DWORD attributes = GetFileAttributesW(client.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail(L"The Morvandite client is missing:\n" + client +
             L"\n\nPlease reinstall Morvandite.");
        return 1;
    }

    // The child gets its own quoted path as argument zero, then ours unchanged.
    std::wstring commandLine = L"\"" + client + L"\"";
    if (args && *args) commandLine += L" " + std::wstring(args);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(client.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
        Fail(L"Morvandite could not be started:\n" + client + L"\n\n" +
             SystemText(GetLastError()));
        return 1;
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    // Let the client take the foreground rather than us.
    AllowSetForegroundWindow(process.dwProcessId);
    return 0;
}
