// Opens a process log in a scratch file for the length of a test, so that the
// test can read the lines the code under test logged.
#pragma once
#include <windows.h>

#include <string>

#include "plog.h"
#include "test_paths.h"

class CapturedLog {
public:
    explicit CapturedLog(const std::string& folder) : path_(folder + "\\captured.log") {
        DeleteFileA(path_.c_str());
        OpenProcessLog(new PLog(path_.c_str(), 0, nullptr));
    }
    ~CapturedLog() { CloseProcessLog(); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::string Text() const { return ReadWholeFile(path_); }
    bool Has(const std::string& line) const { return Text().find("\n" + line + "\r\n") != std::string::npos; }

private:
    std::string path_;
};
