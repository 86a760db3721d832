// Conversions between UTF-16 and the ANSI code page, for the A functions.
#include <windows.h>

#include "pencoding.h"

void AnsiToWide(PWString& w, const char* text) {
    if (!text)
        text = "";
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) {
        w.terminate();
        return;
    }
    uint8_t* dest = w._realloc(uint32_t(n) * 2);
    int done = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(dest), n);
    if (done <= 0)
        done = 0;
    // Whatever the second call did, the buffer ends in exactly one terminator.
    w.setSize(w.size() - uint32_t(n - done) * 2);
    if (done == 0 || reinterpret_cast<wchar_t*>(dest)[done - 1] != 0)
        w.terminate();
}

void WideToAnsi(PString& s, const wchar_t* text) {
    if (!text)
        text = L"";
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return;  // nothing but the terminator
    PString converted;
    char* dest = reinterpret_cast<char*>(converted.alloc(uint32_t(n)));
    int done = WideCharToMultiByte(CP_ACP, 0, text, -1, dest, n, nullptr, nullptr);
    if (done <= 1)
        return;
    dest[done - 1] = 0;
    s.append(dest, done - 1);
}
