#define PASSERT_SOURCE "InstallerThread"
#include "payload.h"

#include <cstring>

#include "payloadnames.h"
#include "pencoding.h"
#include "perror.h"

namespace {

PayloadLogSink g_log = nullptr;

void Log(const char* text) {
    if (g_log)
        g_log(text);
}

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Walks the resource; every read is checked against its length first.
class ResourceCursor {
public:
    explicit ResourceCursor(IPayloadSource& source) : source_(source), dwSize(source.Length()), srcpos(0) {}

    uint32_t ReadU32() {
        PASSERT(dwSize - srcpos >= 4);
        uint8_t bytes[4];
        for (uint32_t have = 0; have < 4;) {
            uint32_t n = 0;
            const uint8_t* p = source_.Read(srcpos + have, 4 - have, &n);
            std::memcpy(bytes + have, p, n);
            have += n;
        }
        srcpos += 4;
        return U32(bytes);
    }
    // Passes over a packed stream of length bytes; returns where it starts.
    uint32_t Take(uint32_t length) {
        PASSERT(dwSize - srcpos >= length);
        uint32_t start = srcpos;
        srcpos += length;
        return start;
    }

private:
    IPayloadSource& source_;
    // Named as in the assertion texts the installer has always logged.
    uint32_t dwSize;
    uint32_t srcpos;
};

// One packed stream of the source, as decoder input.
class SourceStream : public ILzmaInStream {
public:
    SourceStream(IPayloadSource& source, uint32_t start, uint32_t length)
        : source_(source), position_(start), end_(start + length) {}
    const uint8_t* Next(uint32_t maxLength, uint32_t* length) override {
        uint32_t left = end_ - position_;
        if (left == 0) {
            *length = 0;
            return nullptr;
        }
        const uint8_t* p = source_.Read(position_, left < maxLength ? left : maxLength, length);
        position_ += *length;
        return p;
    }

private:
    IPayloadSource& source_;
    uint32_t position_;
    uint32_t end_;
};

int Fail(PString* why, const char* text, const char* detail = nullptr) {
    if (why) {
        why->assign(text);
        if (detail)
            why->append(detail);
    }
    return 1;
}

// Reads inside the decoded header only.
class HeaderReader {
public:
    HeaderReader(const uint8_t* data, uint32_t length) : data_(data), length_(length), pos_(0) {}
    bool U32(uint32_t* v) {
        if (length_ - pos_ < 4)
            return false;
        *v = ::U32(data_ + pos_);
        pos_ += 4;
        return true;
    }
    bool U16(uint32_t* v) {
        if (length_ - pos_ < 2)
            return false;
        *v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8;
        pos_ += 2;
        return true;
    }
    const char* Bytes(uint32_t n) {
        if (length_ - pos_ < n)
            return nullptr;
        const char* p = reinterpret_cast<const char*>(data_ + pos_);
        pos_ += n;
        return p;
    }
    bool AtEnd() const { return pos_ == length_; }

private:
    const uint8_t* data_;
    uint32_t length_;
    uint32_t pos_;
};

int ParseHeader(const uint8_t* header, uint32_t headerLength, uint32_t total, PayloadEntryList& list, PString* why) {
    HeaderReader r(header, headerLength);
    uint32_t first = 0;
    if (!r.U32(&first))
        return Fail(why, "malformed header: shorter than its first offset");
    if (first != 0)
        return Fail(why, "malformed header: the first file does not start at 0");
    PayloadEntry* current = list.Append();
    uint32_t previous = 0;
    for (;;) {
        uint32_t offset = 0;
        if (!r.U32(&offset))
            return Fail(why, "malformed header: the offset list has no terminating 0");
        if (offset == 0)
            break;
        // Equal offsets are an empty file; only a step back is wrong.
        if (offset < previous)
            return Fail(why, "malformed header: file offsets decrease");
        if (offset > total)
            return Fail(why, "malformed header: a file offset lies beyond the body");
        current->endOffset = previous = offset;
        current = list.Append();
    }
    for (PayloadEntry* e = list.Head(); e; e = e->next) {
        uint32_t n = 0;
        if (!r.U16(&n))
            return Fail(why, "malformed header: the names run past the header");
        if (n == 0)
            return Fail(why, "malformed header: fewer names than files");
        const char* name = r.Bytes(n);
        if (!name)
            return Fail(why, "malformed header: the names run past the header");
        if (const char* problem = PayloadNameProblem(name, n)) {
            PString bad;
            Cp1252ToUtf8(name, n, bad);
            Fail(why, "unsafe entry name (", problem);
            if (why)
                why->append("): '").append(bad).append("'");
            return 1;
        }
        e->name.assign(name, int(n));
    }
    uint32_t end = 0;
    if (!r.U16(&end))
        return Fail(why, "malformed header: the name list has no terminating empty name");
    if (end != 0)
        return Fail(why, "malformed header: more names than files");
    if (!r.AtEnd())
        return Fail(why, "malformed header: bytes after the name list");
    return 0;
}

// The head up to the decoded header; the cursor is left at P2.
int ReadEntries(IPayloadSource& source, ResourceCursor& cursor, uint32_t headerLength, uint32_t total,
                PayloadEntryList& list, PString* why) {
    uint32_t packedLength = cursor.ReadU32();
    SourceStream packed(source, cursor.Take(packedLength), packedLength);
    if (headerLength > kMaxPayloadHeaderLength)
        return Fail(why, "malformed header: its announced length is implausibly large");

    _PBlock header;
    header.alloc(headerLength);
    CLzmaStreamDecoder decoder;
    decoder.SetInput(&packed);
    COutMemoryStream* out = new COutMemoryStream(header.ptr(), headerLength);
    decoder.SetOutput(out);
    if (decoder.Decode() != 0)
        return Fail(why, "the packed header cannot be decoded");
    uint32_t readed = out->HighWater();
    PASSERT(readed == headerLength);
    return ParseHeader(header.ptr(), headerLength, total, list, why);
}

}  // namespace

void SetPayloadLogSink(PayloadLogSink sink) { g_log = sink; }

PayloadEntry* PayloadEntryList::Append() {
    PayloadEntry* e = new PayloadEntry;
    if (tail_)
        tail_->next = e;
    else
        head_ = e;
    tail_ = e;
    ++count_;
    return e;
}

void PayloadEntryList::Clear() {
    // Iteratively: the list may hold many thousands of entries.
    while (head_) {
        PayloadEntry* next = head_->next;
        delete head_;
        head_ = next;
    }
    tail_ = nullptr;
    count_ = 0;
}

COutFileListStream::COutFileListStream(const char* destination, PayloadEntry* list, uint32_t expectedTotal,
                                       IStatusCallBack* callback)
    : callback_(callback), list_(list), current_(list), handle_(nullptr), written_(0), startOffset_(0),
      destination_(destination), filesOpened_(0), entryCount_(0), expectedTotal_(expectedTotal) {
    for (PayloadEntry* e = list; e; e = e->next)
        ++entryCount_;
    if (entryCount_ == 0)
        entryCount_ = 1;
    if (current_) {
        // The destructor does not run when the constructor throws.
        try {
            OpenCurrent();
        } catch (...) {
            Close();
            throw;
        }
    }
}

COutFileListStream::~COutFileListStream() {
    // Runs while a callback error or a cancellation unwinds: must not throw.
    try {
        Close();
    } catch (...) {
    }
}

void COutFileListStream::Close() {
    void* h = handle_;
    handle_ = nullptr;
    callback_->CloseOutputFile(h);
}

PString COutFileListStream::CurrentPath() const {
    PString path(destination_);
    AppendPayloadName(path, current_->name.text(), current_->name.length());
    return path;
}

void COutFileListStream::OpenCurrent() {
    handle_ = callback_->OpenOutputFile(CurrentPath().text());
    ++filesOpened_;
    callback_->OnFileStarted(entryCount_, filesOpened_, current_->name.text());
}

uint32_t COutFileListStream::CurrentSize() const {
    uint32_t end = current_->endOffset ? current_->endOffset : expectedTotal_;
    return end - startOffset_;
}

void COutFileListStream::FinishCurrent() {
    do {
        Close();
        if (current_->endOffset)
            startOffset_ = current_->endOffset;
        current_ = current_->next;
        written_ = 0;
        if (!current_)
            return;
        OpenCurrent();
        // An empty file in the middle is created and closed in passing; an
        // empty last file stays open until Close.
    } while (current_->next && CurrentSize() == 0);
}

int COutFileListStream::Write(const void* data, uint32_t size, uint32_t* processed) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t left = size;
    // Past the last file (more bytes than the total) there is nowhere to go:
    // such bytes are dropped; the decoder never asks for them.
    while (left > 0 && current_) {
        uint32_t missing = CurrentSize() - written_;
        uint32_t n = left < missing ? left : missing;
        if (n) {
            if (!callback_->WriteOutputFile(handle_, p, n)) {
                PString text("Cannot write to file '");
                AppendText(text, CurrentPath().text());
                AppendText(text, "'");
                throw PInternalError(text.text());
            }
            written_ += n;
            p += n;
            left -= n;
        }
        if (written_ == CurrentSize())
            FinishCurrent();
    }
    if (processed)
        *processed = size;
    return 0;
}

int ReadPayloadEntries(const void* data, uint32_t length, PayloadEntryList& list, uint32_t* totalLength,
                       PString* why) {
    CMemoryPayloadSource source(data, length);
    return ReadPayloadEntries(source, list, totalLength, why);
}

int ReadPayloadEntries(IPayloadSource& source, PayloadEntryList& list, uint32_t* totalLength, PString* why) {
    list.Clear();
    int r;
    try {
        ResourceCursor cursor(source);
        uint32_t headerLength = cursor.ReadU32();
        uint32_t total = cursor.ReadU32();
        if (totalLength)
            *totalLength = total;
        r = ReadEntries(source, cursor, headerLength, total, list, why);
    } catch (const PayloadReadError& e) {
        r = Fail(why, "the payload cannot be read: ", e.why());
    }
    if (r)
        list.Clear();
    return r;
}

int ExtractPayload(const void* data, uint32_t length, const char* destinationFolder, IStatusCallBack* callback,
                   PString* why) {
    CMemoryPayloadSource source(data, length);
    return ExtractPayload(source, destinationFolder, callback, why);
}

int ExtractPayload(IPayloadSource& source, const char* destinationFolder, IStatusCallBack* callback, PString* why) {
    try {
        ResourceCursor cursor(source);
        uint32_t headerLength = cursor.ReadU32();
        uint32_t total = cursor.ReadU32();
        PayloadEntryList list;
        if (ReadEntries(source, cursor, headerLength, total, list, why))
            return 1;
        Log("\nExtracting files:");

        uint32_t packedLength = cursor.ReadU32();
        SourceStream packed(source, cursor.Take(packedLength), packedLength);
        PString destination(destinationFolder);
        destination.append('\\');

        CLzmaStreamDecoder decoder;
        decoder.SetInput(&packed);
        COutFileListStream* out = new COutFileListStream(destination.text(), list.Head(), total, callback);
        decoder.SetOutput(out);
        int r = decoder.Decode();
        out->Close();
        uint32_t produced = decoder.Produced();
        decoder.Clear();
        if (r)
            return Fail(why, "the packed body cannot be decoded");
        if (produced != total) {
            Fail(why, "the packed body ends early: ");
            if (why)
                why->appendUint(produced).append(" of ").appendUint(total).append(" bytes");
            return 1;
        }
        Log("\n");
        return 0;
    } catch (const PayloadReadError& e) {
        // The file being written is closed by the stream's destructor on the way here.
        return Fail(why, "the payload cannot be read: ", e.why());
    }
}

uint32_t GetRequiredSpace(const void* data, uint32_t length, uint32_t clusterSize) {
    CMemoryPayloadSource source(data, length);
    return GetRequiredSpace(source, clusterSize);
}

uint32_t GetRequiredSpace(IPayloadSource& source, uint32_t clusterSize) {
    ResourceCursor cursor(source);
    uint32_t headerLength = cursor.ReadU32();
    uint32_t total = cursor.ReadU32();
    if (clusterSize == 0)
        return total;
    PayloadEntryList list;
    PString why;
    if (ReadEntries(source, cursor, headerLength, total, list, &why)) {
        PString text("Payload archive error: ");
        text.append(why);
        throw PInternalError(text.text());
    }
    uint64_t clusters = 0;
    uint32_t start = 0;
    for (PayloadEntry* e = list.Head(); e; e = e->next) {
        uint32_t end = e->endOffset ? e->endOffset : total;
        uint32_t size = end - start;
        clusters += size / clusterSize + (size % clusterSize ? 1 : 0);
        start = end;
    }
    uint64_t bytes = clusters * clusterSize;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(bytes);
}
