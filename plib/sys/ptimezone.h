// The local time zone. Windows only.
#pragma once
#include <cstdint>

// Seconds west of UTC now, daylight saving included when it is in effect.
int32_t TimeZoneBiasSeconds();
