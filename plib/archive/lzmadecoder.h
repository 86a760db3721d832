// Raw LZMA1 decoding (5 property bytes, then the raw stream) into a sink that
// says how many bytes it expects. Used for the payload archive and the
// message table.
#pragma once
#include <cstdint>

// The largest dictionary the decoder accepts: the encoders' own limit.
const uint32_t kLzmaMaxDictionary = (1u << 30) + (1u << 29);

// Where decoded bytes go.
class ILzmaOutStream {
public:
    virtual ~ILzmaOutStream() {}
    // Accepts size bytes; stores the number taken through processed when it is
    // given. Any non-zero result stops the decoding with failure.
    virtual int Write(const void* data, uint32_t size, uint32_t* processed) = 0;
    // The number of decoded bytes the sink expects; the decoder never produces more.
    virtual uint32_t GetSize() = 0;
    // Ends the output.
    virtual void Close() = 0;
};

// Where packed bytes come from when they are not in memory whole (a file
// read through a bounded buffer).
class ILzmaInStream {
public:
    // The next bytes of the stream, at most maxLength (> 0) of them, their
    // number through length; null with 0 at the end of the stream. The bytes
    // stay valid until the next call. Read failures are thrown.
    virtual const uint8_t* Next(uint32_t maxLength, uint32_t* length) = 0;

protected:
    // Never deleted through this interface.
    ~ILzmaInStream() {}
};

// Decodes into a buffer the caller owns.
class COutMemoryStream : public ILzmaOutStream {
public:
    COutMemoryStream(void* buffer, uint32_t capacity)
        : buffer_(static_cast<uint8_t*>(buffer)), highWater_(0), capacity_(capacity), position_(0) {}
    int Write(const void* data, uint32_t size, uint32_t* processed) override;
    uint32_t GetSize() override { return capacity_; }
    void Close() override {}
    // The largest position reached: the number of bytes received.
    uint32_t HighWater() const { return highWater_; }

private:
    uint8_t* buffer_;
    uint32_t highWater_;
    uint32_t capacity_;
    uint32_t position_;
};

// One decoding job: input bytes in, the sink's expected size out.
class CLzmaStreamDecoder {
public:
    CLzmaStreamDecoder()
        : out_(nullptr), input_(nullptr), inputLength_(0), inputPosition_(0), inputStream_(nullptr), produced_(0) {}
    ~CLzmaStreamDecoder() { Clear(); }
    CLzmaStreamDecoder(const CLzmaStreamDecoder&) = delete;
    CLzmaStreamDecoder& operator=(const CLzmaStreamDecoder&) = delete;

    // Destroys the sink and forgets the input.
    void Clear();
    // The stream: 5 property bytes, then raw LZMA1 data. Not copied.
    void SetInput(const void* data, uint32_t length);
    // The same, taken piece by piece from stream (not owned; it must outlive
    // the decoding). An error the stream throws leaves Decode as it came.
    void SetInput(ILzmaInStream* stream);
    // Takes ownership of out; a sink set before is destroyed.
    void SetOutput(ILzmaOutStream* out);
    ILzmaOutStream* Output() const { return out_; }

    // 0 when decoding ended without error: either the sink's expected size was
    // produced or the input could produce nothing more (see Produced). 1 for
    // bad properties, no memory for the decoder, corrupt data or a sink that
    // refused its bytes.
    int Decode();
    // Bytes handed to the sink by the last Decode.
    uint32_t Produced() const { return produced_; }

private:
    // The next n input bytes, or null when fewer remain; advances past them.
    const uint8_t* Take(uint32_t n);
    // The next piece of input, at most maxLength bytes; null with 0 at its end.
    const uint8_t* NextInput(uint32_t maxLength, uint32_t* length);

    ILzmaOutStream* out_;
    const uint8_t* input_;
    uint32_t inputLength_;
    uint32_t inputPosition_;
    ILzmaInStream* inputStream_;
    uint32_t produced_;
};
