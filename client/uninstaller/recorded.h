// What an installation recorded, read and checked before anything is
// removed: the uninstall entry HKLM\...\Uninstall\<key> (name, install
// folder, shortcut files, program groups, browser buttons) and the file list
// uninstall.lst in the install folder. Windows only, one thread.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class RunLog;

// A browser button recorded for one user, in that user's copy of the entry
// (...\Uninstall\<key>, value kUserBrowserButtonValue): in HKCU, or in the
// hive of another user under HKEY_USERS\<sid>, where an installer run
// elevated for the desktop's user wrote it. Another user's hive is reached
// while it is loaded, that is while that user is logged on.
struct UserButton {
    HKEY root = HKEY_CURRENT_USER;  // HKEY_CURRENT_USER or HKEY_USERS
    std::wstring prefix;            // "" under HKCU, "<sid>\" under HKEY_USERS
    std::wstring guid;
};

struct Recorded {
    std::wstring entryPath;      // under HKLM
    std::wstring displayName;
    std::wstring installFolder;
    std::vector<std::wstring> payload;  // relative paths from the file list
    bool haveManifest = false;
    std::vector<std::pair<std::wstring, std::wstring>> links;  // value name, path
    std::vector<std::pair<std::wstring, std::wstring>> groups;  // value name, folder
    std::vector<UserButton> userButtons;  // this user's first, then other loaded hives
    std::wstring buttonMachine;  // kMachineBrowserButtonValue, HKLM
};

// Reads the installation `key` into `*recorded`. Every recorded path must
// pass the path rules (pathrules.h) and no folder may be one of
// `protectedFolders` (ProtectedFolders()) or hold one; the file list is
// required while the install folder exists. Returns false with a sentence for
// the user in `*error` when the installation is not registered or any value
// is unusable: then nothing may be removed. Notes what it found in `log`.
bool ReadRecorded(const std::wstring& key, const std::vector<std::wstring>& protectedFolders,
                  Recorded* recorded, std::wstring* error, RunLog& log);
