// How one installation run ended, as the worker reports it to the page
// (WM_INSTALL_STATUS) or to the unattended run (LastCompletion), and the one
// place that turns it into the process's exit code. Portable, header only.
#pragma once
#include <cstdint>

#include "exitcodes.h"

// A run's completion code: what its outcome was once the machine is as that
// outcome says (committed, or put back).
enum InstallCompletion : int32_t {
    kInstallFinished = 1000,
    kInstallGeneralError = -1,
    kInstallStopped = -2,
    kInstallArchiveError = -3,
    kInstallRegistryError = -4,
    kInstallErrorWithText = -5,  // as a posted message, the long parameter is a new PString the receiver deletes
};

// The exit code a process ends with after a run that completed with code.
constexpr InstallerExitCode ExitCodeForCompletion(int32_t code) {
    switch (code) {
    case kInstallFinished:
        return kExitInstalled;
    case kInstallStopped:
        return kExitCanceled;
    case kInstallArchiveError:
        return kExitDamaged;
    case kInstallRegistryError:
        return kExitRegistrationFailed;
    case kInstallErrorWithText:
        return kExitCannotWrite;
    default:
        return kExitUnexpected;
    }
}
