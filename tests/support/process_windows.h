// Waiting for another process's windows, for the tests that start a program
// and drive its window from outside.
#pragma once
#include <windows.h>

#include <functional>

// Asks condition every 50 ms until it holds or ms milliseconds have passed;
// returns its last answer.
bool WaitUntil(const std::function<bool()>& condition, DWORD ms);

// A visible top-level window of class cls that belongs to process pid (any
// process when pid is 0), or null.
HWND FindProcessWindow(const char* cls, DWORD pid);
