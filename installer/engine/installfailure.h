// The words for a run that did not install: what the page's error box shows
// and what an unattended run logs. Windows only; any thread.
#pragma once
#include <cstdint>

#include "InstallerThread.h"
#include "pstring.h"

// For a completion code of -1, -4 or -5 (InstallCompletion): a heading that
// names the kind of failure (a full disk only when the system said so), the
// run's own text naming the operation, the path and the system's reason
// (`detail`, may be null or empty) and, when the undo could not put
// everything back, where its log lists what remains. Call after the run has
// ended (WaitUntilEnded).
PString InstallFailureText(int32_t code, const PString* detail, const InstallerWorkerThread& worker);
