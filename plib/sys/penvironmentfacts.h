// What the installer needs to know about the Windows it runs on. Windows only.
#pragma once

struct EnvironmentFacts {
    bool legacyWindows;    // Windows 95/98/Me, or NT older than 2000
    bool hasAdminRights;   // BUILTIN\Administrators is enabled in the process token (IsAdministrator)
    bool useLocalAppData;  // Windows Vista or later
    bool isWow64;          // 32-bit process on 64-bit Windows
    bool runsElevated;     // RunsElevated()
};
bool IsOldWindows();
// True when the process token's BUILTIN\Administrators group is enabled and
// not for deny only (padministratorgroup.h): an elevated process, or any
// administrator's process without UAC; false for UAC's filtered token and
// when the token cannot be read.
bool IsAdministrator();
// True when this process holds an elevated token that the user's other
// processes lack: Windows Vista or later with UAC, TokenIsElevated. False on
// older systems, when the token cannot be read, and under Wine, which has no
// UAC and gives every process the same full token (reported as elevated), so
// that nothing there runs with less than the installer.
bool RunsElevated();
EnvironmentFacts GetEnvironmentFacts();
