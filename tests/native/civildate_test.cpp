// Days from a calendar date: the file times and the log's UTC offset both
// stand on it, so an off-by-one around a leap day or an era boundary would
// shift every time stamp by a day.
#include <gtest/gtest.h>

#include "pcivildate.h"

namespace {

TEST(DaysFromCivil, CountsFromTheUnixEpochBothWays) {
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(1970, 1, 2), 1);
    EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(DaysFromCivil(1601, 1, 1), -134774);  // the file times' origin
    EXPECT_EQ(DaysFromCivil(2000, 1, 1), 10957);
}

TEST(DaysFromCivil, LeapDaysOnlyInLeapYears) {
    // 2000 is a leap year (divisible by 400), 1900 and 2100 are not.
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);
    EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);
    EXPECT_EQ(DaysFromCivil(2100, 3, 1) - DaysFromCivil(2100, 2, 28), 1);
    EXPECT_EQ(DaysFromCivil(2024, 3, 1) - DaysFromCivil(2024, 2, 28), 2);
    EXPECT_EQ(DaysFromCivil(2001, 1, 1) - DaysFromCivil(2000, 1, 1), 366);
}

TEST(DaysFromCivil, YearAndEraBoundaries) {
    EXPECT_EQ(DaysFromCivil(2026, 1, 1) - DaysFromCivil(2025, 12, 31), 1);
    EXPECT_EQ(DaysFromCivil(2400, 1, 1) - DaysFromCivil(2000, 1, 1), 146097);
    EXPECT_EQ(DaysFromCivil(0, 3, 1) - DaysFromCivil(0, 2, 29), 1);
    EXPECT_EQ(DaysFromCivil(9999, 12, 31), 2932896);
}

}  // namespace
