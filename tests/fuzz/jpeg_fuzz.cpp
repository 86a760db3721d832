// The background picture's decoder (installer/ui/pjpegimage.*) on arbitrary
// bytes, at full size and at the smallest scale: it either throws
// PInternalError or gives exactly Height() rows of Width() RGB triples (each
// decoded into a buffer of exactly that size, so AddressSanitizer sees any
// overrun), after which it refuses another row.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "perror.h"
#include "pjpegimage.h"

namespace {

// Rows of pictures larger than this are not decoded: the time goes into the
// headers and the first rows, where the parsing is.
constexpr uint64_t kMaxPixels = 1u << 22;

void Decode(const uint8_t* data, size_t size, int scale) {
    try {
        PJpegImageSource source(data, size, scale);
        const int width = source.Width(), height = source.Height();
        if (width <= 0 || height <= 0 || source.RowsLeft() != height)
            std::abort();
        if (uint64_t(width) * uint64_t(height) > kMaxPixels)
            return;
        std::vector<uint8_t> row(size_t(width) * 3);
        for (int y = 0; y < height; ++y)
            source.ReadRow(row.data());
        if (source.RowsLeft() != 0)
            std::abort();
        try {
            source.ReadRow(row.data());
        } catch (const PInternalError&) {
            return;
        }
        std::abort();  // a row past the end was handed out
    } catch (const PInternalError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    if (IsJpegSignature(data, size) != (size > 1 && data[0] == 0xFF && data[1] == 0xD8))
        std::abort();
    Decode(data, size, 1);
    Decode(data, size, 8);
    return 0;
}
