// MorvanditeUninstall.exe: removes an installation that the installer made.
//
//   MorvanditeUninstall.exe /u:<key> [/quiet | /s]
//
// Everything it removes comes from what the installation recorded: the uninstall
// entry HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<key> (install
// folder, shortcut files, program group, browser button) and the file list
// "uninstall.lst" that ships in the install folder. It never derives a path
// from its own location, so a copy started from the temporary folder (the
// installer runs sibling uninstallers that way) works the same. Every recorded
// path is checked before anything is touched; one bad value stops the whole
// removal with nothing lost. user.ini and user.ini.bak are always kept.
//
// /quiet (or /s) answers every question with yes and shows no message box.
// A log of each run is written to %TEMP%\MorvanditeUninstall.log.
//
// The parts: pathrules.h (the checks every recorded path must pass) and
// uninstallcommandline.h, both portable and unit-tested; recorded.h (reading the
// entry), remover.h (removing); this file holds the questions and the order
// of the steps.
//
// Exit codes: UninstallerExitCode (protocols/exitcodes.h, which says what
// each means; README.md lists them).
//
// Before it reads the entry it takes the installers' lock of the installation
// and puts right what an interrupted installation left (its journal in the
// temporary folder, protocols/installjournal.h): undone, or finished when it
// had reached its end. Only then is the entry what the installation is.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include "modulepath.h"

#include <string>
#include <vector>

#include "exitcodes.h"
#include "installjournal_win.h"
#include "uninstallcommandline.h"
#include "protectedfolders.h"
#include "psystemdll.h"
#include "punique.h"
#include "recorded.h"
#include "remover.h"
#include "runlog.h"
#include "sharednames.h"

namespace {

const wchar_t kClientClass[] = L"MorvanditeLobbyClass";  // window class and mutex name

std::wstring Usage() {
    return L"Usage: " + std::wstring(SharedNames::kUninstallerFile.wide) + L" /u:<name> [/quiet]";
}

bool ClientRunning() {
    if (FindWindowW(kClientClass, nullptr)) return true;
    UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kClientClass));
    return mutex.valid();
}

int Message(const UninstallOptions& options, const std::wstring& caption,
            const std::wstring& text, UINT flags) {
    if (options.quiet) return 0;
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags | MB_SETFOREGROUND);
}

// Puts right the journal an interrupted installation of `key` left; false
// when some of it could not be undone (then nothing may be removed).
bool SettleInterruptedInstallation(const std::wstring& key, RunLog& log) {
    WindowsJournalActions actions([&log](const std::string& line) { log.Line(Utf8ToWide(line)); });
    JournalOutcome outcome;
    JournalOwner owner;
    const JournalRecovery recovery =
        RecoverJournalFile(JournalPathFor(key), WideToUtf8(key), actions, outcome, owner);
    if (recovery == JournalRecovery::None || recovery == JournalRecovery::Foreign)
        return true;
    log.Line(L"An interrupted installation into '" + Utf8ToWide(owner.installFolder) + L"' was put right: " +
             std::to_wstring(outcome.changes) + L" change(s) undone, " + std::to_wstring(outcome.failures) +
             L" could not be.");
    return recovery == JournalRecovery::Settled;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystemFolder();  // before anything can load a DLL by name
    RunLog log;
    const wchar_t* commandLine = GetCommandLineW();
    log.Line(std::wstring(L"Command line: ") + commandLine);

    UninstallOptions options;
    std::wstring error;
    if (!ParseCommandLine(commandLine, ModulePath(), &options, &error)) {
        log.Line(L"Error: " + error);
        Message(options, L"Uninstall",
                error + L"\n\n" + Usage(),
                MB_OK | MB_ICONERROR);
        return kUninstallBadInput;
    }
    if (options.help) {
        Message(options, L"Uninstall",
                Usage() +
                    L"\n\n"
                    L"/u:<name>\tthe installation to remove, as registered with Windows\n"
                    L"/quiet, /s\tremove without questions or messages",
                MB_OK | MB_ICONINFORMATION);
        return kUninstallRemoved;
    }

    InstallLock lock;
    if (!lock.Acquire(options.key)) {
        const std::wstring busy = L"Another installer or uninstaller of " + options.key +
                                  L" is running. Wait until it has finished, then try again.";
        log.Line(L"Error: " + busy);
        Message(options, options.key + L" Uninstall", busy, MB_OK | MB_ICONWARNING);
        return kUninstallBusy;
    }
    if (!SettleInterruptedInstallation(options.key, log)) {
        const std::wstring unsettled = L"An interrupted installation of " + options.key +
                                       L" could not be undone completely; nothing was removed. The log " +
                                       L"%TEMP%\\MorvanditeUninstall.log lists what remains. Close any program " +
                                       L"that uses those files and run the uninstaller again.";
        log.Line(L"Error: " + unsettled);
        Message(options, options.key + L" Uninstall", unsettled, MB_OK | MB_ICONERROR);
        return kUninstallIncomplete;
    }

    const std::vector<std::wstring> protectedFolders = ProtectedFolders();
    Recorded recorded;
    if (!ReadRecorded(options.key, protectedFolders, &recorded, &error, log)) {
        log.Line(L"Error: " + error);
        Message(options, options.key + L" Uninstall", error, MB_OK | MB_ICONERROR);
        return kUninstallBadInput;
    }
    const std::wstring caption = recorded.displayName + L" Uninstall";

    while (ClientRunning()) {
        log.Line(L"The client is running.");
        if (options.quiet) return kUninstallClientRunning;
        int answer = Message(options, caption,
                             recorded.displayName + L" is running. Please close it, then choose "
                                                    L"Retry to continue removing it.",
                             MB_RETRYCANCEL | MB_ICONWARNING);
        if (answer != IDRETRY) return kUninstallClientRunning;
    }

    if (!options.quiet) {
        int answer = Message(options, caption,
                             L"Remove " + recorded.displayName +
                                 L" from this computer?\n\nThe program files in\n" +
                                 recorded.installFolder +
                                 L"\nand its shortcuts will be removed. Your settings (" +
                                 SharedNames::kUserSettingsFile.wide + L") are kept.",
                             MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES) {
            log.Line(L"Declined by the user.");
            return kUninstallDeclined;
        }
    }

    Remover remover(recorded, log);
    remover.RemovePayload();
    remover.RemoveInstallerFiles();
    remover.RemoveShortcuts();
    remover.RemoveBrowserButtons();
    bool entryRemoved = remover.RemoveEntry();
    remover.RemoveEmptyFolders();

    if (!entryRemoved) {
        std::wstring list;
        size_t shown = 0;
        for (const std::wstring& failure : remover.failures()) {
            if (shown++ == 8) {
                list += L"...\n";
                break;
            }
            list += failure + L"\n";
        }
        log.Line(L"Finished with " + std::to_wstring(remover.failures().size()) +
                 L" items not removed.");
        Message(options, caption,
                L"Some parts of " + recorded.displayName + L" could not be removed:\n\n" + list +
                    L"\nClose any program that uses them and run the uninstaller again.",
                MB_OK | MB_ICONWARNING);
        return kUninstallIncomplete;
    }

    log.Line(L"Finished: " + recorded.displayName + L" removed.");
    std::wstring done = recorded.displayName + L" was removed from this computer.";
    if (GetFileAttributesW(recorded.installFolder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        done += remover.keptSelf()
                    ? L"\n\nThe uninstaller itself and its folder will be removed when Windows "
                      L"restarts."
                    : L"\n\nThe folder " + recorded.installFolder +
                          L" was kept because it still holds your settings or files that the "
                          L"installation did not make.";
    }
    Message(options, caption, done, MB_OK | MB_ICONINFORMATION);
    return kUninstallRemoved;
}
