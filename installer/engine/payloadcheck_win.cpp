#include "payloadcheck.h"

#include <system_error>

#include "payloaddigest.h"
#include "pprogramresource.h"

PayloadCheck::PayloadCheck(int payloadResourceId, int digestResourceId)
    : payloadResourceId_(payloadResourceId), digestResourceId_(digestResourceId) {}

PayloadCheck::~PayloadCheck() {
    std::lock_guard<std::mutex> guard(lock_);
    if (thread_.joinable())
        thread_.join();
}

void PayloadCheck::SetResourceIds(int payloadResourceId, int digestResourceId) {
    std::lock_guard<std::mutex> guard(lock_);
    if (thread_.joinable())
        thread_.join();
    payloadResourceId_ = payloadResourceId;
    digestResourceId_ = digestResourceId;
    answered_ = false;
}

void PayloadCheck::Begin() {
    std::lock_guard<std::mutex> guard(lock_);
    if (thread_.joinable() || answered_)
        return;
    try {
        thread_ = std::thread(&PayloadCheck::Check, this);
    } catch (const std::system_error&) {
        // Intact checks on its own thread instead.
    }
}

bool PayloadCheck::Intact(PString& why) {
    std::lock_guard<std::mutex> guard(lock_);
    if (thread_.joinable())
        thread_.join();
    if (!answered_)
        Check();
    if (!intact_)
        why = why_;
    return intact_;
}

void PayloadCheck::Check() {
    try {
        PProgramResource payload(payloadResourceId_);
        if (!payload.found()) {
            why_.assign("the payload resource is missing");
            intact_ = false;
        } else {
            PProgramResource digest(digestResourceId_);
            intact_ = PayloadDigestMatches(payload.data(), payload.size(), digest.found() ? digest.data() : nullptr,
                                           digest.size(), &why_);
        }
    } catch (...) {
        why_.assign("the payload could not be read");
        intact_ = false;
    }
    answered_ = true;
}
