// The Windows error code of a failed C runtime call (fopen, fwrite, fclose,
// mkdir), taken where the call failed. Anything called in between (a log
// line, a message lookup, a string conversion) may reset errno and the
// thread's last error, so the code must be read before any of it runs and
// then carried into the PSystemError.
#pragma once
#include <cstdint>

// The Windows error code that says what a C runtime errno value says
// (ENOSPC: 112 "There is not enough space on the disk.", EACCES: 5, ENOENT:
// 2, ...); 0 for 0 and for values with no Windows counterpart.
uint32_t WindowsErrorOfErrno(int error);

// Call right before the C runtime call whose failure is to be reported:
// clears errno and (on Windows) the thread's last error.
void ClearCrtFailure();

// Call right after that call failed, before anything else: on Windows the
// thread's last error when the call left one (the precise code of the
// system call inside, such as a sharing violation), otherwise errno through
// WindowsErrorOfErrno; when neither says anything, fallback (a failure must
// never read as code 0, "success"). Reads the calling thread's state only.
uint32_t CrtFailureCode(uint32_t fallback);

// Fallbacks naming the kind of call that failed.
constexpr uint32_t kCrtOpenFailed = 110;   // ERROR_OPEN_FAILED
constexpr uint32_t kCrtWriteFailed = 29;   // ERROR_WRITE_FAULT
constexpr uint32_t kCrtCreateFailed = 82;  // ERROR_CANNOT_MAKE
