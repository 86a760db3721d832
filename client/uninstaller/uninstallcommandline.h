// The uninstaller's command line: MorvanditeUninstall.exe /u:<key> [/quiet | /s]
// [/? | /h | /help], switches with "/" or "-" in any case. Portable and free
// of state.
#pragma once

#include <string>

struct UninstallOptions {
    std::wstring key;  // the installation, as named under the uninstall root
    bool quiet = false;
    bool help = false;
};

// Parses the whole command line `commandLine`, program name first; `self` is
// the program's own path, which lets an unquoted program name with spaces
// be told from the arguments (the installer starts sibling uninstallers that
// way). The installer also passes a key with spaces unquoted: the words after
// /u: up to the next switch are the key. Returns false with a sentence for
// the user in `*error` for an unknown option, a key named twice, a missing
// key, or a key that cannot name an entry (longer than 255 characters, a
// backslash, a control character); with help asked for, the key may be
// missing.
bool ParseCommandLine(const std::wstring& commandLine, const std::wstring& self,
                      UninstallOptions* options, std::wstring* error);
