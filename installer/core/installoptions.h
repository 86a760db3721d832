// Everything the install worker needs to know, filled by the install window
// and copied into the worker when it starts.
#pragma once
#include <cstdint>

#include "pstring.h"

struct InstallOptions {
    // Probes the environment for the first five flags; the rest take their defaults.
    InstallOptions();

    uint8_t legacyWindows;
    uint8_t hasAdminRights;
    uint8_t useLocalAppData;
    uint8_t isWow64;
    // Elevated under UAC (RunsElevated): what the installer starts for the
    // user goes through the desktop's shell (userstart.h).
    uint8_t runsElevated;
    PString productName;      // start-menu program group folder
    PString displayName;      // uninstall key, shortcuts, browser button
    PString workFolderName;   // per-user settings folder under local application data
    PString browserButtonId;  // registry-form GUID of the browser toolbar button
    uint8_t overrideUserIni;
    PString iconPath;         // relative to the install folder
    PString site;             // the maker's web address: the uninstall entry's support links
    int32_t iconIdx;
    PString trackingInfo;
    PString themeId;
    int32_t locale;
    uint8_t desktopShortcut;
    uint8_t quickLaunchShortcut;
    uint8_t startMenuShortcut;
    uint8_t allUsers;
    uint8_t browserButton;
    PString installFolder;    // without trailing backslash
    uint8_t launchAfterInstall;
    PString programsFolder;
    PString commonProgramsFolder;
    PString desktopFolder;
    PString commonDesktopFolder;
    PString startMenuFolder;
    PString commonStartMenuFolder;
    PString quickLaunchFolder;
    // Set only when an elevated run installs for a desktop user who is not
    // the installing account (peruser.h); the per-user folders above are
    // then that user's too. Empty: the installing account's, as without
    // elevation.
    PString userHiveSid;         // per-user registry values go to HKEY_USERS\<sid>
    PString localAppDataFolder;  // where user.ini's work folder goes
    // Every elevated run: for whom the per-user files are, which the worker
    // logs. Empty without elevation.
    PString perUserNote;
};
