// Values of the uninstall entry worked out from plain data, so that both
// builds can check them: the program's version from its version resource and
// the installed size in KiB. Pure functions, safe on any thread.
#pragma once
#include <cstdint>

#include "pstring.h"

// The product version of a version resource (the fixed part of a
// VS_VERSIONINFO block as the system's resource section holds it) as
// "A.B.C.D". False, out unchanged, when data is not such a block (too short,
// another key, a fixed part without its signature).
bool ProductVersionText(const void* data, uint32_t length, PString& out);

// Bytes as whole KiB, rounded up (what Windows reads as EstimatedSize).
uint32_t SizeInKiB(uint64_t bytes);
