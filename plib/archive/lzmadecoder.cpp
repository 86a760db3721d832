#include "lzmadecoder.h"

#include <lzma.h>

#include <cstdlib>
#include <cstring>

int COutMemoryStream::Write(const void* data, uint32_t size, uint32_t* processed) {
    uint32_t n = capacity_ - position_;
    if (size < n)
        n = size;
    if (n)
        std::memcpy(buffer_ + position_, data, n);
    position_ += n;
    if (position_ > highWater_)
        highWater_ = position_;
    if (processed)
        *processed = n;
    return 0;
}

void CLzmaStreamDecoder::Clear() {
    delete out_;
    out_ = nullptr;
    input_ = nullptr;
    inputLength_ = inputPosition_ = 0;
    inputStream_ = nullptr;
}

void CLzmaStreamDecoder::SetInput(const void* data, uint32_t length) {
    input_ = static_cast<const uint8_t*>(data);
    inputLength_ = length;
    inputPosition_ = 0;
    inputStream_ = nullptr;
}

void CLzmaStreamDecoder::SetInput(ILzmaInStream* stream) {
    input_ = nullptr;
    inputLength_ = inputPosition_ = 0;
    inputStream_ = stream;
}

void CLzmaStreamDecoder::SetOutput(ILzmaOutStream* out) {
    if (out == out_)
        return;
    delete out_;
    out_ = out;
}

const uint8_t* CLzmaStreamDecoder::Take(uint32_t n) {
    if (inputLength_ - inputPosition_ < n)
        return nullptr;
    const uint8_t* p = input_ + inputPosition_;
    inputPosition_ += n;
    return p;
}

const uint8_t* CLzmaStreamDecoder::NextInput(uint32_t maxLength, uint32_t* length) {
    if (inputStream_)
        return inputStream_->Next(maxLength, length);
    uint32_t left = inputLength_ - inputPosition_;
    *length = left < maxLength ? left : maxLength;
    return *length ? Take(*length) : nullptr;
}

namespace {
// Input is asked for in pieces of at most this size; a stream may hand out less.
const uint32_t kInputPiece = 1u << 20;

// Releases what liblzma allocated, on every way out of Decode (a sink may throw).
struct DecoderResources {
    lzma_stream stream = LZMA_STREAM_INIT;
    void* options = nullptr;
    ~DecoderResources() {
        lzma_end(&stream);
        std::free(options);
    }
};
}  // namespace

int CLzmaStreamDecoder::Decode() {
    produced_ = 0;
    if (!out_)
        return 1;
    uint32_t remaining = out_->GetSize();

    // The property bytes may arrive in more than one piece.
    uint8_t properties[5];
    for (uint32_t have = 0; have < sizeof properties;) {
        uint32_t n = 0;
        const uint8_t* p = NextInput(uint32_t(sizeof properties) - have, &n);
        if (!p)
            return 1;
        std::memcpy(properties + have, p, n);
        have += n;
    }

    DecoderResources r;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, properties, sizeof properties) != LZMA_OK)
        return 1;
    r.options = filters[0].options;
    // No match can reach further back than the bytes produced, and the sink
    // bounds those: a larger dictionary would only cost memory.
    lzma_options_lzma* options = static_cast<lzma_options_lzma*>(filters[0].options);
    // No LZMA encoder makes dictionaries above 1.5 GiB; such properties are
    // damage, and would only reserve gigabytes.
    if (options->dict_size > kLzmaMaxDictionary)
        return 1;
    uint32_t enough = remaining < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : remaining;
    if (options->dict_size > enough)
        options->dict_size = enough;
    if (lzma_raw_decoder(&r.stream, filters) != LZMA_OK)
        return 1;

    // Memory input is offered as one block; a stream's pieces as they come.
    bool inputEnded = false;
    uint8_t buffer[1024];
    for (;;) {
        uint32_t request = remaining < sizeof buffer ? remaining : uint32_t(sizeof buffer);
        if (request == 0)
            return 0;
        if (r.stream.avail_in == 0 && !inputEnded) {
            uint32_t n = 0;
            r.stream.next_in = NextInput(inputStream_ ? kInputPiece : ~0u, &n);
            r.stream.avail_in = n;
            inputEnded = n == 0;
        }
        r.stream.next_out = buffer;
        r.stream.avail_out = request;
        size_t before = r.stream.avail_in;
        lzma_ret ret = lzma_code(&r.stream, LZMA_RUN);
        // LZMA_BUF_ERROR only says that no progress was possible: the end of the input.
        if (ret != LZMA_OK && ret != LZMA_STREAM_END && ret != LZMA_BUF_ERROR)
            return 1;
        uint32_t got = request - uint32_t(r.stream.avail_out);
        if (got) {
            uint32_t processed = 0;
            if (out_->Write(buffer, got, &processed) != 0)
                return 1;
            remaining -= got;
            produced_ += got;
        }
        else if (r.stream.avail_in == before || ret != LZMA_OK)
            return 0;
        if (ret == LZMA_STREAM_END)
            return 0;
    }
}
