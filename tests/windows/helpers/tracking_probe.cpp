// Reads the tracking block of its own file, as the installer does at start,
// and writes what it found to the file named by its argument: the tracking
// text, the theme and the locale code, each followed by a zero byte.
#include <cstdio>

#include "tracking.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    TrackingInfo info;
    ReadTrackingInformation(info);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 3;
    for (const PString* s : {&info.trackingInfo, &info.themeId, &info.localeCode}) {
        std::fwrite(s->text(), 1, s->length(), out);
        std::fputc(0, out);
    }
    std::fclose(out);
    return 0;
}
