// The log's system side on Windows, and the allocation failure handler.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <io.h>
#include <exception>
#include <new>

#include "pencoding.h"
#include "perror.h"
#include "plog_platform.h"
#include "pruntimehooks.h"
#include "psystemdll.h"
#include "ptryentercriticalsection.h"
#include "pwideapi.h"

namespace {

// Set by the log set-up: from then on a failed operator new names its size.
volatile bool g_newThrowsMemoryError = false;

void RuntimeFailureLine(const char* line) { LogLine("%s", line); }

}  // namespace

// The global allocation operator, so that a failure can carry the number of
// bytes asked for (a new_handler is not told). Until the log set-up it behaves
// as the runtime's: new_handler, then std::bad_alloc. Its storage comes from
// malloc, which is what the runtime's operator delete frees.
void* operator new(size_t n) {
    if (n == 0)
        n = 1;
    for (;;) {
        if (void* p = std::malloc(n))
            return p;
        if (g_newThrowsMemoryError)
            throw PSystemMemoryError("'new', number of bytes requested", n);
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* operator new[](size_t n) { return ::operator new(n); }

// The C++ runtime's own handler for an exception nobody catches names the
// exception's type, demangled; its demangler alone would be some 45 KB of
// the installer. This one says what the error says, to the process log and
// standard error, and aborts as the runtime's does. The runtime finds it by
// its name instead of its own.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating)
        std::abort();
    terminating = true;
    const char* text = "without an active exception";
    if (std::current_exception()) {
        try {
            throw;
        } catch (const PError& e) {
            text = e.why();
        } catch (const std::exception& e) {
            text = e.what();
        } catch (...) {
            text = "on an exception of an unknown kind";
        }
    }
    LogLine("terminate called: %s", text);
    std::fprintf(stderr, "terminate called: %s\n", text);
    std::abort();
}
}  // namespace __gnu_cxx

namespace plog_platform {

intptr_t Open(const char* path, bool append, const PStringEncoding* encoding) {
    const DWORD access = GENERIC_READ | GENERIC_WRITE, share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD disposition = append ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE h;
    if (encoding) {
        PWString w;
        ToWide(w, path, encoding);
        w.terminate();
        if (UseWideApi()) {
            h = CreateFileW(w.wide(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        } else {
            PString ansi;
            WideToAnsi(ansi, w.wide());
            h = CreateFileA(ansi.text(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
    } else {
        h = CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE)
        return PLog::kNoFile;
    SetFilePointer(h, 0, nullptr, FILE_END);
    return reinterpret_cast<intptr_t>(h);
}

void Write(intptr_t file, const void* bytes, uint32_t n) {
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(file), bytes, n, &written, nullptr);
}

void Close(intptr_t file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

void LocalNow(PLog::Stamp& now) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    now = PLog::Stamp{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

uint32_t ProcessId() { return GetCurrentProcessId(); }
uint32_t ThreadId() { return GetCurrentThreadId(); }
void* ModuleBase() { return GetModuleHandleA(nullptr); }

bool ReopenStderr(const char* path, const PStringEncoding* encoding) {
    FILE* f;
    if (encoding && UseWideApi()) {
        PWString w;
        ToWide(w, path, encoding);
        w.terminate();
        f = _wfreopen(w.wide(), L"a", stderr);
    } else if (encoding) {
        PWString w;
        ToWide(w, path, encoding);
        w.terminate();
        PString ansi;
        WideToAnsi(ansi, w.wide());
        f = std::freopen(ansi.text(), "a", stderr);
    } else {
        f = std::freopen(path, "a", stderr);
    }
    if (!f)
        return false;
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    return true;
}

bool HeapCompatibility(uint32_t& value) {
    PSystemLibrary kernel("kernel32.dll");
    if (!kernel)
        return false;
    using Query = BOOL(WINAPI*)(HANDLE, int, void*, SIZE_T, SIZE_T*);
    value = 255;
    // The runtime allocates from the process heap.
    if (Query query = kernel.Function<Query>("HeapQueryInformation")) {
        ULONG info = 255;
        query(GetProcessHeap(), 0, &info, sizeof info, nullptr);
        value = info;
    }
    return true;
}

uint32_t AffinityMask() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        return 0;
    return uint32_t(process);
}

bool TryLockSupported() { return HasTryEnterCriticalSection(); }

void InstallFailureHandlers() {
    g_newThrowsMemoryError = true;
    AttachRuntimeFailureHooks(&RuntimeFailureLine);
}

}  // namespace plog_platform
