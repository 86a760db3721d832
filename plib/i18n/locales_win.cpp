#include <windows.h>

#include "locales.h"

const char* DefaultLocaleCode() { return DefaultLocaleCodeFor(GetSystemDefaultLCID()); }

bool HasEastAsianSupport() {
    // -1 not asked yet; the answer holds for the life of the process.
    static int answer = -1;
    if (answer < 0) {
        static const wchar_t japanese[] = {0x65E5, 0x672C, 0x8A9E};
        int needed = WideCharToMultiByte(50220, 0, japanese, 3, nullptr, 0, nullptr, nullptr);
        answer = needed != 0 ? 1 : 0;
    }
    return answer == 1;
}
