#define PASSERT_SOURCE "MorvanditeInstall"
#include "unattended.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "InstallerThread.h"
#include "config.h"
#include "desktopuser.h"
#include "diskspace.h"
#include "environment.h"
#include "installfailure.h"
#include "installjournal_win.h"
#include "installplan.h"
#include "locales.h"
#include "msgids.h"
#include "mymsgbox.h"
#include "pencoding.h"
#include "plog.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "punique.h"
#include "sharednames.h"
#include "startup.h"
#include "tracking.h"

namespace {

// The usage box, before any window exists: named after the program file
// the user ran, captioned with the brand's name.
void ShowUsage(const char* fault) {
    PString text;
    if (fault) {
        text = MsgString(TXTINS_The_command_line_is_not_validX_ELL, fault);
        AppendChar(text, '\n');
        AppendChar(text, '\n');
    }
    AppendMsg(text, TXTINS_UsageX_MorvanditeInstallXexe_X_ELL, OwnProgramFileName().text());
    PString caption = MsgString(TXTINS_Install_Morvandite_Software, BrandDisplayName().text());
    ShowStartupNotice(caption.text(), text.text(), 520, 330);
}

// Stands in for the person at a question: logs it and answers with the
// second button (Abort at the running client, No to a sibling's removal).
int AnswerUnattended(const PString& caption, const PString& text, const PString& first, const PString& second) {
    LogLine("Question: %s: %s [%s / %s]", caption.text(), text.text(), first.text(), second.text());
    LogLine("Unattended answer: %s", second.text());
    return kMyMsgBoxSecondButton;
}

// What the page's error box would have said.
void LogCompletion(const InstallerWorkerThread& worker) {
    const int32_t code = worker.LastCompletion();
    switch (code) {
    case kInstallFinished:
    case kInstallStopped:
        break;
    case kInstallArchiveError:
        LogLine("%s", MsgString(TXTINS_This_installer_is_damagedX_Ple_ELL).text());
        break;
    default: {
        const PString detail = worker.LastCompletionText();
        LogLine("%s", InstallFailureText(code, &detail, worker).text());
        break;
    }
    }
}

int Unattended(const InstallerCommandLineParser& commandLine) {
    const CommandLineSwitches& switches = commandLine.Switches;
    PString fault = commandLine.Error();
    if (!fault.empty()) {
        LogLine("Bad command line: %s", fault.text());
        return kExitBadCommandLine;
    }
    if (WindowsVersionRefused()) {
        LogLine("%s", MsgString(TXTINS_Support_for_your_operating_sys_ELL).text());
        return kExitSystemRefused;
    }

    InstallerConfiguration config;
    if (!LoadInstallerConfiguration(config))
        return kExitNotStarted;  // logged
    InstallOptions options;
    ApplyConfiguration(config, options);
    StartingChoices start = FindStartingChoices(options);

    int32_t locale = CurrentLocale;
    if (!switches.localeCode.empty()) {
        locale = OfferedLocale(switches.localeCode.text());
        if (locale < 0) {
            LogLine("Bad command line: this installer does not offer the language '%s'", switches.localeCode.text());
            return kExitBadCommandLine;
        }
    } else if (OfferedLocale(start.localeCode.text()) >= 0) {
        locale = OfferedLocale(start.localeCode.text());
    }
    CurrentLocale = locale;

    // The page's defaults, then what the command line says.
    ApplyPageDefaults(options, commandLine.IsLaunchEnabled, start.installLocation.text());
    ApplyCommandLineSwitches(switches, options);
    options.allUsers = options.hasAdminRights && options.allUsers;
    options.locale = locale;
    LogLine("Folder: %s", options.installFolder.text());
    LogLine("Language: %s", InstallerLocaleInfo[locale].code);

    // The page's plan, before anything is written: the folder as it will be
    // created and recorded, and its space.
    const InstallPlan plan = PlanInstallation(options.installFolder.text());
    if (!plan.FolderUsable()) {
        LogLine("%s", plan.RefusalText().text());
        return kExitCannotWrite;
    }
    options.installFolder = plan.folder;
    if (!plan.spaceKnown) {
        if (PayloadSizeUnreadable()) {
            LogLine("%s", MsgString(TXTINS_This_installer_is_damagedX_Ple_ELL).text());
            return kExitDamaged;
        }
        LogLine("The free space of the drive or network share of '%s' cannot be found", plan.folder.text());
        return kExitCannotWrite;
    }
    if (!plan.SpaceSuffices()) {
        LogLine("%s", MsgString(TXTINS_Not_enough_disk_spaceX_Please__ELL).text());
        LogLine("Space required: %llu, available: %llu", static_cast<unsigned long long>(plan.requiredBytes),
                static_cast<unsigned long long>(plan.freeBytes));
        return kExitCannotWrite;
    }

    // One installer of a product at a time; an unattended run waits for no one.
    InstallLock lock;
    PWString lockName;
    ToWide(lockName, options.displayName.text(), &PStringXEncoding);
    lockName.terminate();
    if (!lock.Acquire(lockName.wide())) {
        LogLine("%s", MsgString(TXTINS_Another_N0_installer_is_runni_ELL, options.displayName.text()).text());
        return kExitAnotherInstaller;
    }

    const char* displayName = options.displayName.text();
    if (CheckRunningInstance(config.mainWindowClass.text(), displayName, &AnswerUnattended) == 1)
        return kExitClientRunning;
    RemoveSiblingBrands(options.productName.text(), displayName, &AnswerUnattended, options.runsElevated != 0);

    InstallerWorkerThread worker;
    if (!worker.Start(options, nullptr, 0)) {
        LogLine("The installing thread could not be started");
        return kExitUnexpected;
    }
    worker.WaitUntilEnded();
    const int32_t code = worker.LastCompletion();
    LogCompletion(worker);
    return ExitCodeForCompletion(code);
}
}  // namespace

StartingChoices FindStartingChoices(InstallOptions& options) {
    StartingChoices start;
    // Default folders; a previous installation's folder wins.
    DefaultFolders folders = FindDefaultFolders(options.productName.text(), options.hasAdminRights != 0);
    start.installLocation = folders.installLocation;
    ApplyDefaultFolders(folders, options);
    // Elevated as another account than the desktop's: that user's own folders.
    ApplyPerUserTargets(ChoosePerUserTargets(FindPerUserFacts(options.runsElevated != 0)), options);
    start.uninstallKey = SharedNames::kUninstallRoot.narrow;
    AppendText(start.uninstallKey, options.displayName.text());
    PString previous;
    if (ReadMachineString(start.uninstallKey.text(), SharedNames::kInstallLocationValue.narrow, previous) &&
        !previous.empty())
        start.installLocation = previous;

    TrackingInfo tracking;
    ReadTrackingInformation(tracking);
    options.trackingInfo = tracking.trackingInfo;
    options.themeId = tracking.themeId;

    // The system's language; on an English system a build's preferred one.
    // (A "TSL=" code of the tracking block does not decide the language.)
    start.localeCode = DefaultLocaleCode();
    if (std::strcmp(start.localeCode.text(), "en") == 0) {
        LocaleIterator first;
        if (!first.atEnd())
            start.localeCode = first.current().code;
    }
    return start;
}

int32_t OfferedLocale(const char* code) {
    if (!code || !*code)
        return -1;
    for (LocaleIterator it; !it.atEnd(); it.next())
        if (std::strcmp(it.current().code, code) == 0)
            return int32_t(it.index());
    return -1;
}

void ApplyPageDefaults(InstallOptions& options, bool launch, const char* installFolder) {
    options.desktopShortcut = 1;
    options.quickLaunchShortcut = 1;
    options.startMenuShortcut = 1;
    options.allUsers = 1;
    options.browserButton = 1;
    options.launchAfterInstall = launch ? 1 : 0;
    options.installFolder = installFolder;
}

bool ApplyCommandLineSwitches(const CommandLineSwitches& switches, InstallOptions& options) {
    auto apply = [](int8_t given, uint8_t& field) {
        if (given >= 0)
            field = uint8_t(given);
    };
    apply(switches.desktopShortcut, options.desktopShortcut);
    apply(switches.quickLaunchShortcut, options.quickLaunchShortcut);
    apply(switches.startMenuShortcut, options.startMenuShortcut);
    apply(switches.browserButton, options.browserButton);
    apply(switches.allUsers, options.allUsers);
    if (!options.hasAdminRights)
        options.allUsers = 0;
    if (switches.installFolder.empty())
        return false;
    options.installFolder = switches.installFolder;
    return true;
}

void ChooseStartupLanguage(const CommandLineSwitches& switches) {
    int32_t locale = FindLocale(switches.localeCode.text());
    if (locale < 0)
        locale = FindLocale(DefaultLocaleCode());
    if (locale >= 0)
        CurrentLocale = locale;
}

void OpenUnattendedLogCopy(const CommandLineSwitches& switches) {
    if (switches.logPath.empty())
        return;
    // Its folder may not exist yet; failures leave a log without a file.
    const char* slash = std::strrchr(switches.logPath.text(), '\\');
    if (slash) {
        try {
            CreateFolderWithParents(PString(switches.logPath.text(), slash).text());
        } catch (const PError&) {
        }
    }
    OpenLogMirror(new PLog(switches.logPath.text(), 0, &PStringXEncoding));
}

int RunUnattended(const InstallerCommandLineParser& commandLine) {
    OpenUnattendedLogCopy(commandLine.Switches);
    LogLine("Unattended installation");
    int code;
    {
        const ComInitialization com;
        try {
            code = Unattended(commandLine);
        } catch (const PError& e) {
            LogLine("Error occurred: %s", e.why());
            code = kExitUnexpected;
        } catch (...) {
            LogLine("General error occurred.");
            code = kExitUnexpected;
        }
        LogLine("Exit code: %d", code);
    }
    OpenLogMirror(nullptr);
    return code;
}

bool RunFromCommandLine(const char* commandLine, int& exitCode) {
    InstallerCommandLineParser parsed;
    parsed.Parse(commandLine);
    const CommandLineSwitches& switches = parsed.Switches;
    if (switches.help) {
        ChooseStartupLanguage(switches);
        ShowUsage(nullptr);
        exitCode = kExitInstalled;
        return true;
    }
    if (switches.silent) {
        exitCode = RunUnattended(parsed);
        return true;
    }
    PString fault = parsed.Error();
    if (!fault.empty()) {
        ChooseStartupLanguage(switches);
        ShowUsage(fault.text());
        exitCode = kExitBadCommandLine;
        return true;
    }
    return false;
}
