#include "ptimezone.h"

#include <windows.h>

#include <ctime>

int32_t TimeZoneBiasSeconds() {
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return 0;
    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local && local->tm_isdst > 0)
        return int32_t(zone.Bias + zone.DaylightBias) * 60;
    return int32_t(zone.Bias) * 60;
}
