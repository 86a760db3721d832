/* GetTickCount64 for Windows XP, which lacks it. The mingw-w64 thread
   library (winpthreads) imports it from kernel32, and Windows refuses to
   start a program whose imports it cannot resolve, so without this no
   shipped program would start on XP. Defining the import slot
   (__imp__GetTickCount64@0) here keeps the linker from taking it from
   kernel32; the slot points to a function that calls the system's own
   GetTickCount64 where it exists and otherwise extends the 32-bit
   GetTickCount across its 49.7-day wrap.
   Linked as an object of each shipped program (cmake/ShippedProgram.cmake),
   not through a library: only an object seen before kernel32's import
   library takes the slot's place. Any thread. */
#include <windows.h>

typedef ULONGLONG(WINAPI* TickCount64Fn)(void);

static ULONGLONG WINAPI ExtendedTickCount(void) {
    static volatile LONG busy = 0;
    static DWORD last = 0;
    static DWORD wraps = 0;
    while (InterlockedExchange(&busy, 1) != 0)
        Sleep(0);
    DWORD now = GetTickCount();
    if (now < last)
        ++wraps;
    last = now;
    ULONGLONG result = ((ULONGLONG)wraps << 32) | now;
    InterlockedExchange(&busy, 0);
    return result;
}

static ULONGLONG WINAPI TickCount64(void) {
    static TickCount64Fn resolved = NULL;
    TickCount64Fn f = resolved;
    if (!f) {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        f = kernel ? (TickCount64Fn)(void*)GetProcAddress(kernel, "GetTickCount64") : NULL;
        if (!f)
            f = ExtendedTickCount;
        resolved = f; /* every thread finds the same answer */
    }
    return f();
}

TickCount64Fn morvandite_imp_GetTickCount64 __asm__("__imp__GetTickCount64@0") = TickCount64;
