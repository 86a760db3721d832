#include "userstart.h"

#include <windows.h>

#include "pencoding.h"
#include "pfile.h"
#include "plog.h"
#include "pprocesscalls.h"
#include "punique.h"

namespace {
// Asks the desktop's shell when the run is elevated; logs the outcome. False
// when the installer must start it itself (logged with the reason).
bool ThroughDesktopShell(const char* file, const char* folder, bool elevated, DesktopShell& shell) {
    if (!elevated)
        return false;
    PString why;
    if (shell.Open(file, "", folder, why)) {
        LogLine("Started through the desktop's shell, as the desktop's user, not elevated: '%s'", file);
        return true;
    }
    LogLine("Started by the installer itself, elevated, as %s: '%s'", why.text(), file);
    return false;
}
}  // namespace

bool StartProgramForUser(const char* program, const char* folder, bool elevated, DesktopShell& shell) {
    if (ThroughDesktopShell(program, folder, elevated, shell))
        return true;
    if (!elevated)
        LogLine("Started by the installer itself, not elevated: '%s'", program);
    PROCESS_INFORMATION info = {};
    if (!PCreateProcess(program, nullptr, folder, &PStringXEncoding, &info)) {
        LogLine("'%s' could not be started (error %lu)", program, static_cast<unsigned long>(GetLastError()));
        return false;
    }
    const UniqueHandle thread(info.hThread);  // not waited for
    const UniqueHandle process(info.hProcess);
    return true;
}

bool OpenAddressForUser(const char* address, bool elevated, DesktopShell& shell) {
    if (ThroughDesktopShell(address, "", elevated, shell))
        return true;
    if (!elevated)
        LogLine("Started by the installer itself, not elevated: '%s'", address);
    return OpenBrowserWindow(address, &PStringXEncoding) > 32;
}
