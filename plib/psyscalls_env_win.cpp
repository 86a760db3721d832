// Program resources, the environment facts, TryEnterCriticalSection and the
// time-zone bias.
#include <ctime>

#include "psyscalls.h"
#include "psystemdll.h"
#include "pwindowsversion.h"

HGLOBAL LoadProgramResource(int id, const uint8_t** data, uint32_t* size) {
    if (data)
        *data = nullptr;
    if (size)
        *size = 0;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "MV");
    if (!found)
        return nullptr;
    DWORD length = SizeofResource(module, found);
    HGLOBAL handle = LoadResource(module, found);
    if (!handle)
        return nullptr;
    const void* bytes = LockResource(handle);
    if (!bytes) {
        FreeResource(handle);
        return nullptr;
    }
    if (data)
        *data = static_cast<const uint8_t*>(bytes);
    if (size)
        *size = length;
    return handle;
}

bool IsOldWindows() {
    const WindowsVersion& version = RunningWindowsVersion();
    return !version.NtFamily() || version.PackedMajor() < 5;
}

bool IsAdministrator() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    bool admin = false;
    DWORD needed = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
    TOKEN_GROUPS* groups = needed ? static_cast<TOKEN_GROUPS*>(GlobalAlloc(GPTR, needed)) : nullptr;
    if (groups) {
        if (GetTokenInformation(token, TokenGroups, groups, needed, &needed)) {
            SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
            PSID administrators = nullptr;
            if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                         0, &administrators)) {
                for (DWORD i = 0; i < groups->GroupCount && !admin; ++i)
                    admin = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
                FreeSid(administrators);
            }
        }
        GlobalFree(groups);
    }
    CloseHandle(token);
    return admin;
}

namespace {

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

bool g_tryEnterLooked = false;
PTryEnterCriticalSectionFn g_tryEnter = nullptr;

}  // namespace

EnvironmentFacts GetEnvironmentFacts() {
    EnvironmentFacts facts;
    facts.legacyWindows = IsOldWindows();
    facts.hasAdminRights = IsAdministrator();
    facts.useLocalAppData = IsVistaOrLater();
    facts.isWow64 = IsWow64();
    return facts;
}

bool HasTryEnterCriticalSection() { return TryEnterCriticalSectionFunction() != nullptr; }

PTryEnterCriticalSectionFn TryEnterCriticalSectionFunction() {
    // Two first calls at once would both find the same answer.
    if (!g_tryEnterLooked) {
        HMODULE kernel = LoadSystemLibrary("kernel32.dll");  // kept for the process's life
        if (kernel)
            g_tryEnter = reinterpret_cast<PTryEnterCriticalSectionFn>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "TryEnterCriticalSection")));
        g_tryEnterLooked = true;
    }
    return g_tryEnter;
}

int32_t TimeZoneBiasSeconds() {
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return 0;
    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local && local->tm_isdst > 0)
        return int32_t(zone.Bias + zone.DaylightBias) * 60;
    return int32_t(zone.Bias) * 60;
}
