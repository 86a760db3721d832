// Whose profile and registry hive an installation's per-user files go to:
// user.ini, the Quick Launch shortcut and, with "all users" off, the desktop,
// start-menu and program-group shortcuts and the browser button. Normally
// the installing account's. When the installer runs elevated as another
// account than the one that owns the desktop (a standard user who typed an
// administrator's password), they go to the desktop's user instead, the one
// who will run the client. The decision is made from the facts alone, so that
// it can be tested without a second account; finding the facts is Windows
// code (desktopuser.h). Portable; no state; any thread.
#pragma once

#include "pstring.h"

// The per-user folders of one account (PStringX; empty: not found).
struct UserFolders {
    PString desktop;       // CSIDL_DESKTOPDIRECTORY
    PString programs;      // CSIDL_PROGRAMS
    PString startMenu;     // CSIDL_STARTMENU
    PString appData;       // CSIDL_APPDATA, below which the Quick Launch folder lies
    PString localAppData;  // CSIDL_LOCAL_APPDATA, below which user.ini's folder lies
};

struct UserAccount {
    PString sid;   // "S-1-5-21-..."; empty: unknown
    PString name;  // "DOMAIN\user", for the log; may be empty
    UserFolders folders;
};

struct PerUserFacts {
    bool elevated = false;     // RunsElevated()
    UserAccount installing;    // the installer's own token
    bool desktopUserFound = false;
    UserAccount desktopUser;   // the token of the desktop's shell
};

struct PerUserTargets {
    // True: the per-user files go to the desktop's user, to `folders` and to
    // the hive HKEY_USERS\<hiveSid>. False: to the installing account's own
    // folders and HKEY_CURRENT_USER, as without elevation (`folders` and
    // `hiveSid` are then empty).
    bool desktopUsers = false;
    UserFolders folders;
    PString hiveSid;
    // For the install log: for whom, and why; empty for a run that is not
    // elevated (nothing to say).
    PString note;
};

// Not elevated: the installing account's. Elevated: the desktop's user's when
// that user was found, is another account (SIDs compared without regard to
// letter case) and every one of its folders is known; otherwise the
// installing account's, never a mix of two profiles. The note says which.
PerUserTargets ChoosePerUserTargets(const PerUserFacts& facts);
