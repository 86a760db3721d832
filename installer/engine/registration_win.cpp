#include "registration.h"

#include <windows.h>

#include <ctime>

#include "installfolders.h"
#include "entryvalues.h"
#include "msgids.h"
#include "payloadresource.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "ppathtext.h"
#include "ppmsg.h"
#include "psyscalls.h"
#include "punique.h"
#include "registryview.h"
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

// Registration's writes: each key recorded in the run's journal before its
// first write, each shortcut's old file kept before it is replaced, and the
// first failure kept with the full name of what failed and the system's reason.
class RegistrationWrites {
public:
    explicit RegistrationWrites(InstallRollback& journal) : journal_(journal) {}

    void String(HKEY hive, const char* key, const char* name, const char* text) {
        journal_.BeforeRegistryWrite(hive, PString(key));
        const UniqueRegistryKey opened(OpenOrCreateRegistryKey(hive, key, ProductRegistryView(hive)));
        const LONG rc = opened ? PRegSetString(opened.get(), name, text, &PStringXEncoding) : LONG(GetLastError());
        if (rc != ERROR_SUCCESS)
            NoteRegistryFailure(hive, key, name, DWORD(rc));
    }
    // Number values: their failures are not counted.
    void Number(HKEY hive, const char* key, const char* name, DWORD value) {
        journal_.BeforeRegistryWrite(hive, PString(key));
        if (const UniqueRegistryKey entry{OpenOrCreateRegistryKey(hive, key, ProductRegistryView(hive))})
            RegSetValueExA(entry.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    // A shortcut. Its own failure is logged but not counted; a file that
    // could not be kept for the undo is left as it is.
    void Link(const char* target, const PString& link, const PString& workingFolder, const char* arguments,
              const char* iconFile, int iconIndex) {
        if (!journal_.BeforeReplaceFile(link))
            return;
        const HRESULT hr = CreateShellLink(&PStringXEncoding, target, link.text(), workingFolder.text(), arguments,
                                           iconFile, iconIndex);
        if (FAILED(hr))
            LogLine("%s: %s", MsgString(TXTINS_Cannot_create_shortcut_XN0X, link.text()).text(),
                    SystemErrorText(DWORD(hr)).text());
    }
    // A folder shortcuts go into; false (logged, and the registration's
    // failure) when it cannot be made, also when its path runs through a file.
    bool Folder(const PString& folder) {
        uint32_t code = 0;
        try {
            if (CreateFolderWithParents(folder.text(), &code, &journal_))
                return true;
        } catch (const PInternalError&) {
            code = ERROR_DIRECTORY;  // a file stands where a folder must be
        }
        LogLine("Cannot create program shortcuts in '%s': %s", folder.text(), SystemErrorText(code).text());
        if (!failed_)
            failure_ = WithReason(MsgString(TXTINS_Cannot_create_folder_XN0X, folder.text()), code);
        failed_ = true;
        return false;
    }

    bool Failed() const { return failed_; }
    // The first failure: the operation, the full path and the system's reason.
    const PString& Failure() const { return failure_; }

private:
    static PString WithReason(PString text, DWORD code) {
        if (!code)
            code = ERROR_GEN_FAILURE;
        PString reason = SystemErrorText(code);
        while (!reason.empty() && (reason.text()[reason.length() - 1] == ' ' || reason.text()[reason.length() - 1] == '.'))
            reason.truncate(reason.length() - 1);
        AppendText(text, ": ");
        AppendText(text, reason.text());
        text.append(" (").appendUint(code).append(")");
        return text;
    }
    void NoteRegistryFailure(HKEY hive, const char* key, const char* name, DWORD code) {
        PString full(hive == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER\\"
                     : hive == HKEY_USERS      ? "HKEY_USERS\\"
                                               : "HKEY_LOCAL_MACHINE\\");
        AppendText(full, key);
        full.append('\\');
        AppendText(full, name);
        const PString text = WithReason(MsgString(TXTINS_Cannot_write_registry_value_XN0X, full.text()), code);
        LogLine("%s", text.text());
        if (!failed_)
            failure_ = text;
        failed_ = true;
    }

    InstallRollback& journal_;
    bool failed_ = false;
    PString failure_;
};

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

// The running program's product version ("A.B.C.D") from its version
// resource; empty when it has none.
PString OwnVersion() {
    PString version;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16) /* RT_VERSION */);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data || !ProductVersionText(data, SizeofResource(nullptr, found), version))
        LogLine("No version information of the installer's own for the uninstall entry");
    return version;
}

// The installation's own values of its uninstall entry under key: what the
// installation is, where it is and how it goes again. payloadBytes is what
// the payload's files take (0: unknown, no size is recorded).
void WriteUninstallEntry(const InstallOptions& o, const char* key, uint32_t payloadBytes, RegistrationWrites& writes) {
    const PString quotedUninstaller = QuotedText(Join(o.installFolder, SharedNames::kUninstallerFile.narrow).text());
    PString uninstallCommand(quotedUninstaller);
    AppendText(uninstallCommand, " /u:");
    AppendText(uninstallCommand, o.displayName.text());
    writes.String(HKEY_LOCAL_MACHINE, key, SharedNames::kDisplayNameValue.narrow, o.displayName.text());
    writes.String(HKEY_LOCAL_MACHINE, key, "DisplayIcon", quotedUninstaller.text());
    writes.String(HKEY_LOCAL_MACHINE, key, "UninstallString", uninstallCommand.text());
    PString quietCommand(uninstallCommand);
    AppendText(quietCommand, " /quiet");
    writes.String(HKEY_LOCAL_MACHINE, key, "QuietUninstallString", quietCommand.text());

    PString source;
    PGetModuleFileName(nullptr, source, &PStringXEncoding);
    LogLine("Source: %s", source.text());
    writes.String(HKEY_LOCAL_MACHINE, key, "InstallSource", source.text());
    writes.String(HKEY_LOCAL_MACHINE, key, "Publisher", o.displayName.text());
    writes.String(HKEY_LOCAL_MACHINE, key, "ProductStartMenu", o.displayName.text());
    PString date;  // the day, as Windows sorts and shows it
    AppendRegistryDate(date, LocalCalendarTime(std::time(nullptr)));
    writes.String(HKEY_LOCAL_MACHINE, key, "InstallDate", date.text());
    const PString version = OwnVersion();
    if (!version.empty())
        writes.String(HKEY_LOCAL_MACHINE, key, "DisplayVersion", version.text());
    if (!o.site.empty()) {
        writes.String(HKEY_LOCAL_MACHINE, key, "URLInfoAbout", o.site.text());
        writes.String(HKEY_LOCAL_MACHINE, key, "HelpLink", o.site.text());
    }

    writes.Number(HKEY_LOCAL_MACHINE, key, "NoModify", 1);
    writes.Number(HKEY_LOCAL_MACHINE, key, "NoRepair", 1);
    writes.Number(HKEY_LOCAL_MACHINE, key, "Language", DWORD(o.locale));
    // Windows shows the size recorded here and no longer works it out itself.
    if (payloadBytes)
        writes.Number(HKEY_LOCAL_MACHINE, key, "EstimatedSize", SizeInKiB(payloadBytes));
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
PString RecordProgramGroup(const InstallOptions& o, const char* key, RegistrationWrites& writes) {
    const bool commonGroup = o.allUsers && !o.commonProgramsFolder.empty();
    PString group = Join(commonGroup ? o.commonProgramsFolder : o.programsFolder, o.productName.text());
    const SharedName& groupValue =
        commonGroup ? SharedNames::kCommonStartMenuGroupValue : SharedNames::kStartMenuGroupValue;
    writes.String(HKEY_LOCAL_MACHINE, key, groupValue.narrow, group.text());
    writes.String(HKEY_LOCAL_MACHINE, key, SharedNames::kInstallLocationValue.narrow, o.installFolder.text());
    return group;
}

// The launcher and the network status tool in the group; for administrators
// the uninstaller there and in the install folder too. These shortcuts are
// not recorded in the entry: the uninstaller removes them by these names
// (sharednames.h), so they are the same in every language.
void CreateGroupShortcuts(const InstallOptions& o, const PString& group, const PString& launcher,
                          const PString& linkName, RegistrationWrites& writes) {
    const PString& work = o.installFolder;
    writes.Link(launcher.text(), Join(group, linkName.text()), work, nullptr, nullptr, 0);
    writes.Link(Join(o.installFolder, "Tracer.exe").text(), Join(group, SharedNames::kNetworkStatusLink.narrow), work,
                nullptr, nullptr, 0);
    if (!o.hasAdminRights)
        return;
    PString uninstallLinkName = Concat(SharedNames::kUninstallLinkPrefix.narrow, o.displayName.text());
    AppendText(uninstallLinkName, ".lnk");
    const PString uninstaller = Join(o.installFolder, SharedNames::kUninstallerFile.narrow);
    const PString uninstallArgs = Concat("/u:", o.displayName.text());
    writes.Link(uninstaller.text(), Join(group, uninstallLinkName.text()), work, uninstallArgs.text(), nullptr, 0);
    writes.Link(uninstaller.text(), Join(o.installFolder, uninstallLinkName.text()), work, uninstallArgs.text(),
             nullptr, 0);
}

// The launcher shortcuts the user asked for, each recorded in the entry;
// false when a folder that had to be made could not be.
bool CreateLauncherShortcuts(const InstallOptions& o, const char* key, const PString& launcher,
                             const PString& linkName, const PString& icon, RegistrationWrites& writes) {
    for (const LauncherShortcut& shortcut : kLauncherShortcuts) {
        const PString& folder = shortcut.folder(o);
        if (!shortcut.wanted(o) || folder.empty())
            continue;
        if (shortcut.mayBeMissing && !writes.Folder(folder))
            return false;
        const PString link = Join(folder, linkName.text());
        writes.Link(launcher.text(), link, o.installFolder, nullptr, icon.text(), o.iconIdx);
        writes.String(HKEY_LOCAL_MACHINE, key, shortcut.valueName.narrow, link.text());
    }
    return true;
}

// The browser's toolbar button that starts the launcher, in the machine's
// hive for all users, otherwise in the user's (the desktop user's hive under
// HKEY_USERS when the options name one), recorded in the entry there
// (Button2 or Button1). The key is the same on every system: the browser
// reads the user's where it is (HKCU Software is not redirected), and the
// machine's lands in the 32-bit view through the view every machine key is
// written in (registryview.h).
void RegisterBrowserButton(const InstallOptions& o, const char* uninstallKey, const PString& launcher,
                           const PString& icon, RegistrationWrites& writes) {
    HKEY hive = o.allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    PString userHive;  // "<sid>\" before the key paths under HKEY_USERS
    if (!o.allUsers && !o.userHiveSid.empty()) {
        hive = HKEY_USERS;
        userHive = Concat(o.userHiveSid.text(), "\\");
    }
    PString button = Concat(userHive.text(), SharedNames::kBrowserButtonRoot.narrow);
    AppendText(button, o.browserButtonId.text());
    const PString entry = Concat(userHive.text(), uninstallKey);
    const char* key = entry.text();
    const char* b = button.text();
    writes.String(hive, b, "ButtonText", o.displayName.text());
    writes.String(hive, b, "HotIcon", icon.text());
    writes.String(hive, b, "Icon", icon.text());
    writes.String(hive, b, "Default Visible", "Yes");
    writes.String(hive, b, "CLSID", kBrowserButtonClass);
    writes.String(hive, b, "Exec", launcher.text());
    const SharedName& buttonValue =
        o.allUsers ? SharedNames::kMachineBrowserButtonValue : SharedNames::kUserBrowserButtonValue;
    writes.String(hive, key, buttonValue.narrow, o.browserButtonId.text());
}
}  // namespace

bool RegisterInstallation(const InstallOptions& o, int payloadResourceId, InstallRollback& rollback,
                          PString* failure) {
    RegistrationWrites writes(rollback);
    const PString key = Concat(SharedNames::kUninstallRoot.narrow, o.displayName.text());
    uint32_t payloadBytes = 0;
    try {
        payloadBytes = GetResourceRequiredSpace(payloadResourceId, 0);
    } catch (const PError& e) {
        LogLine("No installed size for the uninstall entry: %s", e.why());
    }
    WriteUninstallEntry(o, key.text(), payloadBytes, writes);

    const PString launcher = Join(o.installFolder, "MorvanditeUpdate.exe");
    if (o.legacyWindows)
        Sleep(1000);
    LogShortcutOptions(o);

    const PString group = RecordProgramGroup(o, key.text(), writes);
    bool complete = writes.Folder(group);
    if (complete) {
        PString linkName(o.displayName);
        AppendText(linkName, ".lnk");
        CreateGroupShortcuts(o, group, launcher, linkName, writes);
        const PString icon = Join(o.installFolder, o.iconPath.text());
        complete = CreateLauncherShortcuts(o, key.text(), launcher, linkName, icon, writes);
        if (complete && !o.legacyWindows && o.hasAdminRights && o.browserButton)
            RegisterBrowserButton(o, key.text(), launcher, icon, writes);
    }
    // Only a full registration (an administrator on a current system) fails
    // on a value that could not be written; a shortcut folder always does.
    const bool failed = !complete || (!o.legacyWindows && o.hasAdminRights && writes.Failed());
    if (failed && failure)
        *failure = writes.Failure();
    return !failed;
}
