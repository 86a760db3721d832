// The one decision whether an installation can go to a folder, behind the
// page's Install button and the reason it shows, -dir and -silent: the install
// folder rule the uninstaller shares (protocols/installfolderrules.h) against
// this system's protected and system folders, and the free space of the
// folder's drive or network share (diskspace.h) against what the payload
// needs. Windows only; main thread (the disk-space figures are cached there
// without a lock). The system's folders are asked once per process.
#pragma once
#include <cstdint>

#include "ppmsg.h"
#include "pstring.h"

// The verdict on one folder. A folder on a network share
// ("\\server\share\Games") is an install folder like "C:\Games" (the
// share's root is not, as a drive's is not), and its space is the share's.
struct InstallPlan {
    // The folder as it will be created and recorded (PStringX): normalized
    // (see FolderRules::CheckInstallFolder) when usable, as given otherwise.
    PString folder;
    // Why the folder cannot take the installation: one of the
    // TXTINS_it_is_... / TXTINS_a_name_in_it_... / TXTINS_the_path_is_too_long
    // reasons (the %1 of TXTINS_The_folder_XN0X_cannot_be_use_ELL); table
    // null when it can. A refused folder's space is not asked.
    MsgRef refusal = {nullptr, 0};
    // The drive's or share's figures (GetDiskSpace); spaceKnown false when
    // they could not be found (no such drive or share, or an unreadable
    // payload: PayloadSizeUnreadable()), and then both are 0.
    bool spaceKnown = false;
    uint64_t freeBytes = 0;
    uint64_t requiredBytes = 0;

    bool FolderUsable() const { return refusal.table == nullptr; }
    // Strictly more free than required, as the page has always asked.
    bool SpaceSuffices() const { return spaceKnown && freeBytes > requiredBytes; }
    bool CanInstall() const { return FolderUsable() && SpaceSuffices(); }
    // "The folder '<folder>' cannot be used for the installation: <reason>"
    // in the current locale; empty when the folder is usable.
    PString RefusalText() const;
};

// The plan for `folder` (PStringX, as typed or given with -dir): the folder
// rule first, then, for a usable folder, its space. Beyond the shared rule a
// folder whose characters the system calls of this run cannot express (a
// name outside the ANSI code page while the ANSI calls are used, under Wine)
// is refused with the bad-character reason, as the worker could not make it.
// Never throws; a null folder is an empty one.
InstallPlan PlanInstallation(const char* folder);

// The folder rule alone, without the space (for the command line, which
// must not touch the disks): the refusal as in InstallPlan, table null when
// the folder is usable, and then its normalized form in `normalized` (when
// given; untouched otherwise).
MsgRef InstallFolderRefusal(const char* folder, PString* normalized);
