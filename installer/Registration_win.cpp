// Registers an installation with Windows: the uninstall entry, the program
// group and shortcuts, and the browser toolbar button.
#include <windows.h>

#include <ctime>

#include "InstallerThread.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"
#include "psyscalls.h"
#include "punique.h"
#include "sharednames.h"
#include "timestamps.h"

namespace {
const char kBrowserButtonClass[] = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

PString Join(const PString& folder, const char* name) { return JoinPath(folder.text(), name); }

// prefix followed by the characters of text.
PString Concat(const char* prefix, const char* text) {
    PString s(prefix);
    AppendText(s, text);
    return s;
}

PString SystemErrorText(DWORD code) {
    PString text;
    PSystemErrorDescription(code, text);
    return text;
}

void SetNumber(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void MakeLink(const char* target, const PString& link, const PString& workingFolder, const char* arguments,
              const char* iconFile, int iconIndex) {
    CreateShellLink(&PStringXEncoding, target, link.text(), workingFolder.text(), arguments, iconFile, iconIndex);
}

// A folder shortcuts go into; false (logged) when it cannot be made.
bool CreateShortcutFolder(const PString& folder) {
    uint32_t code = 0;
    if (CreateFolderWithParents(folder.text(), &code))
        return true;
    LogLine("Cannot create program shortcuts in '%s': %s", folder.text(), SystemErrorText(code).text());
    return false;
}

// A shortcut to the launcher the user may ask for, and the value of the
// uninstall entry that records it for the uninstaller.
struct LauncherShortcut {
    bool (*wanted)(const InstallOptions& o);
    const PString& (*folder)(const InstallOptions& o);  // empty: the system has none
    const SharedName& valueName;
    bool mayBeMissing;  // the folder is created first
};

const LauncherShortcut kLauncherShortcuts[] = {
    {[](const InstallOptions& o) { return o.desktopShortcut != 0; },
     [](const InstallOptions& o) -> const PString& {
         return o.allUsers && !o.commonDesktopFolder.empty() ? o.commonDesktopFolder : o.desktopFolder;
     },
     SharedNames::kDesktopLinkValue, false},
    // Old systems have no start menu shortcuts of ours.
    {[](const InstallOptions& o) { return o.startMenuShortcut && !o.legacyWindows && !o.allUsers; },
     [](const InstallOptions& o) -> const PString& { return o.startMenuFolder; },
     SharedNames::kStartMenuLinkValue, false},
    {[](const InstallOptions& o) { return o.startMenuShortcut && !o.legacyWindows && o.allUsers; },
     [](const InstallOptions& o) -> const PString& { return o.commonStartMenuFolder; },
     SharedNames::kCommonStartMenuLinkValue, false},
    {[](const InstallOptions& o) { return o.quickLaunchShortcut != 0; },
     [](const InstallOptions& o) -> const PString& { return o.quickLaunchFolder; },
     SharedNames::kQuickLaunchLinkValue, true},
};

// The installation's own values of its uninstall entry under key.
void WriteUninstallEntry(const InstallOptions& o, const char* key, int& failed) {
    const PString quotedUninstaller = QuotedText(Join(o.installFolder, SharedNames::kUninstallerFile.narrow).text());
    PString uninstallCommand(quotedUninstaller);
    AppendText(uninstallCommand, " /u:");
    AppendText(uninstallCommand, o.displayName.text());
    SetRegistryString(HKEY_LOCAL_MACHINE, key, SharedNames::kDisplayNameValue.narrow, o.displayName.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, key, "DisplayIcon", quotedUninstaller.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, key, "UninstallString", uninstallCommand.text(), failed);

    PString source;
    PGetModuleFileName(nullptr, source, &PStringXEncoding);
    LogLine("Source: %s", source.text());
    SetRegistryString(HKEY_LOCAL_MACHINE, key, "InstallSource", source.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, key, "Publisher", o.displayName.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, key, "ProductStartMenu", o.displayName.text(), failed);
    PString date;
    AppendCtimeForm(date, LocalCalendarTime(std::time(nullptr)));
    SetRegistryString(HKEY_LOCAL_MACHINE, key, "InstallDate", date.text(), failed);

    if (const UniqueRegistryKey entry{OpenOrCreateRegistryKey(HKEY_LOCAL_MACHINE, key)}) {
        SetNumber(entry.get(), "NoModify", 1);
        SetNumber(entry.get(), "NoRepair", 1);
        SetNumber(entry.get(), "Language", DWORD(o.locale));
    }
}

void LogShortcutOptions(const InstallOptions& o) {
    LogLine("\nOptions:");
    LogLine(" All users: %d", o.allUsers ? 1 : 0);
    LogLine(" Desktop: %d", o.desktopShortcut ? 1 : 0);
    LogLine(" Start Up: %d", o.startMenuShortcut ? 1 : 0);
    LogLine(" Quick Launch: %d", o.quickLaunchShortcut ? 1 : 0);
    LogLine(" Ie Button: %d", o.browserButton ? 1 : 0);
    LogLine("Common Programs: %s", o.commonProgramsFolder.text());
    LogLine("Programs: %s", o.programsFolder.text());
}

// The program group (the common one for all users when the system has it),
// recorded in the entry together with the install folder.
PString RecordProgramGroup(const InstallOptions& o, const char* key, int& failed) {
    const bool commonGroup = o.allUsers && !o.commonProgramsFolder.empty();
    PString group = Join(commonGroup ? o.commonProgramsFolder : o.programsFolder, o.productName.text());
    const SharedName& groupValue =
        commonGroup ? SharedNames::kCommonStartMenuGroupValue : SharedNames::kStartMenuGroupValue;
    SetRegistryString(HKEY_LOCAL_MACHINE, key, groupValue.narrow, group.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, key, SharedNames::kInstallLocationValue.narrow, o.installFolder.text(),
                      failed);
    return group;
}

// The launcher and the network status tool in the group; for administrators
// the uninstaller there and in the install folder too.
void CreateGroupShortcuts(const InstallOptions& o, const PString& group, const PString& launcher,
                          const PString& linkName) {
    const PString& work = o.installFolder;
    MakeLink(launcher.text(), Join(group, linkName.text()), work, nullptr, nullptr, 0);
    MakeLink(Join(o.installFolder, "Tracer.exe").text(), Join(group, "Network Status.lnk"), work, nullptr,
             nullptr, 0);
    if (!o.hasAdminRights)
        return;
    PString uninstallLinkName = Concat("Uninstall ", o.displayName.text());
    AppendText(uninstallLinkName, ".lnk");
    const PString uninstaller = Join(o.installFolder, SharedNames::kUninstallerFile.narrow);
    const PString uninstallArgs = Concat("/u:", o.displayName.text());
    MakeLink(uninstaller.text(), Join(group, uninstallLinkName.text()), work, uninstallArgs.text(), nullptr, 0);
    MakeLink(uninstaller.text(), Join(o.installFolder, uninstallLinkName.text()), work, uninstallArgs.text(),
             nullptr, 0);
}

// The launcher shortcuts the user asked for, each recorded in the entry;
// false when a folder that had to be made could not be.
bool CreateLauncherShortcuts(const InstallOptions& o, const char* key, const PString& launcher,
                             const PString& linkName, const PString& icon, int& failed) {
    for (const LauncherShortcut& shortcut : kLauncherShortcuts) {
        const PString& folder = shortcut.folder(o);
        if (!shortcut.wanted(o) || folder.empty())
            continue;
        if (shortcut.mayBeMissing && !CreateShortcutFolder(folder))
            return false;
        const PString link = Join(folder, linkName.text());
        MakeLink(launcher.text(), link, o.installFolder, nullptr, icon.text(), o.iconIdx);
        SetRegistryString(HKEY_LOCAL_MACHINE, key, shortcut.valueName.narrow, link.text(), failed);
    }
    return true;
}

// The browser's toolbar button that starts the launcher, in the machine's
// hive for all users, recorded in the entry (Button2 or Button1).
void RegisterBrowserButton(const InstallOptions& o, const char* key, const PString& launcher, const PString& icon,
                           int& failed) {
    HKEY hive = o.allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    PString button(o.isWow64 ? "Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\"
                             : "Software\\Microsoft\\Internet Explorer\\Extensions\\");
    AppendText(button, o.browserButtonId.text());
    const char* b = button.text();
    SetRegistryString(hive, b, "ButtonText", o.displayName.text(), failed);
    SetRegistryString(hive, b, "HotIcon", icon.text(), failed);
    SetRegistryString(hive, b, "Icon", icon.text(), failed);
    SetRegistryString(hive, b, "Default Visible", "Yes", failed);
    SetRegistryString(hive, b, "CLSID", kBrowserButtonClass, failed);
    SetRegistryString(hive, b, "Exec", launcher.text(), failed);
    const SharedName& buttonValue =
        o.allUsers ? SharedNames::kMachineBrowserButtonValue : SharedNames::kUserBrowserButtonValue;
    SetRegistryString(hive, key, buttonValue.narrow, o.browserButtonId.text(), failed);
}
}  // namespace

int InstallerWorkerThread::RegisterInstallation() {
    const InstallOptions& o = settings_;
    int failed = 0;
    const PString key = Concat(SharedNames::kUninstallRoot.narrow, o.displayName.text());
    WriteUninstallEntry(o, key.text(), failed);

    const PString launcher = Join(o.installFolder, "MorvanditeUpdate.exe");
    if (o.legacyWindows)
        Sleep(1000);
    LogShortcutOptions(o);

    const PString group = RecordProgramGroup(o, key.text(), failed);
    if (!CreateShortcutFolder(group))
        return -1;
    PString linkName(o.displayName);
    AppendText(linkName, ".lnk");
    CreateGroupShortcuts(o, group, launcher, linkName);
    const PString icon = Join(o.installFolder, o.iconPath.text());
    if (!CreateLauncherShortcuts(o, key.text(), launcher, linkName, icon, failed))
        return -1;
    if (!o.legacyWindows && o.hasAdminRights && o.browserButton)
        RegisterBrowserButton(o, key.text(), launcher, icon, failed);

    // Only a full registration (an administrator on a current system) fails
    // on a value that could not be written.
    if (!o.legacyWindows && o.hasAdminRights)
        return failed ? -1 : 0;
    return 0;
}
