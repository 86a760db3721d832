// A desktop shell for the tests: keeps what it was asked to open instead of
// opening it, or refuses as a session without a desktop shell would. Any
// thread may ask it (the worker does); the test reads it once the caller is done.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "desktopshell.h"

class StandInDesktopShell : public DesktopShell {
public:
    struct Request {
        std::string file, arguments, folder;
    };

    explicit StandInDesktopShell(bool answers = true) : answers_(answers) {}

    bool Open(const char* file, const char* arguments, const char* folder, PString& why) override {
        std::lock_guard<std::mutex> guard(lock_);
        requests_.push_back({file ? file : "", arguments ? arguments : "", folder ? folder : ""});
        if (!answers_)
            why = "the desktop's shell does not answer: a stand-in without a desktop";
        return answers_;
    }

    std::vector<Request> Requests() {
        std::lock_guard<std::mutex> guard(lock_);
        return requests_;
    }

private:
    const bool answers_;
    std::mutex lock_;
    std::vector<Request> requests_;
};
