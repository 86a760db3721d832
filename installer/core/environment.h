// What the installer finds out about the machine besides the environment
// facts of InstallOptions: Wine, the default folders, a running copy of the
// client, and installed sibling brands with their removal. Windows only; all
// of it runs on the main thread.
#pragma once
#include <functional>

#include <windows.h>

#include "installoptions.h"
#include "pstring.h"
#include "uiobjects.h"

// ---- Wine ------------------------------------------------------------------

// Recognises Wine by its registry value or files, confirmed by the Unix
// folders /etc, /bin and /usr; on success switches the system-call wrappers
// to their ANSI forms (SetWideApiMode(-1)). Never throws: a failing stage
// logs "Error in detect Linux", "... 2" or "... 3" and the next one goes on.
bool DetectWine();
// The same with other confirming folders in place of /etc, /bin and /usr
// (Wine resolves a path that starts with "/" on the Unix side).
bool DetectWine(const char* const (&unixFolders)[3]);

// ---- Default folders ---------------------------------------------------------

struct DefaultFolders {
    PString installLocation;  // program files folder + "\" + product name
    PString programsFolder;
    PString commonProgramsFolder;   // administrators only
    PString desktopFolder;
    PString commonDesktopFolder;    // administrators only
    PString startMenuFolder;
    PString commonStartMenuFolder;  // administrators only
    PString quickLaunchFolder;      // application data + "\Microsoft\Internet Explorer\Quick Launch"
};

// "ProgramFilesDir" of HKLM\Software\Microsoft\Windows\CurrentVersion, or
// "C:\Program Files" when it is absent or empty.
PString ProgramFilesFolder();
// A folder the shell cannot name stays empty.
DefaultFolders FindDefaultFolders(const char* productName, bool administrator);
void ApplyDefaultFolders(const DefaultFolders& folders, InstallOptions& options);
// appData + "\Microsoft\Internet Explorer\Quick Launch"; empty for an empty appData.
PString QuickLaunchFolderIn(const PString& appData);

// ---- Questions -------------------------------------------------------------

// Asks a two-button question; returns the MyMessageBox result (6 first
// button, 7 second, 8 closed, 0 no answer). Tests answer it themselves.
using QuestionBox =
    std::function<int(const PString& caption, const PString& text, const PString& first, const PString& second)>;

// The installer's look for its questions: the skinned box over owner,
// 394 by 212, the second skin on the second button.
struct MessageBoxLook {
    HWND owner = nullptr;
    ButtonSkin firstSkin;
    ButtonSkin secondSkin;
    HFONT font = nullptr;
};
QuestionBox SkinnedQuestionBox(const MessageBoxLook& look);

// ---- Running copy of the client ----------------------------------------------

// True while a window of the class exists or another process holds the
// mutex of that name (also when its window is already closed).
bool InstanceRunning(const char* mainWindowClass);
// Asks Retry or Abort for as long as the client runs. 0 = go on, 1 = abort
// (Abort, or no answer to be had: the box could not be shown or the
// application is quitting).
int CheckRunningInstance(const char* mainWindowClass, const char* displayName, const QuestionBox& ask);

// ---- Sibling brands ---------------------------------------------------------

// The uninstaller of an installed sibling: its UninstallString under
// HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\<keyName> must read
// "\"<path>\" /u:<keyName>". False when the value is absent or not of that form.
bool SiblingUninstaller(const char* keyName, PString& path);
// Asks whether the installed sibling should go first; false without asking
// when it is not installed. True only for the first button (Yes).
bool OfferSiblingRemoval(const char* keyName, const char* productShown, const char* productName,
                         const char* displayName, const QuestionBox& ask);
// Copies the sibling's uninstaller as "_unps.exe", starts the copy with
// "/u:<keyName>" and waits for it to end. Not elevated: the copy goes to the
// temporary folder and stays there. Elevated (RunsElevated): it goes to a
// fresh folder only administrators can change, held open until it has
// started, and is deleted with its folder once it has ended
// (AdministratorsOnlyCopy); when that cannot be made it is logged and the
// uninstaller is not started. Failures do not stop the installation.
void RunSiblingUninstaller(const char* keyName, bool elevated);
// For a build variant that offers it: each installed sibling brand, in table
// order, is offered for removal and removed when the user agrees.
void RemoveSiblingBrands(const char* productName, const char* displayName, const QuestionBox& ask, bool elevated);
