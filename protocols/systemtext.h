// The system's own words for a Windows error code, as the client's programs
// show and log them and the installation journal logs them. Windows only.
#pragma once
#include <windows.h>

#include <string>

// "The system cannot find the file specified (error 2)": the system's message
// without its line break and trailing spaces, or "unknown error" where the
// system has none, always followed by the code. Never throws but for memory.
std::wstring SystemText(DWORD code);
