#include "plog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pencoding.h"
#include "plog_platform.h"
#include "punique.h"
#ifdef _WIN32
#include "pfile.h"
#endif

namespace {

void SystemClock(PLog::Stamp& now) { plog_platform::LocalNow(now); }

PLog::Clock g_clock = &SystemClock;

// Guards the process log pointer for the whole of every LogLine, so that
// CloseProcessLog cannot destroy a log another thread is writing to. Built on
// first use: lines may be written while static objects are still being made.
CriticalSection& ProcessLogLock() {
    static CriticalSection lock;
    return lock;
}
PLog* g_processLog = nullptr;
PLog* g_logMirror = nullptr;

uint32_t Format(char* out, uint32_t room, const char* format, va_list args) {
    // Whatever the runtime's vsnprintf does at the limit (terminate or not,
    // return -1 or the full length), the first `room` bytes are what counts.
    out[room] = 0;
    std::vsnprintf(out, room + 1, format, args);
    return uint32_t(strnlen(out, room));
}

#ifdef _WIN32
void LogText(const char* text) { LogLine("%s", text); }
#endif

}  // namespace

PLog::Clock PLog::SetClock(Clock clock) {
    Clock old = g_clock;
    g_clock = clock ? clock : &SystemClock;
    return old;
}

PLog::PLog(const char* baseName, uint32_t flags, const PStringEncoding* encoding)
    : file_(kNoFile), flags_(flags), sequence_(0), lastStamp_(), day_(), encoding_(nullptr) {
    if (encoding)
        encoding_ = encoding->clone();
    if (!baseName)
        return;
    base_.assign(baseName);
    g_clock(day_);
    if (flags & kRotateAtStart) {
        RotateLog(baseName, encoding_);
        PString name(baseName);
        open(name.append(".0").text(), false);
    } else if (flags & kDaily) {
        openDaily();
    } else if (flags & kDailyRotating) {
        PString name(baseName);
        name.append(".0");
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d ", day_.year, day_.month, day_.day);
        char head[12] = {};
        bool today = false;
        if (UniqueStdioFile f(OpenFile(name.text(), "rb", encoding_)); f)
            today = std::fread(head, 1, sizeof head, f.get()) == sizeof head && std::memcmp(head, stamp, 12) == 0;
        if (!today)
            RotateLog(baseName, encoding_);
        open(name.text(), today);
    } else {
        open(baseName, true);
    }
}

PLog::~PLog() {
    closeFile();
    for (HeaderWriter* w : headerWriters_)
        delete w;
    delete encoding_;
}

void PLog::AddHeaderWriter(HeaderWriter* writer) {
    CriticalSectionLock lock(lock_);
    headerWriters_.push_back(writer);
}

void PLog::open(const char* name, bool append) {
    fileName_.assign(name);
    file_ = plog_platform::Open(name, append, encoding_);
}

void PLog::closeFile() {
    if (file_ != kNoFile)
        plog_platform::Close(file_);
    file_ = kNoFile;
}

void PLog::openDaily() {
    PString name(base_);
    name.append(".");
    if (sequence_ != 0)
        name.appendInt(sequence_).append(".");
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", day_.year % 10000, day_.month % 100, day_.day % 100);
    name.append(date);
    open(name.text(), true);
}

void PLog::Line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLine(format, args);
    va_end(args);
}

void PLog::plainLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    output("", 0, format, args);
    va_end(args);
}

void PLog::writeHeaderTail() {
    if (!(flags_ & kPidPrefix))
        plainLine("PID=%d", int(plog_platform::ProcessId()));
    plainLine("BASEADDR=0x%p", plog_platform::ModuleBase());
    for (HeaderWriter* w : headerWriters_)
        w->write(*this);
}

void PLog::VLine(const char* format, va_list args) {
    CriticalSectionLock lock(lock_);
    Stamp now;
    g_clock(now);
    if (!(now == lastStamp_)) {
        bool fresh = false;
        bool named = !base_.empty();
        if (named && (flags_ & kDaily) && !now.sameDay(day_)) {
            closeFile();
            sequence_ = 0;
            day_ = now;
            openDaily();
            fresh = true;
        } else if (named && (flags_ & kDailyRotating) && !now.sameDay(day_)) {
            closeFile();
            day_ = now;
            RotateLog(base_.text(), encoding_);
            PString name(base_);
            open(name.append(".0").text(), false);
        }
        // Remembered first: a line written by a header writer, or by the error
        // callback while this one is being written, must not stamp again.
        lastStamp_ = now;
        plainLine("[%04d/%02d/%02d %02d:%02d:%02d]", now.year, now.month, now.day, now.hour, now.minute,
                  now.second);
        if (fresh)
            writeHeaderTail();
    }
    lock.Unlock();

    char prefix[64];
    int n = 0;
    if (flags_ & kTimePrefix)
        n += std::snprintf(prefix + n, sizeof prefix - n, "%02d:%02d:%02d ", now.hour, now.minute, now.second);
    if (flags_ & kPidPrefix)
        n += std::snprintf(prefix + n, sizeof prefix - n, "PID=%d ", int(plog_platform::ProcessId()));
    if (flags_ & kThreadIdPrefix)
        n += std::snprintf(prefix + n, sizeof prefix - n, "THREADID=%d ", int(plog_platform::ThreadId()));
    output(prefix, uint32_t(n), format, args);
}

void PLog::output(const char* prefix, uint32_t prefixLength, const char* format, va_list args) {
    char line[kLineMax + 3];
    uint32_t n = prefixLength < kLineMax ? prefixLength : kLineMax;
    std::memcpy(line, prefix, n);
    va_list copy;
    va_copy(copy, args);
    n += Format(line + n, kLineMax - n, format, copy);
    va_end(copy);
    line[n++] = '\r';
    line[n++] = '\n';
    if (file_ != kNoFile)
        plog_platform::Write(file_, line, n);
    if (flags_ & kStdout) {
        std::fwrite(line, 1, n, stdout);
        std::fflush(stdout);
    }
}

void RotateLog(const char* baseName, const PStringEncoding* encoding) {
    PString zero(baseName), one(baseName);
    zero.append(".0");
    one.append(".1");
    RemoveFile(one.text(), encoding);
    MoveFileReplacing(zero.text(), one.text(), encoding);
}

void OpenProcessLog(PLog* log) {
    plog_platform::InstallFailureHandlers();
#ifdef _WIN32
    SetShellActionLog(&LogText);
#endif
    {
        CriticalSectionLock lock(ProcessLogLock());
        PLog* old = g_processLog;
        g_processLog = log;
        delete old;
    }
    uint32_t flags = log ? log->flags() : 0;

    if ((flags & PLog::kRedirectStderr) && log->baseName()[0]) {
        PString name(log->baseName());
        name.append(".stderr");
        if (plog_platform::ReopenStderr(name.text(), log->encoding_)) {
            PLog::Stamp now;
            g_clock(now);
            std::fprintf(stderr, "[%04d/%02d/%02d %02d:%02d:%02d]\n", now.year, now.month, now.day, now.hour,
                         now.minute, now.second);
            std::fprintf(stderr, "stderr reopened Ok\n");
            std::setvbuf(stderr, nullptr, _IONBF, 0);
            std::fprintf(stderr, "stderr reopened - testing stderr\n");
        }
    }
    if (flags & PLog::kErrorCallback)
        SetErrorCallback(new _PLogErrorCallback);

    LogLine("VC++ __active_heap = %d", 1);
    uint32_t heap = 255;
    if (plog_platform::HeapCompatibility(heap))
        LogLine("HeapQueryInformation=%u", heap);
    LogLine("GetProcessAffinityMask=0x%X", plog_platform::AffinityMask());
    void* probe = std::realloc(nullptr, 48);
    if (!probe) {
        LogLine("Substandard realloc");
        throw PSystemMemoryError("Substandard realloc", 48);
    }
    std::free(probe);
    LogLine("tryLock %s", plog_platform::TryLockSupported() ? "supported" : "not supported");
    if (!(flags & PLog::kPidPrefix))
        LogLine("PID=%d", int(plog_platform::ProcessId()));
    LogLine("BASEADDR=0x%p", plog_platform::ModuleBase());
    CriticalSectionLock lock(ProcessLogLock());
    if (log && g_processLog == log)
        for (PLog::HeaderWriter* w : log->headerWriters_)
            w->write(*log);
}

void LogLineV(const char* format, va_list args) {
    try {
        CriticalSectionLock lock(ProcessLogLock());
        if (g_processLog) {
            va_list copy;
            va_copy(copy, args);
            g_processLog->VLine(format, copy);
            va_end(copy);
        }
        if (g_logMirror)
            g_logMirror->VLine(format, args);
    } catch (...) {
        // A line that cannot be written is lost; the caller goes on.
    }
}

void LogLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogLineV(format, args);
    va_end(args);
}

void LogLineToProcessLogOnly(const char* format, ...) {
    try {
        CriticalSectionLock lock(ProcessLogLock());
        if (g_processLog) {
            va_list args;
            va_start(args, format);
            g_processLog->VLine(format, args);
            va_end(args);
        }
    } catch (...) {
        // As LogLine: a line that cannot be written is lost.
    }
}

void CloseProcessLog() {
    PLog* log;
    {
        CriticalSectionLock lock(ProcessLogLock());
        log = g_processLog;
        g_processLog = nullptr;
    }
    // No writer can reach it any more: lines are written under the lock.
    delete log;
}

void OpenLogMirror(PLog* log) {
    PLog* old;
    {
        CriticalSectionLock lock(ProcessLogLock());
        old = g_logMirror;
        g_logMirror = log;
    }
    delete old;
}

bool IsLogOpen() {
    CriticalSectionLock lock(ProcessLogLock());
    return g_processLog != nullptr;
}

void _PLogErrorCallback::report(const char* message) { LogLine("PError( '%s' )", message); }
