// File-system helpers on PStringX paths, and time conversions under the
// system's time-zone rules. Each path travels with an encoding: with one, the
// path is widened and handed to the wide function, or to the ANSI one after a
// conversion to the ANSI code page (UseWideApi decides); a null encoding hands
// the narrow path to the ANSI function unchanged.
// The finder needs the Windows types: pfile_win.h.
#pragma once
#include <cstdint>
#include <cstdio>
#include <ctime>

// windows.h maps CopyFile onto CopyFileA/W; here it names the helper below.
#ifdef CopyFile
#undef CopyFile
#endif

class PStringEncoding;

// fopen, or _wfopen with the mode widened; null when the file cannot be
// opened, with *failureCode (when given) holding the Windows error code of
// the failure (pcrterror.h). Off Windows the path's characters are passed to
// fopen as UTF-8.
FILE* OpenFile(const char* path, const char* mode, const PStringEncoding* encoding,
               uint32_t* failureCode = nullptr);
// Puts `from` in place of `to` (replacing it). False on failure, `from` then
// still exists.
bool MoveFileReplacing(const char* from, const char* to, const PStringEncoding* encoding);
// unlink; true when removed.
bool RemoveFile(const char* path, const PStringEncoding* encoding);

enum class FileReplaceResult { Written, CannotOpen, CannotWrite };
// Writes size bytes to "<path>.new" and, only when all of them reached the
// disk (the close included), moves it in place of path. On failure path is
// untouched and the temporary file removed.
FileReplaceResult WriteFileReplacing(const char* path, const void* bytes, uint32_t size,
                                     const PStringEncoding* encoding);

#ifdef _WIN32
// true unless GetFileAttributes fails (so folders count).
bool FileExists(const char* path, const PStringEncoding* encoding);
// One level. true when created, false when it already exists (errno EEXIST,
// also for a file of that name); otherwise throws PInternalError
// "Unable to create directory: <errno>", with *failureCode (when given)
// holding the Windows error code of the failure, taken before the text is built.
bool CreateFolder(const char* path, const PStringEncoding* encoding, uint32_t* failureCode = nullptr);
// Overwrites an existing target; throws PInternalError
// "Unable to copy file: '<from>' err=<GetLastError>".
void CopyFile(const char* from, const char* to, const PStringEncoding* encoding);
// false when nothing matches; true for a folder; throws PInternalError
// "same name object but not a directory" for anything else.
bool DirectoryExists(const char* path, const PStringEncoding* encoding);
// Logs "OpenBrowserWindow( <address> )", then asks the shell to open it;
// the shell's result (above 32 on success).
intptr_t OpenBrowserWindow(const char* address, const PStringEncoding* encoding);
// Where OpenBrowserWindow's line goes (the text, without a line end): the
// process log, which connects itself when it is opened (OpenProcessLog);
// nowhere before. Set before the threads that open windows start.
typedef void (*ShellActionLog)(const char* text);
void SetShellActionLog(ShellActionLog log);
#endif

#ifdef _WIN32
// A file written through the system's own calls behind a buffer of its own,
// so that every failure carries the system's error code (the C runtime's
// stdio loses it: under Wine a full disk reads as EINVAL with no code).
// Owns the handle; move-only; one thread at a time.
class PWriteFile {
public:
    PWriteFile() = default;
    // Closes a file still open without reporting (an error is already on its way).
    ~PWriteFile();
    PWriteFile(PWriteFile&& other) noexcept;
    PWriteFile& operator=(PWriteFile&& other) noexcept;
    PWriteFile(const PWriteFile&) = delete;
    PWriteFile& operator=(const PWriteFile&) = delete;

    // Creates path or replaces the file there. False with *failureCode set
    // to the system's code, taken at the failing call.
    bool Create(const char* path, const PStringEncoding* encoding, uint32_t bufferSize, uint32_t* failureCode);
    // Appends size bytes (buffered). False with *failureCode as above; the
    // file then stays open for Close.
    bool Write(const void* data, uint32_t size, uint32_t* failureCode);
    // Writes what is buffered and closes. False with *failureCode when the
    // last bytes could not be written or the close failed; closed either way.
    bool Close(uint32_t* failureCode);
    bool IsOpen() const { return handle_ != nullptr; }

private:
    bool Flush(uint32_t* failureCode);

    void* handle_ = nullptr;
    char* buffer_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t used_ = 0;
};
#endif

// A recursive lock (a Windows critical section; a recursive mutex off
// Windows), kept inline so that making one never allocates.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter();
    void Leave();

private:
    alignas(8) unsigned char storage_[48];
};

// Holds a section from construction; leaves it on destruction unless
// Unlock() already did.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section), held_(true) { section.Enter(); }
    ~CriticalSectionLock() { Unlock(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
    void Unlock() {
        if (held_) {
            held_ = false;
            section_.Leave();
        }
    }

private:
    CriticalSection& section_;
    bool held_;
};

// Calendar time as in SYSTEMTIME (same layout).
struct PSystemTime {
    uint16_t wYear;
    uint16_t wMonth;      // 1-12
    uint16_t wDayOfWeek;  // 0 = Sunday
    uint16_t wDay;        // day of month; in a zone rule the week 1-5 (5 = last)
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

// The fields of TIME_ZONE_INFORMATION the conversions use; biases in minutes,
// UTC = local + bias.
struct PTimeZoneInfo {
    int32_t Bias;
    PSystemTime StandardDate;
    int32_t StandardBias;
    PSystemTime DaylightDate;
    int32_t DaylightBias;
};

// FILETIME values: 100-nanosecond units since 1601-01-01, as one 64-bit number.
// The same arithmetic as SystemTimeToFileTime / FileTimeToSystemTime, with the
// same validity rules (years 1601 to 30827, real dates, times below 24:00).
bool PSystemTimeToFileTime(const PSystemTime& st, uint64_t& ft);
bool PFileTimeToSystemTime(uint64_t ft, PSystemTime& st);

// (t + 11,644,473,600) x 10,000,000 for t in seconds since 1970 UTC.
uint64_t TimeToFileTime(int64_t t);
// Local wall-clock instant of a daylight-saving rule in a year.
bool TransitionTime(int year, const PSystemTime& rule, uint64_t& localTime);
// The bias in force at a UTC instant; false (bias untouched) when a rule has no
// week number from 1 to 5 or a conversion fails.
bool TimeZoneBiasAt(const PTimeZoneInfo& zone, uint64_t utc, int32_t& bias);
// The bias at an instant as the local-time conversion uses it: the rules when
// both have a month and a daylight or standard bias is non-zero, else Bias.
int32_t ZoneBiasAt(const PTimeZoneInfo& zone, uint64_t utc);
// t as a calendar record under the zone (tm_isdst -1, tm_yday 0-based); false
// and an all-zero record when t is -1 or out of the convertible range.
bool LocalTimeUnder(const PTimeZoneInfo& zone, int64_t t, std::tm& out);

#ifdef _WIN32
// LocalTimeUnder with the system's time-zone information, read once.
bool LocalTimeOf(int64_t t, std::tm& out);
#endif
