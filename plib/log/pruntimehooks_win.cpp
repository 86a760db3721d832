#include "pruntimehooks.h"

#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <exception>

#include "perror.h"

namespace {
PRuntimeLogLine g_logLine = nullptr;

void Report(const char* line) {
    if (g_logLine)
        g_logLine(line);
}

void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {
    Report("*** InvokeWatson ***");
    TerminateProcess(GetCurrentProcess(), 3);
}

void OnPureCall() {
    Report("*** PureCall ***");
    TerminateProcess(GetCurrentProcess(), 3);
}

// abort() raises SIGABRT synchronously on the calling thread, so the handler can
// turn it into an error that unwinds to the nearest PError handler.
void OnAbortSignal(int) {
    std::signal(SIGABRT, OnAbortSignal);
    throw PInternalError("abort() called");
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
    DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
    if (code == STATUS_STACK_BUFFER_OVERRUN)
        Report("*** GsFailure ***");
    else if (code == EXCEPTION_ARRAY_BOUNDS_EXCEEDED)
        Report("*** RangeCheckFailure ***");
    return EXCEPTION_CONTINUE_SEARCH;
}
}  // namespace


void AttachRuntimeFailureHooks(PRuntimeLogLine logLine) {
    g_logLine = logLine;
    _set_invalid_parameter_handler(OnInvalidParameter);
    _set_purecall_handler(OnPureCall);
    std::signal(SIGABRT, OnAbortSignal);
    SetUnhandledExceptionFilter(OnUnhandledException);
}
