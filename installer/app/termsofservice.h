// Where the licence terms are read: the address the page's agreement link
// opens. Text only: no state, any thread.
#pragma once
#include <cstdint>

#include "pstring.h"

// site + "/REDIRECTOR/" + the locale's code + "/_/help_tos"; an unknown
// locale gives English's code, a null site an empty one.
PString TermsOfServiceAddress(const char* site, int32_t locale);
