// The wide/ANSI decision behind every wrapper of a Win32 function that comes
// in an ANSI and a wide form. Callers pass narrow PStringX texts with an
// encoding; each call picks the W or the A function by UseWideApi(). With an
// encoding the texts go through UTF-16 (and, in ANSI mode, on to the ANSI code
// page); with a null encoding the A function receives the narrow texts
// unchanged, in either mode. Results of the system are passed through: the
// wrappers neither log nor throw, except that text conversion throws when
// memory runs out. Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

#include "pencoding.h"

// Override > 0: wide functions; < 0: ANSI functions; 0: wide exactly on the
// NT family (GetVersion() with its top bit clear).
bool UseWideApi();
// Stores the override. Set it before the first window exists (windows of a
// run must all be of one kind) and before the worker thread starts.
void SetWideApiMode(int32_t value);
int32_t WideApiMode();

// Whether the system functions of the current mode can be given text
// unchanged: always in wide mode and with a null encoding; in ANSI mode only
// when every character has a byte in the ANSI code page (the A functions
// would otherwise receive '?' or a look-alike and name another file).
bool SystemCanExpress(const char* text, const PStringEncoding* encoding);
