// CPayloadQueuedWriter (declared in payloadfiles.h). Kept apart from the
// file writer: the installer links the queue alone, and the writer's
// std::filesystem would bring the C++ library's locale and stream machinery
// into it (several hundred kilobytes).
#include "payloadfiles.h"

#include <cstring>

#include "perror.h"

CPayloadQueuedWriter::CPayloadQueuedWriter(IStatusCallBack& target, uint32_t maxInFlight)
    : target_(target), maxInFlight_(maxInFlight < 4096 ? 4096 : maxInFlight), inFlight_(0), failed_(false) {
    blockSize_ = maxInFlight_ / 8 < 65536 ? maxInFlight_ / 8 : 65536;
    pending_.reserve(blockSize_);
    thread_ = std::thread(&CPayloadQueuedWriter::Work, this);
}

CPayloadQueuedWriter::~CPayloadQueuedWriter() { Stop(); }

void CPayloadQueuedWriter::OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) {
    ThrowIfFailed();
}

// The token handle stands for "the file opened last": the extraction keeps
// one file open at a time, and the writing thread follows in the same order.
void* CPayloadQueuedWriter::OpenOutputFile(const char* path) {
    ThrowIfFailed();
    Push(kOpen, path);
    return this;
}

bool CPayloadQueuedWriter::WriteOutputFile(void* handle, const void* data, uint32_t size) {
    if (!handle)
        return true;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        uint32_t room = blockSize_ - uint32_t(pending_.size());
        uint32_t n = size < room ? size : room;
        pending_.insert(pending_.end(), p, p + n);
        p += n;
        size -= n;
        if (pending_.size() == blockSize_)
            PushPending();
    }
    return true;
}

void CPayloadQueuedWriter::CloseOutputFile(void* handle) {
    if (!handle)
        return;
    PushPending();
    Push(kClose);
}

void CPayloadQueuedWriter::Finish() {
    Stop();
    ThrowIfFailed();
}

void CPayloadQueuedWriter::PushPending() {
    if (pending_.empty())
        return;
    Push(kWrite);
}

void CPayloadQueuedWriter::Push(Kind kind, const char* path) {
    // A block at least half full goes as it is, buffer and all; the rest of
    // a small file is copied into a buffer of its own size, so that the
    // queue never holds a block's buffer for a few bytes.
    const bool wholeBlock = kind == kWrite && pending_.size() >= blockSize_ / 2;
    const size_t pathLength = path ? std::strlen(path) + 1 : 0;
    const size_t cost = sizeof(Item) + 2 * pathLength + (kind != kWrite ? 0 : wholeBlock ? pending_.capacity() : pending_.size());
    std::unique_lock<std::mutex> lock(mutex_);
    // Waits for room; after a failure nothing more is written, so nothing waits.
    changed_.wait(lock, [&] { return failed_ || inFlight_ + cost <= maxInFlight_ || queue_.empty(); });
    // A failure reaches the extraction at its next file or block of data.
    if (failed_ && (kind == kOpen || kind == kWrite))
        RethrowFailure();
    Item item;
    item.kind = kind;
    item.cost = cost;
    if (path)
        item.path.assign(path);
    if (kind == kWrite) {
        if (wholeBlock) {
            item.data.swap(pending_);
            if (!spare_.empty()) {
                pending_.swap(spare_.back());
                spare_.pop_back();
            }
        } else {
            item.data.assign(pending_.begin(), pending_.end());
        }
        pending_.clear();
        pending_.reserve(blockSize_);
    }
    inFlight_ += cost;
    queue_.push_back(std::move(item));
    changed_.notify_all();
}

void CPayloadQueuedWriter::ThrowIfFailed() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_)
        RethrowFailure();
}

void CPayloadQueuedWriter::RethrowFailure() {
    if (error_)
        std::rethrow_exception(error_);
    throw PInternalError(failure_.text());
}

void CPayloadQueuedWriter::Stop() {
    if (!thread_.joinable())
        return;
    Push(kStop);
    thread_.join();
}

void CPayloadQueuedWriter::Work() {
    void* file = nullptr;
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty(); });
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        bool failed;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            failed = failed_;
        }
        if (item.kind == kStop || failed) {
            if (file) {
                try {
                    target_.CloseOutputFile(file);
                } catch (...) {
                }
                file = nullptr;
            }
        }
        if (item.kind == kStop)
            return;
        if (!failed) {
            try {
                switch (item.kind) {
                    case kOpen:
                        file = target_.OpenOutputFile(item.path.text());
                        break;
                    case kWrite:
                        target_.WriteOutputFile(file, item.data.data(), uint32_t(item.data.size()));
                        break;
                    case kClose: {
                        void* f = file;
                        file = nullptr;
                        target_.CloseOutputFile(f);
                        break;
                    }
                    case kStop:
                        break;
                }
            } catch (const PError& e) {
                std::lock_guard<std::mutex> lock(mutex_);
                failed_ = true;
                failure_.assign(e.why());
                error_ = std::current_exception();
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                failed_ = true;
                failure_.assign("Writing the extracted files failed");
                error_ = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ -= item.cost;
        if (item.kind == kWrite && item.data.capacity() >= blockSize_ && spare_.size() < 4) {
            item.data.clear();
            spare_.push_back(std::move(item.data));
        }
        changed_.notify_all();
    }
}
