// Calendar dates as day counts: the one conversion the file times, the log's
// time stamps and the installer's UTC offset share. Portable, pure
// arithmetic: no state, never fails or throws, any thread.
#pragma once
#include <cstdint>

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar
// (negative before it). month is 1..12; day 1..31 is not checked against the
// month (the 32nd of January is the 1st of February).
int64_t DaysFromCivil(int64_t year, int month, int day);
