#include "pwindowsversion.h"

#include <windows.h>

namespace {
WindowsVersion AskWindowsVersion() {
    WindowsVersion version;
    version.packed = uint32_t(GetVersion());
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;  // 148: the form every system knows
    if (GetVersionExA(&info)) {
        version.detailed = true;
        version.platform = info.dwPlatformId;
        version.major = info.dwMajorVersion;
        version.minor = info.dwMinorVersion;
        version.build = info.dwBuildNumber;
    }
    return version;
}
}  // namespace

const WindowsVersion& RunningWindowsVersion() {
    static const WindowsVersion version = AskWindowsVersion();
    return version;
}
