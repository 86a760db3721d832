// The version of Windows the process runs on, asked of the system once and
// kept: every decision that depends on it (the NT family's wide functions,
// the legacy-system rules, the version gate, Wine's detection) and the log
// read the same answer. Windows only. The first call asks (thread-safe: a
// function-local static); later calls on any thread return the same object,
// which lives until the process ends. Never fails or throws: a query the
// system refuses leaves the fields it would have filled at zero.
#pragma once
#include <cstdint>

struct WindowsVersion {
    // GetVersionExA answered: platform, major, minor and build are set.
    bool detailed = false;
    uint32_t platform = 0;  // VER_PLATFORM_WIN32s 0, VER_PLATFORM_WIN32_WINDOWS 1 (95/98/Me), VER_PLATFORM_WIN32_NT 2
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    // GetVersion()'s form, as the install log shows it: major in bits 0-7,
    // minor in 8-15, bit 31 set outside the NT family.
    uint32_t packed = 0;

    // The NT family by the packed form (bit 31 clear), as the wide/ANSI
    // decision has always read it.
    bool NtFamily() const { return (packed & 0x80000000u) == 0; }
    // The major version by the packed form.
    uint32_t PackedMajor() const { return packed & 0xFFu; }
};

const WindowsVersion& RunningWindowsVersion();
