// Registers an installation with Windows: the uninstall entry, the program
// group and shortcuts, and the browser toolbar button.
#include <windows.h>

#include <ctime>

#include "InstallerThread.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "psyscalls.h"
#include "timestamps.h"

namespace {
const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kBrowserButtonClass[] = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

PString Join(const PString& folder, const char* name) {
    PString s(folder);
    s.append('\\').append(name);
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
}  // namespace

int InstallerWorkerThread::RegisterInstallation() {
    const InstallOptions& o = settings_;
    int failed = 0;

    PString quotedUninstaller("\"");
    quotedUninstaller.append(o.installFolder).append("\\MorvanditeUninstall.exe\"");
    PString uninstallCommand(quotedUninstaller);
    uninstallCommand.append(" /u:").append(o.displayName);
    PString key(kUninstallRoot);
    key.append(o.displayName);
    const char* k = key.text();

    SetRegistryString(HKEY_LOCAL_MACHINE, k, "DisplayName", o.displayName.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "DisplayIcon", quotedUninstaller.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "UninstallString", uninstallCommand.text(), failed);

    PString source;
    PGetModuleFileName(nullptr, source, &PStringXEncoding);
    LogLine("Source: %s", source.text());
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "InstallSource", source.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "Publisher", o.displayName.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "ProductStartMenu", o.displayName.text(), failed);
    PString date;
    AppendCtimeForm(date, LocalCalendarTime(std::time(nullptr)));
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "InstallDate", date.text(), failed);

    if (HKEY entry = OpenOrCreateRegistryKey(HKEY_LOCAL_MACHINE, k)) {
        SetNumber(entry, "NoModify", 1);
        SetNumber(entry, "NoRepair", 1);
        SetNumber(entry, "Language", DWORD(o.locale));
        RegCloseKey(entry);
    }

    PString launcher = Join(o.installFolder, "MorvanditeUpdate.exe");
    if (o.legacyWindows)
        Sleep(1000);

    LogLine("\nOptions:");
    LogLine(" All users: %d", o.allUsers ? 1 : 0);
    LogLine(" Desktop: %d", o.desktopShortcut ? 1 : 0);
    LogLine(" Start Up: %d", o.startMenuShortcut ? 1 : 0);
    LogLine(" Quick Launch: %d", o.quickLaunchShortcut ? 1 : 0);
    LogLine(" Ie Button: %d", o.browserButton ? 1 : 0);
    LogLine("Common Programs: %s", o.commonProgramsFolder.text());
    LogLine("Programs: %s", o.programsFolder.text());

    bool commonGroup = o.allUsers && !o.commonProgramsFolder.empty();
    PString group = Join(commonGroup ? o.commonProgramsFolder : o.programsFolder, o.productName.text());
    SetRegistryString(HKEY_LOCAL_MACHINE, k, commonGroup ? "CSMPGroup" : "SMPGroup", group.text(), failed);
    SetRegistryString(HKEY_LOCAL_MACHINE, k, "InstallLocation", o.installFolder.text(), failed);

    uint32_t code = 0;
    if (!CreateFolderWithParents(group.text(), &code)) {
        LogLine("Cannot create program shortcuts in '%s': %s", group.text(), SystemErrorText(code).text());
        return -1;
    }

    PString linkName(o.displayName);
    linkName.append(".lnk");
    PString uninstallLinkName("Uninstall ");
    uninstallLinkName.append(o.displayName).append(".lnk");
    PString uninstaller = Join(o.installFolder, "MorvanditeUninstall.exe");
    PString uninstallArgs("/u:");
    uninstallArgs.append(o.displayName);
    const PString& work = o.installFolder;

    MakeLink(launcher.text(), Join(group, linkName.text()), work, nullptr, nullptr, 0);
    MakeLink(Join(o.installFolder, "Tracer.exe").text(), Join(group, "Network Status.lnk"), work, nullptr,
             nullptr, 0);
    if (o.hasAdminRights) {
        MakeLink(uninstaller.text(), Join(group, uninstallLinkName.text()), work, uninstallArgs.text(), nullptr, 0);
        MakeLink(uninstaller.text(), Join(o.installFolder, uninstallLinkName.text()), work, uninstallArgs.text(),
                 nullptr, 0);
    }
    PString icon = Join(o.installFolder, o.iconPath.text());

    if (o.desktopShortcut) {
        const PString& desktop =
            o.allUsers && !o.commonDesktopFolder.empty() ? o.commonDesktopFolder : o.desktopFolder;
        if (!desktop.empty()) {
            PString link = Join(desktop, linkName.text());
            MakeLink(launcher.text(), link, work, nullptr, icon.text(), o.iconIdx);
            SetRegistryString(HKEY_LOCAL_MACHINE, k, "DTLink", link.text(), failed);
        }
    }

    if (o.startMenuShortcut && !o.legacyWindows) {
        const PString& startMenu = o.allUsers ? o.commonStartMenuFolder : o.startMenuFolder;
        if (!startMenu.empty()) {
            PString link = Join(startMenu, linkName.text());
            MakeLink(launcher.text(), link, work, nullptr, icon.text(), o.iconIdx);
            SetRegistryString(HKEY_LOCAL_MACHINE, k, o.allUsers ? "CSMLink" : "SMLink", link.text(), failed);
        }
    }

    if (o.quickLaunchShortcut && !o.quickLaunchFolder.empty()) {
        if (!CreateFolderWithParents(o.quickLaunchFolder.text(), &code)) {
            LogLine("Cannot create program shortcuts in '%s': %s", o.quickLaunchFolder.text(),
                    SystemErrorText(code).text());
            return -1;
        }
        PString link = Join(o.quickLaunchFolder, linkName.text());
        MakeLink(launcher.text(), link, work, nullptr, icon.text(), o.iconIdx);
        SetRegistryString(HKEY_LOCAL_MACHINE, k, "QLLink", link.text(), failed);
    }

    if (!o.legacyWindows && o.hasAdminRights && o.browserButton) {
        HKEY hive = o.allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        PString button(o.isWow64 ? "Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions\\"
                                 : "Software\\Microsoft\\Internet Explorer\\Extensions\\");
        button.append(o.browserButtonId);
        const char* b = button.text();
        SetRegistryString(hive, b, "ButtonText", o.displayName.text(), failed);
        SetRegistryString(hive, b, "HotIcon", icon.text(), failed);
        SetRegistryString(hive, b, "Icon", icon.text(), failed);
        SetRegistryString(hive, b, "Default Visible", "Yes", failed);
        SetRegistryString(hive, b, "CLSID", kBrowserButtonClass, failed);
        SetRegistryString(hive, b, "Exec", launcher.text(), failed);
        SetRegistryString(hive, k, o.allUsers ? "Button2" : "Button1", o.browserButtonId.text(), failed);
    }

    if (!o.legacyWindows && o.hasAdminRights)
        return failed ? -1 : 0;
    return 0;
}
