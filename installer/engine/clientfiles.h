// The files an installation leaves for the installed client, steps of the
// install script: the scrambled tracking file in the install folder and the
// per-user settings file (user.ini). Neither can fail the installation: a
// failure is logged and the file left as it was. Each file is kept in the
// run's journal before it is replaced (rollback.h). Windows only; the worker
// thread (or a test's, while no run goes).
#pragma once
#include "installoptions.h"
#include "rollback.h"

// tinfo.dat from the options' tracking lines, stamped with the time and the
// time zone; removed when there are none.
void WriteTrackingFile(const InstallOptions& options, InstallRollback& rollback);
// user.ini in the settings folder (local application data's work folder, or
// the install folder): a new one, or an existing one rewritten only when the
// configuration says to override it (its backup kept beside it).
void WriteUserSettings(const InstallOptions& options, InstallRollback& rollback);
