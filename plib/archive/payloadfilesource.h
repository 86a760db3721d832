// A payload read from a file through one buffer of bounded size: the payload
// tool's archive, or the installer's own executable from its payload
// resource's offset on. However large the payload, the process holds the
// buffer and nothing more of it (a mapping of the whole file, or the loaded
// image, would keep every page it touched).
#pragma once
#include <cstdint>
#include <vector>

#include "payload.h"
#include "pstring.h"

class PayloadFileSource : public IPayloadSource {
public:
    // Region length meaning "up to the end of the file".
    static constexpr uint32_t kToEnd = 0xFFFFFFFFu;

    explicit PayloadFileSource(uint32_t bufferSize = 256 * 1024);
    // Closes the file.
    ~PayloadFileSource();
    PayloadFileSource(const PayloadFileSource&) = delete;
    PayloadFileSource& operator=(const PayloadFileSource&) = delete;

    // Serves bytes [offset, offset + length) of the file at utf8Path (on
    // Windows opened through its UTF-16 name). False, why saying what went
    // wrong, when the file cannot be opened, is shorter than the region, or
    // the region is 4 GiB or longer; a file opened before is closed first.
    bool Open(const char* utf8Path, uint64_t offset = 0, uint32_t length = kToEnd, PString* why = nullptr);
#ifdef _WIN32
    bool Open(const wchar_t* path, uint64_t offset, uint32_t length, PString* why = nullptr);
#endif
    bool IsOpen() const { return file_ != kNoFile; }
    void Close();

    uint32_t Length() const override { return length_; }
    // At most the buffer's size at a time. A file that has become shorter
    // or cannot be read throws PayloadReadError naming it.
    const uint8_t* Read(uint32_t offset, uint32_t maxLength, uint32_t* length) override;

private:
    static constexpr intptr_t kNoFile = -1;

    bool Region(uint64_t fileSize, uint64_t offset, uint32_t length, PString* why);
    void Fill(uint32_t offset);
    [[noreturn]] void ReadFailed(const char* reason);

    intptr_t file_;  // a HANDLE on Windows, a descriptor elsewhere
    PString name_;   // UTF-8, for messages
    uint64_t regionStart_;
    uint32_t length_;
    std::vector<uint8_t> buffer_;
    uint32_t bufferStart_;  // region offset of buffer_[0]
    uint32_t filled_;
};
