// What the installer starts for the user rather than for itself: the
// installed launcher after an installation and the licence terms' address.
// An elevated run (UAC) hands them to the desktop's shell, so that they run
// as the user who owns the desktop, unelevated, and everything they start
// does too; where no desktop shell answers (a session without one) it starts
// them itself, elevated, as before. A run that is not elevated starts them
// itself, as it always did. Each start logs which way it went. Windows only;
// the calling thread has COM initialised. Texts are PStringX.
#pragma once

#include "desktopshell.h"

// Starts `program` without arguments in `folder`, detached (the installer
// does not wait for it). False when it could not be started either way.
bool StartProgramForUser(const char* program, const char* folder, bool elevated, DesktopShell& shell);
// Opens `address` in the user's browser. False when neither the desktop's
// shell nor the installer's own shell call could open it.
bool OpenAddressForUser(const char* address, bool elevated, DesktopShell& shell);
