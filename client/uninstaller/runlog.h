// The log of one uninstaller run, %TEMP%\MorvanditeUninstall.log (the
// install folder goes away), in UTF-8, started afresh by every run with the
// local time. Logging never fails the run: when the file cannot be made the
// lines are dropped. One thread.
#pragma once
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

#include "punique.h"

class RunLog {
public:
    RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Appends `text` and a line break.
    void Line(const std::wstring& text);

private:
    std::wstring path_;
    UniqueFileHandle file_;
};
