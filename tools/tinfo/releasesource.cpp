#include "releasesource.h"

#include <cerrno>
#include <cstring>

#include "accesslog.h"
#include "perror.h"

ReleaseSource::ReleaseSource(std::string path, std::shared_ptr<const ServedRelease> first, AccessLog& log)
    : path_(std::move(path)), log_(log), current_(std::move(first)) {}

ReleaseSource::~ReleaseSource() {
    std::thread preparer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        preparer = std::move(preparer_);
    }
    if (preparer.joinable())
        preparer.join();
}

std::shared_ptr<const ServedRelease> ReleaseSource::Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
}

void ReleaseSource::Check(bool force) {
    FileIdentity seen;
    if (!IdentityOfPath(path_, seen)) {
        if (force)
            log_.Event("cannot look at " + path_ + ": " + std::strerror(errno) + "; the current release stays");
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (preparing_)
        return;
    if (!force && (seen == current_->identity() || (refusedKnown_ && seen == refused_)))
        return;
    preparing_ = true;
    if (preparer_.joinable())
        preparer_.join();  // ended already: preparing_ was false
    preparer_ = std::thread(&ReleaseSource::Prepare, this, seen);
}

void ReleaseSource::Prepare(FileIdentity seen) {
    std::shared_ptr<const ServedRelease> next;
    std::string why;
    try {
        next = ServedRelease::Open(path_);
    } catch (const PError& e) {
        why = e.why();
    } catch (const std::exception& e) {
        why = e.what();
    }
    std::string previous;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        preparing_ = false;
        if (next) {
            previous = current_->id();
            current_ = next;
            refusedKnown_ = false;
        } else {
            refused_ = seen;
            refusedKnown_ = true;
        }
    }
    if (next)
        log_.Event("release " + next->id() + " now served (" + next->name() + ", " +
                   std::to_string(next->identity().size) + " bytes; was " + previous + ")");
    else
        log_.Event("new file refused, release " + Current()->id() + " stays: " + why);
}
