// The payload's integrity check: the payload resource against the SHA-256 in
// the digest resource, answered once per process.
//
// Begin() starts it on a thread of its own while the user is still on the
// page, so that Install only waits for an answer that is usually there
// already: hashing a 90 MB payload takes about half a second on a processor
// without SHA extensions. Without Begin(), Intact() checks on the caller's
// thread (unattended runs, tests).
#pragma once
#include <mutex>
#include <thread>

#include "pstring.h"

class PayloadCheck {
public:
    PayloadCheck(int payloadResourceId, int digestResourceId);
    // Waits for a check that was begun.
    ~PayloadCheck();
    PayloadCheck(const PayloadCheck&) = delete;
    PayloadCheck& operator=(const PayloadCheck&) = delete;

    // Other resources (tests): waits for a begun check and forgets any answer.
    void SetResourceIds(int payloadResourceId, int digestResourceId);
    // The digest's resource, as set last.
    int DigestResourceId() const { return digestResourceId_; }
    // Starts the check on a thread of its own, unless one was begun or the
    // answer is known. Never throws: a thread that cannot be started leaves
    // the check to Intact.
    void Begin();
    // True when the payload matches its digest; false with why filled for a
    // missing payload, a missing digest, a mismatch or a payload that could
    // not be read. Waits for a begun check. Thread-safe.
    bool Intact(PString& why);

private:
    void Check();  // fills the answer; never throws

    std::mutex lock_;
    std::thread thread_;
    int payloadResourceId_;
    int digestResourceId_;
    // The answer, written by the checking thread before it ends (read after join).
    bool answered_ = false;
    bool intact_ = false;
    PString why_;
};
