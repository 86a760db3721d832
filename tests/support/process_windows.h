// Waiting for another process's windows, for the tests that start a program
// and drive its window from outside.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Asks condition every 50 ms until it holds or ms milliseconds have passed;
// returns its last answer.
bool WaitUntil(const std::function<bool()>& condition, DWORD ms);

// A visible top-level window of class cls that belongs to process pid (any
// process when pid is 0), or null.
HWND FindProcessWindow(const char* cls, DWORD pid);

// Runs a command line to its end; its exit code, 9998 when it had to be
// ended after ms milliseconds, 9999 when it could not be started.
DWORD RunAndWait(const std::wstring& commandLine, DWORD ms = 120000);
DWORD RunAndWait(const std::string& commandLine, DWORD ms = 120000);
