// Time-stamp texts of the settings file and the uninstall entry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "timestamps.h"

namespace {

// Switches the process's time zone for one test.
class ZoneScope {
public:
    explicit ZoneScope(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneScope() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
private:
    bool had_ = false;
    std::string old_;
};

std::string Offset(int minutes) {
    PString s;
    AppendUtcOffset(s, minutes);
    return s.text();
}

TEST(UtcOffset, SignHoursAndMinutes) {
    EXPECT_EQ(Offset(120), "+02:00");
    EXPECT_EQ(Offset(-210), "-03:30");
    EXPECT_EQ(Offset(-30), "-00:30");  // the sign survives a zero hour part
    EXPECT_EQ(Offset(0), "+00:00");
    EXPECT_EQ(Offset(345), "+05:45");
}

TEST(UtcOffset, ComputedFromTheProcessZone) {
    const time_t winter = 1700000000;  // 2023-11-14, no daylight saving anywhere below
    {
        ZoneScope zone("UTC-2");  // POSIX sign: two hours east
        EXPECT_EQ(LocalOffsetMinutes(winter), 120);
    }
    {
        ZoneScope zone("XST3:30");  // three and a half hours west
        EXPECT_EQ(LocalOffsetMinutes(winter), -210);
    }
    {
        ZoneScope zone("XST0:30");
        EXPECT_EQ(LocalOffsetMinutes(winter), -30);
    }
}

TEST(UtcOffset, DaylightSavingCounts) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(LocalOffsetMinutes(1700000000), 60);   // November
    EXPECT_EQ(LocalOffsetMinutes(1690000000), 120);  // July
}

TEST(TimeTexts, IsoAndRegistryDateForms) {
    ZoneScope zone("UTC");
    struct tm t = UtcCalendarTime(1000000000);  // 2001-09-09 01:46:40, a Sunday
    PString iso;
    AppendIsoTime(iso, t, -30);
    EXPECT_STREQ(iso.text(), "2001-09-09T01:46:40-00:30");
    PString day;
    AppendRegistryDate(day, t);
    EXPECT_STREQ(day.text(), "20010909");
    PString late;
    AppendRegistryDate(late, UtcCalendarTime(1796774399));  // 2026-12-08 23:59:59, one second before the 9th
    EXPECT_STREQ(late.text(), "20261208");
}

}  // namespace
