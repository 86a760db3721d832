// The shell of the user who owns the desktop, as a way to start programs and
// open addresses as that user: what an elevated installer starts through it
// runs with the desktop user's own unelevated token, not the installer's.
// Windows only.
#pragma once

#include "pstring.h"

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // Asks the desktop's shell to open `file` (a program or an address) with
    // `arguments` (may be empty) in `folder` (empty: the shell's choice), as
    // a double click would. True once the shell has taken the request; false,
    // with the reason in `why`, when no desktop shell answers or it refused.
    // Texts are PStringX. Called on a thread with COM initialised; never throws.
    virtual bool Open(const char* file, const char* arguments, const char* folder, PString& why) = 0;
};

// The desktop's real shell, found through the shell windows' registry
// (IShellWindows::FindWindowSW(SWC_DESKTOP)) and asked through its view's
// automation object (IShellDispatch2::ShellExecute), which runs in the
// shell's own process. Stateless: one object may serve every call of a
// thread; no COM object outlives a call.
class ExplorerDesktopShell : public DesktopShell {
public:
    bool Open(const char* file, const char* arguments, const char* folder, PString& why) override;
};
