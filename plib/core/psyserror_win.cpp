// The system's text for an error code, from FormatMessage in US English.
#include <windows.h>

#include "perror.h"
#include "pstring.h"

bool PSystemErrorDescription(uint32_t code, PString& out) {
    char buf[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buf, sizeof buf, nullptr);
    if (n == 0)
        return false;
    for (DWORD i = 0; i < n; ++i)
        if (buf[i] == '\r' || buf[i] == '\n')
            buf[i] = ' ';
    out.assign(buf, int(n));
    return true;
}
