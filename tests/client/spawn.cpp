// Test helper: starts a program with a command line given verbatim, the way
// the installer starts sibling uninstallers (path not quoted), waits for it
// and exits with its exit code.
//   spawn.exe APPLICATION "COMMAND LINE"
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

#include "punique.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 100;
    std::wstring commandLine = argv[2];
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process))
        return 101;
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD code = 102;
    GetExitCodeProcess(child.get(), &code);
    return static_cast<int>(code);
}
