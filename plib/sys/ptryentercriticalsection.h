// TryEnterCriticalSection, which Windows 95/98/Me lack. Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

// Whether Kernel32 has TryEnterCriticalSection (looked up once), and the function.
bool HasTryEnterCriticalSection();
using PTryEnterCriticalSectionFn = BOOL(WINAPI*)(LPCRITICAL_SECTION);
PTryEnterCriticalSectionFn TryEnterCriticalSectionFunction();
