// The process exit codes of the installer and of the uninstaller it installs,
// each program's in one enum, so that a script, a support engineer and
// README.md's "Exit codes" tables read the same numbers (the native test
// ExitCodeTables holds the README to this file). Header only: the client's
// uninstaller includes it too.
#pragma once

// MorvanditeInstall.exe, the page and -silent alike. The page, the
// unattended run and start-up each end the process with one of these; what
// a worker's run ends with is turned into one by ExitCodeForCompletion
// (installoutcome.h).
enum InstallerExitCode : int {
    kExitInstalled = 0,       // installed; also after -help
    kExitSystemRefused = 1,   // Windows older than XP
    kExitNotStarted = 2,      // no message table or configuration, or no window could be made
    kExitDamaged = 3,         // the installer's own file or its payload is damaged; nothing was written
    kExitClientRunning = 18,  // the client runs (Abort at the page's question; always unattended)
    kExitUnexpected = -1,     // an unexpected error, or the page's Cancel confirmed
    kExitRegistrationFailed = -4,  // registration with Windows failed; everything rolled back
    kExitCannotWrite = -5,    // the folder cannot be used or has too little space, or a file or folder
                              // could not be written (the reason is in the log)
    // Another installer (or the uninstaller) of this product runs on this
    // machine; nothing was done. Windows's ERROR_INSTALL_ALREADY_RUNNING,
    // which msiexec returns in the same case.
    kExitAnotherInstaller = 1618,
    // A command line that cannot be obeyed: Windows's
    // ERROR_INVALID_COMMAND_LINE, which msiexec returns for the same fault.
    kExitBadCommandLine = 1639,
};
// The page's Cancel, confirmed: the code of an unexpected error, as it always was.
constexpr InstallerExitCode kExitCanceled = kExitUnexpected;

// MorvanditeUninstall.exe.
enum UninstallerExitCode : int {
    kUninstallRemoved = 0,
    // A bad command line, no such installation, or an unusable recorded
    // value; nothing removed.
    kUninstallBadInput = 1,
    kUninstallClientRunning = 2,  // the client runs; nothing removed
    kUninstallDeclined = 3,       // the user said no; nothing removed
    // Some items could not be removed (the uninstall entry is kept so that a
    // later run can finish), or an interrupted installation could not be put
    // right (nothing removed).
    kUninstallIncomplete = 4,
    kUninstallBusy = 5,  // another installer or uninstaller of the installation runs; nothing removed
};
