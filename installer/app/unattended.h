// The command line's own runs, which never show the page: the usage box of
// -help (or of a command line that cannot be obeyed) and the unattended
// installation of -silent. Also the starting choices the page and the
// unattended run share. Windows only; main thread.
#pragma once
#include <cstdint>

#include "installoptions.h"
#include "commandline.h"
#include "exitcodes.h"
#include "pstring.h"

// Parses the command line and runs what it asks for instead of the page:
// -help shows the usage (exit 0); a faulty command line without -silent
// shows the fault and the usage (exit kExitBadCommandLine); -silent installs
// unattended (RunUnattended). Returns false, with exitCode untouched, when
// the page is to be shown. Needs the message table.
bool RunFromCommandLine(const char* commandLine, int& exitCode);

// The unattended installation. No window and no message box: what the page
// would say goes to the log (-log names a copy that also gets the lines
// written before and after Install.log exists). Returns the exit code
// (exitcodes.h): kExitBadCommandLine for a faulty command line or a language
// this build does not offer; kExitSystemRefused, kExitNotStarted (no
// configuration); kExitClientRunning (no question is asked);
// kExitAnotherInstaller (it is not waited for); kExitCannotWrite when the
// installation plan (installplan.h) refuses the folder or finds too little
// or no space, logged with its reason before anything is written
// (kExitDamaged when the payload's size cannot be read); otherwise the
// worker's outcome as ExitCodeForCompletion gives it.
int RunUnattended(const InstallerCommandLineParser& commandLine);

// The language of the boxes shown before the page (usage, a damaged
// installer's notice): -lang's when it names a catalogue locale, else the
// system's. Sets CurrentLocale.
void ChooseStartupLanguage(const CommandLineSwitches& switches);

// Opens the copy of the log that -log asks for as the log mirror, making its
// folder first (failures leave a log without a file); nothing without -log.
// The caller closes it with OpenLogMirror(nullptr).
void OpenUnattendedLogCopy(const CommandLineSwitches& switches);

// What the page starts from before its options: the install location (the
// default folder, or a previous installation's), the uninstall key path and
// the locale code (the system's, or on an English system a build's preferred
// one). Fills the default folders and the tracking fields of options.
struct StartingChoices {
    PString installLocation;
    PString uninstallKey;
    PString localeCode;
};
StartingChoices FindStartingChoices(InstallOptions& options);

// The catalogue index of code among the locales this build offers, -1 when
// it offers none of that code.
int32_t OfferedLocale(const char* code);

// The options as the page offers them before the user changes anything:
// every shortcut and the browser button on, all users, launch as the
// command line says, and the install folder.
void ApplyPageDefaults(InstallOptions& options, bool launch, const char* installFolder);

// Presets options from the switches that were given; returns whether the
// install folder was among them. allUsers is kept only for administrators.
bool ApplyCommandLineSwitches(const CommandLineSwitches& switches, InstallOptions& options);
