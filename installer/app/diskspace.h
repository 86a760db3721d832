// The drive or network share the installation goes to: the free and
// required space figures the page shows and the installation plan
// (installplan.h) weighs. Windows only. The figures of one drive or share
// are cached in the process, without a lock: every function here runs on the
// main thread (the page and the unattended run).
#pragma once
#include <windows.h>

#include <cstdint>

#include "ppmsg.h"
#include "pstring.h"

// The system calls behind the disk-space figures; replaceable for tests.
struct DiskSpaceQueries {
    using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    using FreeSpace = BOOL(WINAPI*)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
    using Required = uint32_t (*)(uint32_t clusterSize);
    FreeSpaceEx freeSpaceEx;  // null: the older call is used
    FreeSpace freeSpace;
    Required required;        // the payload's on-disk size for a cluster size
};
// Null: GetDiskFreeSpaceExA resolved from kernel32 at run time,
// GetDiskFreeSpaceA, and the payload resource's estimate. Clears the cache.
// The queries are borrowed: they must outlive their use (until the next call).
void SetDiskSpaceQueries(const DiskSpaceQueries* queries);
// Forgets the one cached drive or share.
void ResetDiskSpaceCache();

// Bytes free on the path's drive or network share and bytes the installation
// needs there (the payload's size rounded down to a whole MiB, plus 5 MiB).
// A drive is asked as its letter (as typed) and a colon ("C:"; the older call
// "C:\"), a share as its root with a backslash ("\\server\share\", in the
// ANSI code page). The figures of one drive or share are asked once and
// kept. A path on neither gives 0 and 0 and the success of the last real
// computation. Never throws: a failing query returns false, an unreadable
// payload size is logged ("Disk space: ...") and returns false.
bool GetDiskSpace(const char* path, uint64_t& freeBytes, uint64_t& requiredBytes);
// True when the last computation failed because the payload's size could not
// be read from its header: the installer itself is damaged.
bool PayloadSizeUnreadable();

// message formatted in the current locale with %0 = the size as a whole
// number and %1 = its unit: MB up to 1024 MiB, GB above, Bytes below 1 MiB.
PString FormatSize(MsgRef message, uint64_t bytes);
