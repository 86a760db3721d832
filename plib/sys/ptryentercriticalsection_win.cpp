#include "ptryentercriticalsection.h"

#include "psystemdll.h"

namespace {
bool g_tryEnterLooked = false;
PTryEnterCriticalSectionFn g_tryEnter = nullptr;
}  // namespace

bool HasTryEnterCriticalSection() { return TryEnterCriticalSectionFunction() != nullptr; }

PTryEnterCriticalSectionFn TryEnterCriticalSectionFunction() {
    // Two first calls at once would both find the same answer.
    if (!g_tryEnterLooked) {
        HMODULE kernel = LoadSystemLibrary("kernel32.dll");  // kept for the process's life
        if (kernel)
            g_tryEnter = reinterpret_cast<PTryEnterCriticalSectionFn>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "TryEnterCriticalSection")));
        g_tryEnterLooked = true;
    }
    return g_tryEnter;
}
