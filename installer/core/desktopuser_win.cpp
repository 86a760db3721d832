#include "desktopuser.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "accountsid.h"
#include "environment.h"
#include "pencoding.h"
#include "perror.h"
#include "punique.h"

namespace {
PString FromSystem(const wchar_t* text) {
    PString out;
    FromWide(out, text, &PStringXEncoding);
    return out;
}

// The account a token belongs to: SID and "DOMAIN\name".
bool ReadAccount(HANDLE token, UserAccount& account) {
    std::wstring sid, name;
    if (!TokenAccountSid(token, &sid, &name))
        return false;
    account.sid = FromSystem(sid.c_str());
    if (!name.empty())
        account.name = FromSystem(name.c_str());
    return true;
}

PString FolderOf(HANDLE token, int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, token, SHGFP_TYPE_CURRENT, path)))
        return PString();
    return FromSystem(path);
}

// With the debug privilege, which administrators hold but have not enabled,
// for this thread alone: another user's process lets an administrator in
// only with it. False when the thread could not be given it.
class DebugPrivilegeForThread {
public:
    DebugPrivilegeForThread() {
        if (!ImpersonateSelf(SecurityImpersonation))
            return;
        impersonating_ = true;
        UniqueHandle token;
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (OpenThreadToken(GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES, TRUE, token.put()) &&
            LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    ~DebugPrivilegeForThread() {
        if (impersonating_)
            RevertToSelf();
    }
    DebugPrivilegeForThread(const DebugPrivilegeForThread&) = delete;
    DebugPrivilegeForThread& operator=(const DebugPrivilegeForThread&) = delete;

private:
    bool impersonating_ = false;
};

// The desktop's shell process's token as an impersonation token of our own
// (what SHGetFolderPath takes); empty when there is none to be had.
UniqueHandle DesktopShellToken() {
    const HWND shellWindow = GetShellWindow();
    DWORD processId = 0;
    if (!shellWindow || !GetWindowThreadProcessId(shellWindow, &processId) || !processId)
        return UniqueHandle();
    auto open = [processId](UniqueHandle& token) {
        const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        return process && OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE, token.put());
    };
    UniqueHandle primary;
    if (!open(primary)) {
        const DebugPrivilegeForThread debug;
        if (!open(primary))
            return UniqueHandle();
    }
    UniqueHandle duplicate;
    if (!DuplicateTokenEx(primary.get(), TOKEN_QUERY | TOKEN_IMPERSONATE, nullptr, SecurityImpersonation,
                          TokenImpersonation, duplicate.put()))
        return UniqueHandle();
    return duplicate;
}
}  // namespace

PerUserFacts FindPerUserFacts(bool elevated) {
    PerUserFacts facts;
    facts.elevated = elevated;
    if (!elevated)
        return facts;
    try {
        UniqueHandle own;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put()))
            ReadAccount(own.get(), facts.installing);
        const UniqueHandle desktop = DesktopShellToken();
        if (desktop && ReadAccount(desktop.get(), facts.desktopUser)) {
            facts.desktopUserFound = true;
            UserFolders& f = facts.desktopUser.folders;
            f.desktop = FolderOf(desktop.get(), CSIDL_DESKTOPDIRECTORY);
            f.programs = FolderOf(desktop.get(), CSIDL_PROGRAMS);
            f.startMenu = FolderOf(desktop.get(), CSIDL_STARTMENU);
            f.appData = FolderOf(desktop.get(), CSIDL_APPDATA);
            f.localAppData = FolderOf(desktop.get(), CSIDL_LOCAL_APPDATA);
        }
    } catch (const PError&) {
        // What was found stands; the decision copes with the rest.
    }
    return facts;
}

void ApplyPerUserTargets(const PerUserTargets& targets, InstallOptions& options) {
    options.perUserNote = targets.note;
    if (!targets.desktopUsers)
        return;
    const UserFolders& f = targets.folders;
    options.desktopFolder = f.desktop;
    options.programsFolder = f.programs;
    options.startMenuFolder = f.startMenu;
    options.quickLaunchFolder = QuickLaunchFolderIn(f.appData);
    options.localAppDataFolder = f.localAppData;
    options.userHiveSid = targets.hiveSid;
}
