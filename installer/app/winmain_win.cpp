// The installer's process entry: global set-up in a fixed order, the check
// of its own file, the version gate, the one window and the main thread's
// message loop.
#define PASSERT_SOURCE "MorvanditeInstall"
#include <windows.h>
#include <objbase.h>

#include "environment.h"
#include "installwindow.h"
#include "perror.h"
#include "plog.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "psystemdll.h"
#include "punique.h"
#include "selfcheck.h"
#include "startup.h"
#include "unattended.h"

namespace {
const wchar_t kClassName[] = L"MorvanditeInstaller";
const wchar_t kTitle[] = L"Setup Morvandite";
const DWORD kStyle = 0x10CA0000;  // WS_VISIBLE, WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX
const int kIconResource = 101;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    RestrictDllSearchToSystemFolder();  // before anything can load a DLL by name
    ModuleInstance = instance;
    const bool wine = DetectWine();  // switches the wrappers to ANSI under Wine
    LoadShellFunctions();
    // Before anything the resources say is trusted, and before -help and
    // -silent: a damaged installer must not act on a damaged configuration.
    const SelfCheck self = CheckOwnFile();
    if (!self.intact)
        return RefuseDamagedInstaller(commandLine, self);
    if (!LoadMessageTable()) {
        LogLine("Language initialization failed");
        return kExitNotStarted;
    }

    // -help, a faulty command line and -silent never show the page.
    int commandLineExit = 0;
    if (RunFromCommandLine(commandLine, commandLineExit)) {
        FreeMessageTable();
        return commandLineExit;
    }

    if (WindowsVersionRefused()) {
        ShowUnsupportedSystemNotice();
        FreeMessageTable();
        return kExitSystemRefused;
    }

    HICON icon = LoadIconA(ModuleInstance, MAKEINTRESOURCEA(kIconResource));
    const ComInitialization com;  // uninitialised when WinMain returns

    const RECT rect = {0, 0, 640, 420};
    MorvanditeInstallWindow* window = new MorvanditeInstallWindow(kClassName, kTitle, kStyle, rect, ModuleInstance,
                                                                  icon, wine ? 18 : 20, commandLine);
    int exitCode = kExitNotStarted;
    // Without a window nothing would ever post the quit message.
    if (window->IsConfigured() && !window->TakeInstallLock()) {
        delete window;
        FreeMessageTable();
        return kExitAnotherInstaller;
    }
    if (window->IsConfigured() && window->Create(nullptr)) {
        window->BuildPage();
        window->Show();
        MSG peek;
        PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
        exitCode = RunMessageLoop(window->Handle());
    }

    delete window;
    FreeMessageTable();
    return exitCode;
}
