#include "commandline.h"

#include <cstring>
#include <string>

namespace {
constexpr const char* kDelimiters = " \"";

int FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// strnicmp: at most n characters, stopping after a terminating zero.
bool EqualNoCaseN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int ca = FoldAscii(static_cast<unsigned char>(a[i]));
        int cb = FoldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
    return true;
}
}  // namespace

void MyCommandLineParser::Parse(const char* commandLine) {
    if (!commandLine)
        return;
    // Tokens are cut out of a private copy, as strtok would, but without
    // strtok's hidden state so that parsers may nest or run on any thread.
    std::string copy(commandLine);
    char* p = &copy[0];
    for (;;) {
        p += std::strspn(p, kDelimiters);
        if (*p == 0)
            break;
        char* end = p + std::strcspn(p, kDelimiters);
        bool last = *end == 0;
        *end = 0;
        OnToken(p);
        if (last)
            break;
        p = end + 1;
    }
}

void InstallerCommandLineParser::OnToken(const char* token) {
    // Ten characters with the terminating zero: "-nolaunchx" and "-nolaunch=1" differ.
    if (EqualNoCaseN(token, "-nolaunch", 10))
        IsLaunchEnabled = false;
}
