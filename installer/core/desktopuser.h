// The user who owns the desktop, as the per-user decision (peruser.h) needs
// to know them: found from the token of the desktop's shell process
// (GetShellWindow, its process, OpenProcessToken), with that account's
// folders asked of the shell with its token (SHGetFolderPath). Windows only;
// never throws; any thread.
#pragma once

#include "installoptions.h"
#include "peruser.h"

// The facts for ChoosePerUserTargets. Only an elevated run asks anything:
// otherwise only `elevated` (false) is set. The installing account's SID and
// name come from this process's token; desktopUserFound stays false when
// there is no desktop shell window or its process's token cannot be read.
PerUserFacts FindPerUserFacts(bool elevated);

// Takes the decision into the options: the note always; for the desktop's
// user also that user's desktop, programs, start-menu and Quick Launch
// folders, the settings root and the registry hive. The common folders stay.
void ApplyPerUserTargets(const PerUserTargets& targets, InstallOptions& options);
