// The command-line contract every build-machine tool keeps (mkinstaller,
// mkpayload, payload, tinfo, iniscramble, msgtable; tools/sign.sh keeps it
// too), so that a release script can tell a refused input from a mistyped
// command. Header only: payload is also built for Windows.
#pragma once
#include <cstdio>
#include <cstring>

#include "morvandite_version.h"

// Exit codes:
enum ToolExit {
    kToolDone = 0,     // done (also after --help and --version)
    kToolRefused = 1,  // an input was refused or the work failed: the reason is on
                       // standard error, and no output was changed
    kToolUsage = 2,    // the command line is not one the tool takes: usage on standard error
};

// Answers "--help" (or "-h") and "--version" given as the only argument:
// the usage, or the tool's name and version, on standard output. Returns
// true when it answered; the tool then ends with kToolDone.
inline bool AnswerHelpOrVersion(int argc, const char* const* argv, const char* tool, const char* usage) {
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(usage, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s (Morvandite installer tools)\n", tool, MORVANDITE_VERSION_TEXT);
        return true;
    }
    return false;
}

// The usage on standard error, for a command line the tool does not take.
inline int UsageError(const char* usage) {
    std::fputs(usage, stderr);
    return kToolUsage;
}
