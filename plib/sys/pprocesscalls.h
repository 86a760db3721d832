// Process and module calls in their wide or ANSI form (pwideapi.h).
// Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

#include "pencoding.h"
#include "pstring.h"

// Replaces out with the module's path; the length of out, 0 on failure
// (out is then empty). With a null encoding the ANSI path is stored unchanged.
int PGetModuleFileName(HMODULE module, PString& out, const PStringEncoding* encoding);
// Starts a detached process (DETACHED_PROCESS, no inherited handles, the
// inherited environment, zeroed STARTUPINFO). Each text may be null.
bool PCreateProcess(const char* application, const char* commandLine, const char* directory,
                    const PStringEncoding* encoding, PROCESS_INFORMATION* info);
