// The account a process token belongs to, as the text of its SID
// ("S-1-5-21-..."): the name of that account's hive under HKEY_USERS, which
// the installer writes to for the desktop's user and the uninstaller looks
// through. Windows only.
#pragma once
#include <windows.h>

#include <string>

// The SID of `token`'s user into `*sid` and, when `name` is not null, the
// account's "DOMAIN\name" into `*name` (left empty when the system cannot
// name it). False, with both untouched, when the token cannot be read
// (GetLastError() says why). Any thread.
bool TokenAccountSid(HANDLE token, std::wstring* sid, std::wstring* name = nullptr);

// The SID of this process's user; empty when it cannot be read.
std::wstring CurrentAccountSid();
