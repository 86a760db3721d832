// Extraction into real files of the host, for the build-time tools and the
// tests, and the queue that moves file writing off the decoding thread (the
// installer's worker puts its own file callback behind it).
#pragma once
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "payload.h"
#include "pstring.h"

// fopen by UTF-8 path; on Windows through the wide CRT. Null with errno set on failure.
FILE* OpenHostFile(const char* utf8Path, const char* mode);

// Writes every file below a host folder. The paths the extraction hands over
// are PStringX texts: Destination(), a backslash and the archive name joined
// by AppendPayloadName. Natively the path becomes UTF-8 with '/' between
// folders, on Windows UTF-16 for the wide CRT. Failures throw PInternalError
// naming the file; a file whose final flush fails is reported, not lost.
class CPayloadFileWriter : public IStatusCallBack {
public:
    // destination: UTF-8.
    explicit CPayloadFileWriter(const char* destination, uint32_t bufferSize = 256 * 1024);

    // The destination in the PStringX form: pass this to ExtractPayload.
    const char* Destination() const { return destinationX_.text(); }
    ~CPayloadFileWriter();

    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) override {}
    void* OpenOutputFile(const char* path) override;
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override;
    void CloseOutputFile(void* handle) override;

    uint64_t BytesWritten() const { return bytesWritten_; }
    uint32_t FilesWritten() const { return filesWritten_; }

private:
    [[noreturn]] void Fail(const char* what, const char* path, const char* reason);

    PString destination_;   // UTF-8
    PString destinationX_;  // PStringX
    PString currentPath_;   // UTF-8, for messages
    std::filesystem::path lastFolder_;
    std::vector<char> buffer_;
    uint64_t bytesWritten_;
    uint32_t filesWritten_;
};

// Hands every file operation of another callback to a thread of its own, so
// that creating and writing files (often slower than decoding: a file
// creation can cost a millisecond) overlaps the decoding. At most
// maxInFlight bytes wait at any time, counted as the memory the waiting
// operations hold (each one's buffer as allocated and its bookkeeping, not
// only the file data in it), so that many small files hold no more than a
// few large ones; beside them the writer keeps one block being filled and a
// few emptied ones for reuse. A failure on the writing thread is
// thrown at the next call, or by Finish, which must be called after the
// extraction to wait for the last bytes. The failure is rethrown as the very
// error the target raised, so callers tell a system error from the others.
// The bytes a queued writer holds at most unless told otherwise: enough that
// the installer's writing never waits on its decoding (ARCHITECTURE.md's
// thread table states this figure; a native test compares them).
constexpr uint32_t kPayloadWriteQueueBytes = 1u << 20;

class CPayloadQueuedWriter : public IStatusCallBack {
public:
    explicit CPayloadQueuedWriter(IStatusCallBack& target, uint32_t maxInFlight = kPayloadWriteQueueBytes);
    ~CPayloadQueuedWriter();
    CPayloadQueuedWriter(const CPayloadQueuedWriter&) = delete;
    CPayloadQueuedWriter& operator=(const CPayloadQueuedWriter&) = delete;

    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) override;
    void* OpenOutputFile(const char* path) override;
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override;
    void CloseOutputFile(void* handle) override;

    // Waits until everything queued is done; throws the writing thread's failure.
    void Finish();

private:
    enum Kind { kOpen, kWrite, kClose, kStop };
    struct Item {
        Kind kind;
        PString path;
        std::vector<char> data;
        size_t cost = 0;  // what it counts against maxInFlight
    };

    void Push(Kind kind, const char* path = nullptr);
    void PushPending();
    void ThrowIfFailed();
    [[noreturn]] void RethrowFailure();
    void Stop();
    void Work();

    IStatusCallBack& target_;
    uint32_t maxInFlight_;
    uint32_t blockSize_;
    std::vector<char> pending_;  // bytes of the current file not yet queued
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    std::vector<std::vector<char>> spare_;  // emptied blocks, reused
    size_t inFlight_;
    bool failed_;
    PString failure_;
    std::exception_ptr error_;
    std::thread thread_;
};
