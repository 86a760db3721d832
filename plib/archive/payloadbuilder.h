// Builds payload archives (the layout is described in payload.h): raw LZMA1
// streams without end marker, lc 3, lp 0, pb 2. Used by mkpayload and by the
// tests; refusals and I/O failures are thrown as PInternalError.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where the archive goes.
class IPayloadOutput {
public:
    virtual ~IPayloadOutput() {}
    virtual void Put(const void* data, size_t size) = 0;
    // Overwrites bytes put before: the body's packed length is known only at its end.
    virtual void Patch(uint64_t offset, const void* data, size_t size) = 0;
};

// An archive in memory.
class PayloadStringOutput : public IPayloadOutput {
public:
    void Put(const void* data, size_t size) override;
    void Patch(uint64_t offset, const void* data, size_t size) override;
    std::string bytes;
};

// One file to pack.
struct PayloadInput {
    std::string name;   // archive name: code page 1252, backslash separators
    uint64_t size = 0;
    std::string path;   // UTF-8 path the content is read from; when empty ...
    std::string bytes;  // ... the content itself
};

struct PayloadLzmaSettings {
    uint32_t dictionarySize = 8u << 20;
    uint32_t preset = 6;
};

// Told how far packing has come, on the packing thread: after each piece of
// content read (64 KiB at most) and after each file.
class IPayloadProgress {
public:
    virtual ~IPayloadProgress() {}
    // filesDone: files whose content is all read; bytesDone: content read in all.
    virtual void Packed(size_t filesDone, uint64_t bytesDone) = 0;
};

// Raw LZMA1 of data, preceded by its 5 property bytes.
std::string LzmaPack(const void* data, size_t size, const PayloadLzmaSettings& settings = PayloadLzmaSettings());

// The order the archive stores: by name, component by component, with the
// first non-empty file moved to the front (the format cannot start with an
// empty file unless it holds only that one).
void OrderPayloadInputs(std::vector<PayloadInput>& files);

// The decoded header for files in their given order.
std::string PayloadHeaderBytes(const std::vector<PayloadInput>& files);

// Orders files and writes the archive. Refuses an empty list, a name the
// extraction would refuse or that is longer than 65535 bytes, two names
// Windows takes for the same file, a total of 4 GiB or more, a header above
// kMaxPayloadHeaderLength, several files all empty, and content whose size
// differs from the announced one. progress, when given, is told as it goes.
void BuildPayload(std::vector<PayloadInput> files, IPayloadOutput& out,
                  const PayloadLzmaSettings& settings = PayloadLzmaSettings(), IPayloadProgress* progress = nullptr);
