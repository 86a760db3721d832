// The Windows builds of the tools take their command line as UTF-16 and
// hand it to the same Main as the native tools, as UTF-8. Header only; the
// tool links plib (Utf16ToUtf8).
#pragma once
#ifdef _WIN32
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "payloadnames.h"
#include "toolcli.h"

// Calls main with argv as UTF-8; kToolUsage (after a line naming `tool`)
// when an argument is not valid UTF-16.
inline int RunWithUtf8Arguments(const char* tool, int argc, wchar_t** argv, int (*main)(int, char**)) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        PString utf8;
        if (!Utf16ToUtf8(reinterpret_cast<const uint16_t*>(argv[i]), uint32_t(std::wcslen(argv[i])), utf8)) {
            std::fprintf(stderr, "%s: argument %d is not valid UTF-16\n", tool, i);
            return kToolUsage;
        }
        args.emplace_back(utf8.text(), utf8.length());
    }
    std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    return main(argc, pointers.data());
}
#endif
