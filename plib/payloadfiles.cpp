#include "payloadfiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "payloadnames.h"
#include "perror.h"

namespace fs = std::filesystem;

FILE* OpenHostFile(const char* utf8Path, const char* mode) {
#ifdef _WIN32
    PWString path, wmode;
    if (!Utf8ToUtf16(utf8Path, uint32_t(std::strlen(utf8Path)), path)) {
        errno = EINVAL;
        return nullptr;
    }
    path.terminate();
    for (const char* m = mode; *m; ++m)
        wmode.append(uint16_t(*m));
    wmode.terminate();
    return _wfopen(path.wide(), wmode.wide());
#else
    return std::fopen(utf8Path, mode);
#endif
}

CPayloadFileWriter::CPayloadFileWriter(const char* destination, uint32_t bufferSize)
    : destination_(destination), buffer_(bufferSize ? bufferSize : 1), bytesWritten_(0), filesWritten_(0) {
    Utf8ToPStringX(destination, destinationX_);
}

CPayloadFileWriter::~CPayloadFileWriter() {}

void CPayloadFileWriter::Fail(const char* what, const char* path, const char* reason) {
    PString text(what);
    text.append(" '").append(path).append("': ").append(reason);
    throw PInternalError(text.text());
}

void* CPayloadFileWriter::OpenOutputFile(const char* path) {
    PString utf8;
    PStringXToUtf8(path, utf8);
    uint32_t prefix = destination_.length();
    if (std::strncmp(utf8.text(), destination_.text(), prefix) != 0 || utf8.text()[prefix] != '\\')
        Fail("Cannot open file", utf8.text(), "not below the destination folder");
    const char* relative = utf8.text() + prefix + 1;
    // The extraction checked the names already; a writer never trusts a path it did not build.
    PString name;
    if (!Utf8ToCp1252(relative, uint32_t(std::strlen(relative)), name))
        Fail("Cannot open file", utf8.text(), "a name that is not code page 1252 text");
    if (const char* problem = PayloadNameProblem(name.text(), name.length()))
        Fail("Cannot open file", utf8.text(), problem);

    currentPath_.assign(destination_.text());
    currentPath_.append('/');
    currentPath_.append(relative);
    for (char* c = currentPath_.data() + prefix + 1; *c; ++c)
        if (*c == '\\')
            *c = '/';

#ifdef _WIN32
    PWString wide;
    if (!Utf8ToUtf16(utf8.text(), utf8.length(), wide))
        Fail("Cannot open file", currentPath_.text(), "the destination is not valid UTF-8");
    wide.terminate();
    fs::path full(wide.wide());
#else
    fs::path full(currentPath_.text());
#endif

    std::error_code ec;
    fs::path folder = full.parent_path();
    // Files come folder by folder: the folder made or found last needs no second look.
    if (!folder.empty() && folder != lastFolder_ && !fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            std::string shown(currentPath_.text());
            shown.resize(shown.rfind('/'));
            Fail("Cannot create folder", shown.c_str(), ec.message().c_str());
        }
    }
#ifdef _WIN32
    FILE* f = _wfopen(full.c_str(), L"wb");
#else
    FILE* f = std::fopen(full.c_str(), "wb");
#endif
    if (!f)
        Fail("Cannot open file", currentPath_.text(), std::strerror(errno));
    lastFolder_ = folder;
    std::setvbuf(f, buffer_.data(), _IOFBF, buffer_.size());
    ++filesWritten_;
    return f;
}

bool CPayloadFileWriter::WriteOutputFile(void* handle, const void* data, uint32_t size) {
    if (!handle)
        return true;
    if (std::fwrite(data, 1, size, static_cast<FILE*>(handle)) != size)
        Fail("Cannot write to file", currentPath_.text(), std::strerror(errno));
    bytesWritten_ += size;
    return true;
}

void CPayloadFileWriter::CloseOutputFile(void* handle) {
    if (!handle)
        return;
    if (std::fclose(static_cast<FILE*>(handle)) != 0)
        Fail("Cannot write to file", currentPath_.text(), std::strerror(errno));
}

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
    std::unique_lock<std::mutex> lock(mutex_);
    size_t bytes = kind == kWrite ? pending_.size() : 0;
    // Waits for room; after a failure nothing more is written, so nothing waits.
    changed_.wait(lock, [&] { return failed_ || inFlight_ + bytes <= maxInFlight_ || queue_.empty(); });
    // A failure reaches the extraction at its next file or block of data.
    if (failed_ && (kind == kOpen || kind == kWrite))
        RethrowFailure();
    Item item;
    item.kind = kind;
    if (path)
        item.path.assign(path);
    if (kind == kWrite) {
        item.data.swap(pending_);
        if (!spare_.empty()) {
            pending_.swap(spare_.back());
            spare_.pop_back();
        }
        pending_.clear();
        pending_.reserve(blockSize_);
        inFlight_ += bytes;
    }
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
        if (item.kind == kWrite) {
            inFlight_ -= item.data.size();
            item.data.clear();
            if (spare_.size() < 4)
                spare_.push_back(std::move(item.data));
        }
        changed_.notify_all();
    }
}
