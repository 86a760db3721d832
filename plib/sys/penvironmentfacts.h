// What the installer needs to know about the Windows it runs on. Windows only.
#pragma once

struct EnvironmentFacts {
    bool legacyWindows;    // Windows 95/98/Me, or NT older than 2000
    bool hasAdminRights;   // the process token holds BUILTIN\Administrators
    bool useLocalAppData;  // Windows Vista or later
    bool isWow64;          // 32-bit process on 64-bit Windows
};
bool IsOldWindows();
bool IsAdministrator();
EnvironmentFacts GetEnvironmentFacts();
