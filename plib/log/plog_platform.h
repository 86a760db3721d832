// What the log needs from the system, one implementation per platform
// (plog_win.cpp, plog_native.cpp). Internal to the log.
#pragma once
#include <cstdint>

#include "plog.h"

namespace plog_platform {

// Opens for reading and writing, shared, positioned at the end; append keeps
// what is there, otherwise the file starts empty. PLog::kNoFile on failure.
intptr_t Open(const char* path, bool append, const PStringEncoding* encoding);
// One write call.
void Write(intptr_t file, const void* bytes, uint32_t n);
void Close(intptr_t file);
void LocalNow(PLog::Stamp& now);
uint32_t ProcessId();
uint32_t ThreadId();
// The load address of the program's module.
void* ModuleBase();
// Standard error appended to path, unbuffered; false when it cannot be opened.
bool ReopenStderr(const char* path, const PStringEncoding* encoding);
// The heap compatibility value for the header (255 when the query is missing
// or leaves it unchanged); false when the system library cannot be loaded.
bool HeapCompatibility(uint32_t& value);
uint32_t AffinityMask();
bool TryLockSupported();
// Allocation failures of the global operator new become PSystemMemoryError;
// the runtime's failure reports go to the process log.
void InstallFailureHandlers();

}  // namespace plog_platform
