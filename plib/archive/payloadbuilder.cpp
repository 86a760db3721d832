#include "payloadbuilder.h"

#include <lzma.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

#include "payload.h"
#include "payloadfiles.h"
#include "payloadnames.h"
#include "perror.h"

namespace {

[[noreturn]] void Refuse(const std::string& text) { throw PInternalError(text.c_str()); }

std::string Shown(const std::string& name) {
    PString utf8;
    Cp1252ToUtf8(name.data(), uint32_t(name.size()), utf8);
    return std::string(utf8.text());
}

void PutU32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(char(v >> (8 * i)));
}

std::string U32Bytes(uint32_t v) {
    std::string s;
    PutU32(s, v);
    return s;
}

// Streams one raw LZMA1 stream (properties first) into an output.
class LzmaEncoder {
public:
    LzmaEncoder(const PayloadLzmaSettings& settings, IPayloadOutput& out) : out_(out), written_(0) {
        lzma_options_lzma options;
        if (lzma_lzma_preset(&options, settings.preset))
            Refuse("unsupported LZMA preset " + std::to_string(settings.preset));
        options.dict_size = settings.dictionarySize;
        options.lc = 3;
        options.lp = 0;
        options.pb = 2;
        // LZMA1EXT without LZMA_LZMA1EXT_ALLOW_EOPM: no end marker, the
        // archive's head carries the sizes.
        options.ext_flags = 0;
        options.ext_size_low = UINT32_MAX;
        options.ext_size_high = UINT32_MAX;
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        if (lzma_raw_encoder(&stream_, filters) != LZMA_OK)
            Refuse("cannot start the LZMA encoder (dictionary " + std::to_string(settings.dictionarySize) +
                   " bytes)");
        uint8_t properties[5] = {uint8_t((options.pb * 5 + options.lp) * 9 + options.lc)};
        for (int i = 0; i < 4; ++i)
            properties[1 + i] = uint8_t(options.dict_size >> (8 * i));
        Emit(properties, sizeof properties);
    }
    ~LzmaEncoder() { lzma_end(&stream_); }

    void Feed(const void* data, size_t size) {
        // A call without input makes no progress, which liblzma reports as an error the second time.
        if (size)
            Run(data, size, LZMA_RUN);
    }
    void Finish() { Run(nullptr, 0, LZMA_FINISH); }
    uint64_t Written() const { return written_; }

private:
    void Run(const void* data, size_t size, lzma_action action) {
        stream_.next_in = static_cast<const uint8_t*>(data);
        stream_.avail_in = size;
        for (;;) {
            stream_.next_out = buffer_;
            stream_.avail_out = sizeof buffer_;
            lzma_ret r = lzma_code(&stream_, action);
            if (r != LZMA_OK && r != LZMA_STREAM_END)
                Refuse("LZMA encoding failed (liblzma code " + std::to_string(int(r)) + ")");
            Emit(buffer_, sizeof buffer_ - stream_.avail_out);
            if (r == LZMA_STREAM_END || (action == LZMA_RUN && stream_.avail_in == 0 && stream_.avail_out != 0))
                return;
        }
    }
    void Emit(const void* data, size_t size) {
        if (size)
            out_.Put(data, size);
        written_ += size;
    }

    IPayloadOutput& out_;
    lzma_stream stream_ = LZMA_STREAM_INIT;
    uint64_t written_;
    uint8_t buffer_[64 * 1024];
};

// Sort key: the separator ranks below every other byte, so that a folder's
// files stay together ("a\z" before "a b").
bool NameLess(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned ca = a[i] == '\\' ? 0 : static_cast<unsigned char>(a[i]);
        unsigned cb = b[i] == '\\' ? 0 : static_cast<unsigned char>(b[i]);
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

// Windows compares names without case: fold ASCII and the code page's Latin letters.
std::string Folded(const std::string& name) {
    std::string s = name;
    for (char& ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = uint8_t(c - 0x20);
        else if (c == 0x9A || c == 0x9C || c == 0x9E)
            c = uint8_t(c - 0x10);
        else if (c == 0xFF)
            c = 0x9F;
        else if (c == '/')
            c = '\\';
        ch = char(c);
    }
    return s;
}

void Check(const std::vector<PayloadInput>& files) {
    if (files.empty())
        Refuse("nothing to pack: there are no files");
    uint64_t total = 0;
    std::set<std::string> seen;
    size_t empty = 0;
    for (const PayloadInput& f : files) {
        if (f.name.size() > 65535)
            Refuse("name longer than 65535 bytes: '" + Shown(f.name.substr(0, 80)) + "...'");
        if (const char* problem = PayloadNameProblem(f.name.data(), uint32_t(f.name.size())))
            Refuse(std::string("name not allowed in a payload (") + problem + "): '" + Shown(f.name) + "'");
        if (!seen.insert(Folded(f.name)).second)
            Refuse("two files whose names Windows takes for the same: '" + Shown(f.name) + "'");
        if (f.path.empty() && f.bytes.size() != f.size)
            Refuse("size of '" + Shown(f.name) + "' does not match its content");
        total += f.size;
        if (total >= (uint64_t(1) << 32))
            Refuse("the files add up to 4 GiB or more; the archive holds less than 4 GiB (4294967295 bytes)");
        if (f.size == 0)
            ++empty;
    }
    if (files.size() > 1 && empty == files.size())
        Refuse("every file is empty: the archive needs a non-empty first file when it holds more than one");
}

// Copies one file's content into the encoder, checking it is as long as announced.
void FeedContent(const PayloadInput& f, LzmaEncoder& encoder, const std::function<void(uint64_t)>& read) {
    if (f.path.empty()) {
        encoder.Feed(f.bytes.data(), f.bytes.size());
        read(f.bytes.size());
        return;
    }
    FILE* in = OpenHostFile(f.path.c_str(), "rb");
    if (!in)
        Refuse("cannot read '" + f.path + "': " + std::strerror(errno));
    std::vector<char> buffer(1 << 16);
    uint64_t got = 0;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        got += n;
        if (got > f.size)
            break;
        encoder.Feed(buffer.data(), n);
        read(n);
    }
    bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed)
        Refuse("cannot read '" + f.path + "'");
    if (got != f.size)
        Refuse("'" + f.path + "' changed its size while being packed");
}

}  // namespace

void PayloadStringOutput::Put(const void* data, size_t size) {
    bytes.append(static_cast<const char*>(data), size);
}

void PayloadStringOutput::Patch(uint64_t offset, const void* data, size_t size) {
    bytes.replace(size_t(offset), size, static_cast<const char*>(data), size);
}

std::string LzmaPack(const void* data, size_t size, const PayloadLzmaSettings& settings) {
    PayloadStringOutput out;
    LzmaEncoder encoder(settings, out);
    encoder.Feed(data, size);
    encoder.Finish();
    return out.bytes;
}

void OrderPayloadInputs(std::vector<PayloadInput>& files) {
    std::stable_sort(files.begin(), files.end(),
                     [](const PayloadInput& a, const PayloadInput& b) { return NameLess(a.name, b.name); });
    auto first = std::find_if(files.begin(), files.end(), [](const PayloadInput& f) { return f.size > 0; });
    if (first != files.end())
        std::rotate(files.begin(), first, first + 1);
}

std::string PayloadHeaderBytes(const std::vector<PayloadInput>& files) {
    std::string h;
    uint32_t offset = 0;
    PutU32(h, 0);
    for (size_t i = 0; i + 1 < files.size(); ++i) {
        offset += uint32_t(files[i].size);
        PutU32(h, offset);
    }
    PutU32(h, 0);
    for (const PayloadInput& f : files) {
        h.push_back(char(f.name.size()));
        h.push_back(char(f.name.size() >> 8));
        h += f.name;
    }
    h.append(2, '\0');
    return h;
}

void BuildPayload(std::vector<PayloadInput> files, IPayloadOutput& out, const PayloadLzmaSettings& settings,
                  IPayloadProgress* progress) {
    Check(files);
    OrderPayloadInputs(files);
    uint32_t total = 0;
    for (const PayloadInput& f : files)
        total += uint32_t(f.size);
    std::string header = PayloadHeaderBytes(files);
    if (header.size() > kMaxPayloadHeaderLength)
        Refuse("the file list needs " + std::to_string(header.size()) + " bytes; the archive allows " +
               std::to_string(kMaxPayloadHeaderLength));
    std::string packedHeader = LzmaPack(header.data(), header.size(), settings);

    std::string head = U32Bytes(uint32_t(header.size())) + U32Bytes(total) +
                       U32Bytes(uint32_t(packedHeader.size())) + packedHeader;
    out.Put(head.data(), head.size());
    uint64_t bodyLengthAt = head.size();
    out.Put("\0\0\0\0", 4);
    LzmaEncoder encoder(settings, out);
    size_t filesDone = 0;
    uint64_t bytesDone = 0;
    const std::function<void(uint64_t)> read = [&](uint64_t n) {
        bytesDone += n;
        if (progress)
            progress->Packed(filesDone, bytesDone);
    };
    for (const PayloadInput& f : files) {
        FeedContent(f, encoder, read);
        ++filesDone;
        if (progress)
            progress->Packed(filesDone, bytesDone);
    }
    encoder.Finish();
    if (encoder.Written() > UINT32_MAX - bodyLengthAt - 4)
        Refuse("the packed archive reaches 4 GiB; it must stay below");
    std::string bodyLength = U32Bytes(uint32_t(encoder.Written()));
    out.Patch(bodyLengthAt, bodyLength.data(), bodyLength.size());
}
