// Date and time texts the installer leaves behind: ISO 8601 stamps with the
// local offset for the client's settings, the day for the uninstall entry.
#pragma once
#include <ctime>

#include "pstring.h"

// Minutes east of UTC at time t, daylight saving included when it is in force.
int LocalOffsetMinutes(time_t t);

// "+hh:mm" / "-hh:mm" for an offset in minutes.
void AppendUtcOffset(PString& out, int offsetMinutes);

// "YYYY-MM-DDThh:mm:ss" followed by the offset.
void AppendIsoTime(PString& out, const struct tm& local, int offsetMinutes);

// "YYYYMMDD", the form Windows reads from an uninstall entry's InstallDate.
void AppendRegistryDate(PString& out, const struct tm& local);

// Thread-safe local and UTC calendar times.
struct tm LocalCalendarTime(time_t t);
struct tm UtcCalendarTime(time_t t);
