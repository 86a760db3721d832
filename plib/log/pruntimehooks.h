// Attaches the language runtime's failure reports to the program's log.
#pragma once

using PRuntimeLogLine = void (*)(const char* line);

// Every runtime failure report first writes one line through logLine; the
// runtime's abort becomes a thrown PInternalError "abort() called". Windows only.
void AttachRuntimeFailureHooks(PRuntimeLogLine logLine);
