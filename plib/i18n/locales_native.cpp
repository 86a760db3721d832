#include <iconv.h>

#include "locales.h"

// The native counterpart of the code page 50220 test: whether the C library
// can convert Japanese text to ISO-2022-JP.
bool HasEastAsianSupport() {
    static int answer = -1;
    if (answer < 0) {
        answer = 0;
        iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
        if (cd != iconv_t(-1)) {
            char in[] = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
            char out[32];
            char* ip = in;
            char* op = out;
            size_t inLeft = sizeof in - 1;
            size_t outLeft = sizeof out;
            if (iconv(cd, &ip, &inLeft, &op, &outLeft) != size_t(-1) && inLeft == 0)
                answer = 1;
            iconv_close(cd);
        }
    }
    return answer == 1;
}
