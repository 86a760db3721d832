// The process log: one log at a time receives printf-style lines from every
// thread. Lines end in CR LF; a timestamp line "[yyyy/mm/dd hh:mm:ss]" comes
// before the first line of each new second. Until a log is opened, and after
// it is closed, lines are dropped.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <vector>

#include "perror.h"
#include "pfile.h"
#include "pstring.h"

class PStringEncoding;

#if defined(__GNUC__) && defined(__MINGW_PRINTF_FORMAT)
#define PLOG_PRINTF(f, a) __attribute__((format(__MINGW_PRINTF_FORMAT, f, a)))
#elif defined(__GNUC__)
#define PLOG_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define PLOG_PRINTF(f, a)
#endif

class PLog {
public:
    enum Flags : uint32_t {
        kStdout = 0x001,          // also write every line to standard output
        kPidPrefix = 0x002,       // "PID=%d " before every line, no "PID=" header line
        kThreadIdPrefix = 0x004,  // "THREADID=%d " before every line
        kRotateAtStart = 0x008,   // <base>.0 fresh, the previous one kept as <base>.1
        kDaily = 0x010,           // <base>.[n.]yyyymmdd, a new file each local day
        kErrorCallback = 0x040,   // the set-up installs _PLogErrorCallback
        kRedirectStderr = 0x080,  // the set-up sends standard error to <base>.stderr
        kDailyRotating = 0x100,   // <base>.0 holds today, yesterday's goes to <base>.1
        kTimePrefix = 0x400,      // "hh:mm:ss " before every line
    };

    // Called, in order, after the header lines of a fresh file.
    class HeaderWriter {
    public:
        virtual ~HeaderWriter() {}
        virtual void write(PLog& log) = 0;
    };

    // Opens the file the flags name (a null base name: a log without file).
    // A file that cannot be opened leaves the log without one: writes to it
    // are then lost without an error.
    PLog(const char* baseName, uint32_t flags, const PStringEncoding* encoding);
    ~PLog();
    PLog(const PLog&) = delete;
    PLog& operator=(const PLog&) = delete;

    // Takes ownership.
    void AddHeaderWriter(HeaderWriter* writer);
    // Writes one line to this log. The program writes through LogLine; this is
    // for header writers and for logs that are not the process log.
    void Line(const char* format, ...) PLOG_PRINTF(2, 3);
    void VLine(const char* format, va_list args);

    uint32_t flags() const { return flags_; }
    bool hasFile() const { return file_ != kNoFile; }
    const char* baseName() const { return base_.text(); }
    // The file currently written (for daily logs it changes with the day).
    const char* fileName() const { return fileName_.text(); }

    // Local time to the second.
    struct Stamp {
        int year, month, day, hour, minute, second;
        bool sameDay(const Stamp& o) const { return year == o.year && month == o.month && day == o.day; }
        bool operator==(const Stamp& o) const { return sameDay(o) && hour == o.hour && minute == o.minute && second == o.second; }
    };

    // Where the log reads the time; replaceable so that day changes can be tested.
    using Clock = void (*)(Stamp& now);
    static Clock SetClock(Clock clock);

    static constexpr intptr_t kNoFile = -1;
    static constexpr uint32_t kLineMax = 1024;

private:
    friend void OpenProcessLog(PLog* log);

    void open(const char* name, bool append);
    void closeFile();
    void openDaily();
    // A line without prefixes, inside the lock: timestamps and header lines.
    void plainLine(const char* format, ...) PLOG_PRINTF(2, 3);
    void output(const char* prefix, uint32_t prefixLength, const char* format, va_list args);
    void writeHeaderTail();

    std::vector<HeaderWriter*> headerWriters_;
    intptr_t file_;
    uint32_t flags_;
    int sequence_;
    Stamp lastStamp_;
    Stamp day_;
    PString base_;
    PString fileName_;
    PStringEncoding* encoding_;
    CriticalSection lock_;
};

// Makes log (taken over) the process log, replacing and destroying any
// earlier one, and writes the set-up lines. Installs the allocation failure
// handler ("'new', number of bytes requested"), the runtime failure hooks and
// the payload's log sink. Throws PSystemMemoryError "Substandard realloc" when
// the runtime's realloc cannot give 48 bytes (the log stays open).
void OpenProcessLog(PLog* log);
// One line into the process log; nothing when there is none. Never throws:
// it is called from error handlers.
void LogLine(const char* format, ...) PLOG_PRINTF(1, 2);
void LogLineV(const char* format, va_list args);
// One line into the process log but not its mirror: for lines the mirror
// already got while no process log was open. Never throws.
void LogLineToProcessLogOnly(const char* format, ...) PLOG_PRINTF(1, 2);
// Destroys the process log, if any. Writers on other threads are held off
// by the process log's lock: a line either is written whole before the close
// or is dropped after it.
void CloseProcessLog();
bool IsLogOpen();
// Makes log (taken over; null: none) the log mirror, replacing and destroying
// any earlier one: every LogLine goes to it as well as to the process log,
// also while no process log is open. Opening and closing the process log
// leave it alone. It is how an unattended run keeps a copy of its log
// outside the install folder.
void OpenLogMirror(PLog* log);
// Deletes <base>.1 and renames <base>.0 to <base>.1, ignoring failures.
void RotateLog(const char* baseName, const PStringEncoding* encoding);

// The error callback of the log: every error built writes "PError( '<text>' )".
class _PLogErrorCallback : public PError::Callback {
public:
    void report(const char* message) override;
};
