// The log's system side off Windows (tools and native tests).
#include <dlfcn.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "plog_platform.h"
#include "punique.h"

namespace plog_platform {

intptr_t Open(const char* path, bool append, const PStringEncoding* encoding) {
    FILE* f = OpenFile(path, append ? "ab" : "wb", encoding);
    return f ? reinterpret_cast<intptr_t>(f) : PLog::kNoFile;
}

void Write(intptr_t file, const void* bytes, uint32_t n) {
    // Unbuffered, one system call per line, as WriteFile does on Windows.
    ssize_t written = ::write(fileno(reinterpret_cast<FILE*>(file)), bytes, n);
    (void)written;
}

void Close(intptr_t file) { std::fclose(reinterpret_cast<FILE*>(file)); }

void LocalNow(PLog::Stamp& now) {
    std::time_t t = std::time(nullptr);
    std::tm tm;
    localtime_r(&t, &tm);
    now = PLog::Stamp{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

uint32_t ProcessId() { return uint32_t(getpid()); }
uint32_t ThreadId() { return uint32_t(syscall(SYS_gettid)); }

void* ModuleBase() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&ModuleBase), &info) && info.dli_fbase)
        return info.dli_fbase;
    return nullptr;
}

bool ReopenStderr(const char* path, const PStringEncoding* encoding) {
    UniqueStdioFile f(OpenFile(path, "ab", encoding));
    if (!f)
        return false;
    bool ok = dup2(fileno(f.get()), fileno(stderr)) >= 0;
    f.reset();
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    return ok;
}

// There is no system heap query here: no line, as when Kernel32 is missing.
bool HeapCompatibility(uint32_t&) { return false; }

uint32_t AffinityMask() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 0;
    uint32_t mask = 0;
    for (int i = 0; i < 32; ++i)
        if (CPU_ISSET(i, &set))
            mask |= 1u << i;
    return mask;
}

bool TryLockSupported() { return true; }

// Left as the C++ runtime has them: replacing operator new here would fight
// the sanitizers the native tests and fuzzers run under.
void InstallFailureHandlers() {}

}  // namespace plog_platform
