// The environment facts.
#include "penvironmentfacts.h"

#include <windows.h>

#include <vector>

#include "padministratorgroup.h"
#include "punique.h"
#include "pwindowsversion.h"

bool IsOldWindows() {
    const WindowsVersion& version = RunningWindowsVersion();
    return !version.NtFamily() || version.PackedMajor() < 5;
}

bool IsAdministrator() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    DWORD needed = 0;
    GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &needed);
    if (needed < sizeof(TOKEN_GROUPS))
        return false;
    std::vector<unsigned char> buffer(needed);
    TOKEN_GROUPS* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    if (!GetTokenInformation(token.get(), TokenGroups, groups, needed, &needed))
        return false;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    std::vector<TokenGroupFacts> facts;
    facts.reserve(groups->GroupCount);
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        facts.push_back({EqualSid(groups->Groups[i].Sid, administrators) != FALSE, groups->Groups[i].Attributes});
    FreeSid(administrators);
    return AdministratorsGroupEnabled(facts.data(), facts.size());
}

namespace {

// Wine's ntdll exports its version; Windows' never does.
bool WineHost() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsVistaOrLater() {
    const WindowsVersion& version = RunningWindowsVersion();
    return version.detailed && version.platform == VER_PLATFORM_WIN32_NT && version.major > 5;
}

bool IsWow64() {
    using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    Fn isWow64 = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                        : nullptr;
    BOOL result = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &result) && result;
}
}  // namespace

bool RunsElevated() {
    if (!IsVistaOrLater() || WineHost())
        return false;
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

EnvironmentFacts GetEnvironmentFacts() {
    EnvironmentFacts facts;
    facts.legacyWindows = IsOldWindows();
    facts.hasAdminRights = IsAdministrator();
    facts.useLocalAppData = IsVistaOrLater();
    facts.isWow64 = IsWow64();
    facts.runsElevated = RunsElevated();
    return facts;
}
