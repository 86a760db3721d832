// The release the tag server answers with, and its replacement: when the
// file at the served path is no longer the current release's (a new release
// moved into place by a rename, or any change of size or time), it is
// prepared on a thread of its own and then made current in one step. Until
// then, and for good when it is refused (not a signed installer, changing
// while read), the current release goes on being served. Downloads in flight
// hold their own release and never see the swap.
//
// Threading: Current() and Check() may be called from any thread; the
// preparing thread is joined by the destructor.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "servedrelease.h"

class AccessLog;

class ReleaseSource {
public:
    // first: the release opened at start-up from path. log must outlive this.
    ReleaseSource(std::string path, std::shared_ptr<const ServedRelease> first, AccessLog& log);
    ~ReleaseSource();
    ReleaseSource(const ReleaseSource&) = delete;
    ReleaseSource& operator=(const ReleaseSource&) = delete;

    std::shared_ptr<const ServedRelease> Current() const;

    // Looks at the path and starts preparing the file there when it differs
    // from the current release (force: even when it looks the same, and a
    // file refused before is tried again). Returns at once; does nothing
    // while a preparation runs.
    void Check(bool force);

private:
    void Prepare(FileIdentity seen);

    const std::string path_;
    AccessLog& log_;
    mutable std::mutex mutex_;
    std::shared_ptr<const ServedRelease> current_;
    bool preparing_ = false;
    bool refusedKnown_ = false;
    FileIdentity refused_;  // the last file refused, not tried again unless forced
    std::thread preparer_;
};
