#include "timestamps.h"

#include <cstdio>
#include <cstdlib>

#include "pcivildate.h"

struct tm LocalCalendarTime(time_t t) {
    struct tm r = {};
#ifdef _WIN32
    localtime_s(&r, &t);
#else
    localtime_r(&t, &r);
#endif
    return r;
}

struct tm UtcCalendarTime(time_t t) {
    struct tm r = {};
#ifdef _WIN32
    gmtime_s(&r, &t);
#else
    gmtime_r(&t, &r);
#endif
    return r;
}

namespace {
// Seconds since 1970 of a calendar record read as UTC (days from the civil date).
long long UtcSeconds(const struct tm& c) {
    const long long days = DaysFromCivil(c.tm_year + 1900LL, c.tm_mon + 1, c.tm_mday);
    return days * 86400 + c.tm_hour * 3600LL + c.tm_min * 60LL + c.tm_sec;
}
}  // namespace

// The local calendar time read as if it were UTC, less the instant itself.
// (Reading the UTC calendar back through mktime with daylight saving cleared
// would give the standard offset all summer long.)
int LocalOffsetMinutes(time_t t) {
    struct tm l = LocalCalendarTime(t);
    long long difference = UtcSeconds(l) - (long long)t;
    return int(difference / 60);
}

void AppendUtcOffset(PString& out, int m) {
    char buf[16];
    int hours = std::abs(m / 60);
    int minutes = std::abs(m - 60 * (m / 60));
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", m < 0 ? '-' : '+', hours, minutes);
    out.append(buf);
}

void AppendIsoTime(PString& out, const struct tm& t, int offsetMinutes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    out.append(buf);
    AppendUtcOffset(out, offsetMinutes);
}

void AppendRegistryDate(PString& out, const struct tm& t) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    out.append(buf);
}
