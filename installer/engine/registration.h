// Registration with Windows, a step of the install script: the uninstall
// entry, the program group and shortcuts, and the browser toolbar button.
// Each key is recorded in the run's journal before its first write and each
// shortcut's old file kept before it is replaced (rollback.h). Windows only;
// the worker thread (or a test's, while no run goes).
#pragma once
#include "installoptions.h"
#include "pstring.h"
#include "rollback.h"

// Registers the installation options describe (payloadResourceId: the
// resource whose required space is the entry's installed size). True when
// registered; false when a shortcut folder could not be made or, for a full
// registration (an administrator on a current system), a value could not be
// written, with failure (when given) naming the first failure: the
// operation, the full path or registry value and the system's reason. Every
// failure is logged. Throws only what the journal throws.
bool RegisterInstallation(const InstallOptions& options, int payloadResourceId, InstallRollback& rollback,
                          PString* failure = nullptr);
