// Date and time texts the installer leaves behind: ISO 8601 stamps with the
// local offset for the client's settings, the ctime form for the uninstall entry.
#pragma once
#include <ctime>

#include "pstring.h"

// Minutes east of UTC at time t, daylight saving included when it is in force.
int LocalOffsetMinutes(time_t t);

// "+hh:mm" / "-hh:mm" for an offset in minutes.
void AppendUtcOffset(PString& out, int offsetMinutes);

// "YYYY-MM-DDThh:mm:ss" followed by the offset.
void AppendIsoTime(PString& out, const struct tm& local, int offsetMinutes);

// "Www Mmm dd hh:mm:ss yyyy\n" (25 characters), the day space-padded.
void AppendCtimeForm(PString& out, const struct tm& local);

// Thread-safe local and UTC calendar times.
struct tm LocalCalendarTime(time_t t);
struct tm UtcCalendarTime(time_t t);
