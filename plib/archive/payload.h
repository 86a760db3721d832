// The payload archive: the head of the resource, the file list in its header,
// and the body streamed into files through a callback.
//
// Layout (little-endian): u32 header length, u32 total length, u32 P1, P1
// bytes of packed header, u32 P2, P2 bytes of packed body; each packed part
// is 5 LZMA1 property bytes and raw LZMA1 data. The decoded header holds the
// u32 start offsets of the files (the first one 0, terminated by a 0) and then
// the u16-length-prefixed names (code page 1252, backslash separators,
// terminated by an empty name).
#pragma once
#include <cstdint>

#include "lzmadecoder.h"
#include "perror.h"
#include "pstring.h"

// Largest decoded header accepted. The shipped header is about 200 KB; this
// leaves room for hundreds of thousands of files and keeps a damaged length
// from reserving gigabytes.
const uint32_t kMaxPayloadHeaderLength = 64u << 20;

// How extracted files are created, written, closed and reported. File
// handles are the callback's own; null means "skip this file". Failures are
// thrown (PError family, or the caller's own cancellation exception).
class IStatusCallBack {
public:
    // After the file was opened: the number of entries, the 1-based number
    // of this file and its relative name.
    virtual void OnFileStarted(uint32_t fileCount, uint32_t fileIndex, const char* name) = 0;
    // path = destination folder, backslash, entry name, in the destination's
    // PStringX form (AppendPayloadName). Creates missing folders.
    virtual void* OpenOutputFile(const char* path) = 0;
    // Appends size bytes; with a null handle writes nothing and succeeds.
    virtual bool WriteOutputFile(void* handle, const void* data, uint32_t size) = 0;
    // Closes the file; a null handle is ignored.
    virtual void CloseOutputFile(void* handle) = 0;

protected:
    // Never deleted through this interface.
    ~IStatusCallBack() {}
};

// The bytes of a payload resource, handed out piece by piece: from memory,
// or from a file through a bounded buffer, so that reading a payload needs
// memory independent of its size. Used by one thread at a time.
class IPayloadSource {
public:
    // The number of bytes.
    virtual uint32_t Length() const = 0;
    // Bytes from offset on (offset < Length(), maxLength > 0): at least 1
    // and at most maxLength of them, their number through length. Valid
    // until the next call. Throws PayloadReadError when they cannot be read.
    virtual const uint8_t* Read(uint32_t offset, uint32_t maxLength, uint32_t* length) = 0;

protected:
    // Never deleted through this interface.
    ~IPayloadSource() {}
};

// The payload's bytes could not be read (the file went away, a device
// error): not a damaged archive, but the extraction cannot go on either.
class PayloadReadError : public PInternalError {
public:
    explicit PayloadReadError(const char* text) : PInternalError(text) {}
};

// A payload already in memory (a loaded resource, a test's bytes); not copied.
class CMemoryPayloadSource : public IPayloadSource {
public:
    CMemoryPayloadSource(const void* data, uint32_t length)
        : data_(static_cast<const uint8_t*>(data)), length_(length) {}
    uint32_t Length() const override { return length_; }
    const uint8_t* Read(uint32_t offset, uint32_t maxLength, uint32_t* length) override {
        uint32_t left = length_ - offset;
        *length = left < maxLength ? left : maxLength;
        return data_ + offset;
    }

private:
    const uint8_t* data_;
    uint32_t length_;
};

// One file of the payload, in a singly linked list in file order.
struct PayloadEntry {
    PString name;
    // End of the file in the decoded body; 0 for the last entry ("up to the end").
    uint32_t endOffset = 0;
    PayloadEntry* next = nullptr;
};

// Owns a PayloadEntry list.
class PayloadEntryList {
public:
    PayloadEntryList() : head_(nullptr), tail_(nullptr), count_(0) {}
    ~PayloadEntryList() { Clear(); }
    PayloadEntryList(const PayloadEntryList&) = delete;
    PayloadEntryList& operator=(const PayloadEntryList&) = delete;

    PayloadEntry* Append();
    void Clear();
    PayloadEntry* Head() const { return head_; }
    uint32_t Count() const { return count_; }

private:
    PayloadEntry* head_;
    PayloadEntry* tail_;
    uint32_t count_;
};

// Splits the decoded body into the files of the entry list.
class COutFileListStream : public ILzmaOutStream {
public:
    // destination (PStringX) ends in a backslash. The first file is opened at once.
    COutFileListStream(const char* destination, PayloadEntry* list, uint32_t expectedTotal,
                       IStatusCallBack* callback);
    ~COutFileListStream() override;
    int Write(const void* data, uint32_t size, uint32_t* processed) override;
    uint32_t GetSize() override { return expectedTotal_; }
    void Close() override;

private:
    // The destination joined with the current entry's name.
    PString CurrentPath() const;
    void OpenCurrent();
    // Closes the current file and opens the next, passing over empty files
    // in the middle of the list.
    void FinishCurrent();
    uint32_t CurrentSize() const;

    IStatusCallBack* callback_;
    PayloadEntry* list_;
    PayloadEntry* current_;
    void* handle_;
    uint32_t written_;
    uint32_t startOffset_;
    PString destination_;
    uint32_t filesOpened_;
    uint32_t entryCount_;
    uint32_t expectedTotal_;
};

// Decodes and checks the head and the header: fills list and the body's
// total length. Returns 0, or 1 for an archive error (why, when given, says
// what is wrong). Raises PAssert when the resource is shorter than a field or
// stream it announces, or the header decodes to fewer bytes than announced.
int ReadPayloadEntries(const void* data, uint32_t length, PayloadEntryList& list, uint32_t* totalLength,
                       PString* why = nullptr);
// The same on a source; a read failure is an archive error (1).
int ReadPayloadEntries(IPayloadSource& source, PayloadEntryList& list, uint32_t* totalLength, PString* why = nullptr);

// Extracts every file below destinationFolder (a PStringX text) through callback. Returns 0
// when every file was written, 1 for an archive error (corrupt LZMA data, a
// body shorter than announced, a malformed header, a name that would leave
// the destination; nothing is written when the header is at fault). Raises
// PAssert for a truncated resource and lets the callback's errors through.
int ExtractPayload(const void* data, uint32_t length, const char* destinationFolder, IStatusCallBack* callback,
                   PString* why = nullptr);
// The same on a source, read from front to back once; a read failure is an
// archive error (1, why naming it).
int ExtractPayload(IPayloadSource& source, const char* destinationFolder, IStatusCallBack* callback,
                   PString* why = nullptr);

// Bytes the files take on a volume with clusterSize-byte clusters (each file
// rounded up to whole clusters; 0xFFFFFFFF when that exceeds 32 bits). With 0,
// the total length, without decoding. Raises the same assertions as the
// extraction, and PInternalError for a malformed header.
uint32_t GetRequiredSpace(const void* data, uint32_t length, uint32_t clusterSize);
// The same on a source; a read failure is thrown as PayloadReadError.
uint32_t GetRequiredSpace(IPayloadSource& source, uint32_t clusterSize);

// Where "\nExtracting files:" and "\n" go: the install log once the installer
// connects it; none by default.
typedef void (*PayloadLogSink)(const char* text);
void SetPayloadLogSink(PayloadLogSink sink);
