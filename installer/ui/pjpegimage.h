// Row-by-row image decoding: the image-source interface and its JPEG
// implementation over libjpeg, fed from memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

class PImageSource {
public:
    virtual ~PImageSource() {}
    // Pixels per output row.
    virtual int Width() const = 0;
    // Number of output rows.
    virtual int Height() const = 0;
    // Decodes the next row into buffer as Width() RGB triples, red first.
    virtual void ReadRow(uint8_t* buffer) = 0;
    virtual void ReadRow(uint8_t* buffer, int extra) = 0;
};

// Decodes a JPEG held in memory (not copied; it must outlive the source).
// Every decoder failure is thrown as PInternalError "JPEG: damaged or
// unsupported picture (libjpeg error N)", N libjpeg's message code (jerror.h);
// data that ends before its first byte gives "JPEG: empty file".
// Rows are read once, top to bottom.
class PJpegImageSource : public PImageSource {
public:
    // scaleDenominator: 1 (full size), 2, 4 or 8; 1 only where libjpeg is
    // built without scaled decoding, as the Windows build's is (any other
    // value then throws PInternalError instead of decoding at full size).
    PJpegImageSource(const void* data, size_t size, int scaleDenominator);
    ~PJpegImageSource() override;
    PJpegImageSource(const PJpegImageSource&) = delete;
    PJpegImageSource& operator=(const PJpegImageSource&) = delete;

    int Width() const override;
    int Height() const override;
    void ReadRow(uint8_t* buffer) override;
    void ReadRow(uint8_t* buffer, int extra) override { ReadRow(buffer); }

    // Rows still to be read.
    int RowsLeft() const;

    struct Decoder;

private:
    std::unique_ptr<Decoder> decoder_;
};

// True when the data is longer than one byte and begins with 0xFF 0xD8.
bool IsJpegSignature(const void* data, size_t size);
