#include "installoptions.h"

#include "psyscalls.h"

InstallOptions::InstallOptions()
    : legacyWindows(0), hasAdminRights(0), useLocalAppData(0), isWow64(0), runsElevated(0), overrideUserIni(0),
      iconPath("Morvandite.exe"), iconIdx(0), locale(0), desktopShortcut(1), quickLaunchShortcut(1),
      startMenuShortcut(1), allUsers(0), browserButton(1), launchAfterInstall(1) {
    EnvironmentFacts facts = GetEnvironmentFacts();
    legacyWindows = facts.legacyWindows;
    hasAdminRights = facts.hasAdminRights;
    useLocalAppData = facts.useLocalAppData;
    isWow64 = facts.isWow64;
    runsElevated = facts.runsElevated;
    allUsers = hasAdminRights;
}
