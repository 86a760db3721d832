// File times, calendar records and daylight-saving rules: plain arithmetic,
// so that the zone rules behave the same in the native tests and on Windows.
#include <cstring>

#include "pcivildate.h"
#include "pfile.h"

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMinute = 60 * kUnitsPerSecond;
constexpr int64_t kUnitsPerDay = 86400 * kUnitsPerSecond;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDays1601To1970 = 134774;
constexpr int64_t kSeconds1601To1970 = kDays1601To1970 * 86400;  // 11,644,473,600
constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

int64_t Mod7(int64_t v) { return ((v % 7) + 7) % 7; }

}  // namespace

bool PSystemTimeToFileTime(const PSystemTime& st, uint64_t& ft) {
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
        st.wMilliseconds > 999)
        return false;
    int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDays1601To1970;
    int64_t seconds = (int64_t(st.wHour) * 60 + st.wMinute) * 60 + st.wSecond;
    ft = uint64_t(days * kUnitsPerDay + seconds * kUnitsPerSecond + int64_t(st.wMilliseconds) * 10000);
    return true;
}

bool PFileTimeToSystemTime(uint64_t ft, PSystemTime& st) {
    if (ft > kMaxFileTime)
        return false;
    int64_t days = int64_t(ft / kUnitsPerDay);
    int64_t rest = int64_t(ft % kUnitsPerDay);
    int64_t y;
    int m, d;
    CivilFromDays(days - kDays1601To1970, y, m, d);
    st.wYear = uint16_t(y);
    st.wMonth = uint16_t(m);
    st.wDay = uint16_t(d);
    st.wDayOfWeek = uint16_t((days + 1) % 7);  // 1601-01-01 was a Monday
    st.wHour = uint16_t(rest / (3600 * kUnitsPerSecond));
    st.wMinute = uint16_t(rest / kUnitsPerMinute % 60);
    st.wSecond = uint16_t(rest / kUnitsPerSecond % 60);
    st.wMilliseconds = uint16_t(rest / 10000 % 1000);
    return true;
}

uint64_t TimeToFileTime(int64_t t) {
    return (uint64_t(t) + uint64_t(kSeconds1601To1970)) * uint64_t(kUnitsPerSecond);
}

bool TransitionTime(int year, const PSystemTime& rule, uint64_t& localTime) {
    if (year < 1601 || year > 30827)
        return false;
    PSystemTime st = {};
    st.wHour = rule.wHour;
    st.wMinute = rule.wMinute;
    st.wDay = 1;
    uint64_t ft;
    PSystemTime probe;
    if (rule.wDay == 5) {
        // The last such weekday: step back from the first day of the next month.
        bool december = rule.wMonth == 12;
        st.wYear = uint16_t(december ? year + 1 : year);
        st.wMonth = uint16_t(december ? 1 : rule.wMonth + 1);
        if (!PSystemTimeToFileTime(st, ft))
            return false;
        ft -= kUnitsPerDay;
        if (!PFileTimeToSystemTime(ft, probe))
            return false;
        ft -= uint64_t(Mod7(int64_t(probe.wDayOfWeek) - rule.wDayOfWeek) * kUnitsPerDay);
    } else {
        st.wYear = uint16_t(year);
        st.wMonth = rule.wMonth;
        if (!PSystemTimeToFileTime(st, ft) || !PFileTimeToSystemTime(ft, probe))
            return false;
        int64_t days = Mod7(int64_t(rule.wDayOfWeek) - probe.wDayOfWeek) + 7 * (int64_t(rule.wDay) - 1);
        ft += uint64_t(days * kUnitsPerDay);
    }
    localTime = ft;
    return true;
}

bool TimeZoneBiasAt(const PTimeZoneInfo& zone, uint64_t utc, int32_t& bias) {
    if (zone.StandardDate.wDay < 1 || zone.StandardDate.wDay > 5 || zone.DaylightDate.wDay < 1 ||
        zone.DaylightDate.wDay > 5)
        return false;
    PSystemTime now;
    if (!PFileTimeToSystemTime(utc, now))
        return false;
    uint64_t standardLocal, daylightLocal;
    if (!TransitionTime(now.wYear, zone.StandardDate, standardLocal) ||
        !TransitionTime(now.wYear, zone.DaylightDate, daylightLocal))
        return false;
    // The change to standard time happens on the daylight clock and the change
    // to daylight time on the standard clock.
    int64_t end = int64_t(standardLocal) + (int64_t(zone.Bias) + zone.DaylightBias) * kUnitsPerMinute;
    int64_t start = int64_t(daylightLocal) + (int64_t(zone.Bias) + zone.StandardBias) * kUnitsPerMinute;
    int64_t t = int64_t(utc);
    bool daylight = zone.DaylightDate.wMonth < zone.StandardDate.wMonth ? (start <= t && t < end)
                                                                          : (t < end || t >= start);
    bias = zone.Bias + (daylight ? zone.DaylightBias : zone.StandardBias);
    return true;
}

int32_t ZoneBiasAt(const PTimeZoneInfo& zone, uint64_t utc) {
    int32_t bias = zone.Bias;
    if (zone.StandardDate.wMonth != 0 && zone.DaylightDate.wMonth != 0 &&
        (zone.StandardBias != 0 || zone.DaylightBias != 0)) {
        int32_t atInstant;
        if (TimeZoneBiasAt(zone, utc, atInstant))
            bias = atInstant;
    }
    return bias;
}

bool LocalTimeUnder(const PTimeZoneInfo& zone, int64_t t, std::tm& out) {
    std::memset(&out, 0, sizeof out);
    // Seconds from 1970 to the last instant a file time can hold.
    constexpr int64_t kLastSecond = int64_t(kMaxFileTime / kUnitsPerSecond) - kSeconds1601To1970;
    if (t == -1 || t < -kSeconds1601To1970 || t > kLastSecond)
        return false;
    uint64_t utc = TimeToFileTime(t);
    int64_t shift = int64_t(ZoneBiasAt(zone, utc)) * kUnitsPerMinute;
    int64_t local;
    if (__builtin_sub_overflow(int64_t(utc), shift, &local) || local < 0)
        return false;
    PSystemTime st;
    if (!PFileTimeToSystemTime(uint64_t(local), st))
        return false;
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    out.tm_year = st.wYear - 1900;
    out.tm_mon = st.wMonth - 1;
    out.tm_mday = st.wDay;
    out.tm_hour = st.wHour;
    out.tm_min = st.wMinute;
    out.tm_sec = st.wSecond;
    out.tm_wday = st.wDayOfWeek;
    out.tm_yday = st.wDay - 1 + before[st.wMonth - 1] + (st.wMonth > 2 && IsLeap(st.wYear) ? 1 : 0);
    out.tm_isdst = -1;
    return true;
}
