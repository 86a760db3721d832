// Extraction into real files of the host, for the build-time tools and the
// tests (the installer's worker has its own callback).
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "payload.h"
#include "pstring.h"

// fopen by UTF-8 path; on Windows through the wide CRT. Null with errno set on failure.
FILE* OpenHostFile(const char* utf8Path, const char* mode);

// Writes every file below a host folder. The paths the extraction hands over
// are the destination given at construction, a backslash and the archive
// name (code page 1252): natively the name becomes UTF-8 with '/' between
// folders, on Windows UTF-16 for the wide CRT. Failures throw PInternalError
// naming the file; a file whose final flush fails is reported, not lost.
class CPayloadFileWriter : public IStatusCallBack {
public:
    // destination: UTF-8; pass the same text to ExtractPayload.
    explicit CPayloadFileWriter(const char* destination, uint32_t bufferSize = 256 * 1024);
    ~CPayloadFileWriter();

    void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) override {}
    void* OpenOutputFile(const char* path) override;
    bool WriteOutputFile(void* handle, const void* data, uint32_t size) override;
    void CloseOutputFile(void* handle) override;

    uint64_t BytesWritten() const { return bytesWritten_; }
    uint32_t FilesWritten() const { return filesWritten_; }

private:
    [[noreturn]] void Fail(const char* what, const char* path, const char* reason);

    PString destination_;
    PString currentPath_;  // UTF-8, for messages
    std::vector<char> buffer_;
    uint64_t bytesWritten_;
    uint32_t filesWritten_;
};
