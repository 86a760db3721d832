// Decoding of the background JPEG into the window's 32-bit bottom-up DIB.
#include <gtest/gtest.h>

#include <windows.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs: libjpeg's message codes.
#include <jerror.h>

#include "background.h"
#include "mywindow.h"
#include "perror.h"
#include "pjpegimage.h"
#include "psyscalls.h"

namespace {

std::vector<uint8_t> StoredPicture() {
    PProgramResource r(kBackgroundPictureResource);
    EXPECT_TRUE(r.found());
    return std::vector<uint8_t>(r.data(), r.data() + r.size());
}

// The text of the PInternalError thrown by f, or "" when nothing was thrown.
template <class F>
std::string ErrorOf(F f) {
    try {
        f();
    }
    catch (const PInternalError& e) {
        return e.why();
    }
    return "";
}

// A small baseline JPEG whose frame header then claims width x height.
std::vector<uint8_t> BaselineJpegClaiming(int width, int height) {
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = 16;
    c.image_height = 16;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(16 * 3, 0x80);
    JSAMPROW r = row.data();
    while (c.next_scanline < 16)
        jpeg_write_scanlines(&c, &r, 1);
    jpeg_finish_compress(&c);
    std::vector<uint8_t> jpeg(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
            jpeg[i + 5] = uint8_t(height >> 8);
            jpeg[i + 6] = uint8_t(height);
            jpeg[i + 7] = uint8_t(width >> 8);
            jpeg[i + 8] = uint8_t(width);
            break;
        }
    return jpeg;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, strlen(prefix), prefix) == 0; }

// Exposes the creation fields; no window is made.
class BareWindow : public MyCWnd {
public:
    BareWindow() : MyCWnd(18) {}
};

}  // namespace

TEST(JpegImageSource, StoredPictureIsProgressive200By600) {
    std::vector<uint8_t> jpeg = StoredPicture();
    PJpegImageSource source(jpeg.data(), jpeg.size(), 1);
    EXPECT_EQ(source.Width(), 200);
    EXPECT_EQ(source.Height(), 600);
    std::vector<uint8_t> row(200 * 3);
    for (int i = 0; i < 600; ++i)
        source.ReadRow(row.data());
    EXPECT_EQ(source.RowsLeft(), 0);
    EXPECT_EQ(ErrorOf([&] { source.ReadRow(row.data()); }), "JPEG: no more rows");
}

// The Windows build's libjpeg has no scaled decoding: a scale other than 1
// must be refused, not decoded at full size as if it had been honoured.
TEST(JpegImageSource, ScaledDecodingIsRefusedNotIgnored) {
    std::vector<uint8_t> jpeg = StoredPicture();
    for (int denominator : {2, 4, 8})
        EXPECT_EQ(ErrorOf([&] { PJpegImageSource s(jpeg.data(), jpeg.size(), denominator); }),
                  "JPEG: this build decodes at full size only")
            << denominator;
    EXPECT_EQ(ErrorOf([&] { PJpegImageSource s(jpeg.data(), jpeg.size(), 0); }), "JPEG: invalid scale denominator");
}

TEST(JpegImageSource, EmptyAndBrokenData) {
    const uint8_t soi[] = {0xFF, 0xD8};
    EXPECT_EQ(ErrorOf([] { PJpegImageSource s("", 0, 1); }), "JPEG: empty file");
    EXPECT_EQ(ErrorOf([] { PJpegImageSource s(nullptr, 0, 1); }), "JPEG: empty file");
    // The memory source supplies an end-of-image marker: no image in it.
    std::string soiOnly = ErrorOf([&] { PJpegImageSource s(soi, sizeof soi, 1); });
    EXPECT_TRUE(StartsWith(soiOnly, "JPEG: ")) << soiOnly;
    EXPECT_GT(soiOnly.size(), 6u);
    const uint8_t junk[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61};
    // The error names libjpeg's code: here "not a JPEG file".
    EXPECT_EQ(ErrorOf([&] { PJpegImageSource s(junk, sizeof junk, 1); }),
              "JPEG: damaged or unsupported picture (libjpeg error " + std::to_string(JERR_NO_SOI) + ")");
}

TEST(JpegImageSource, HeaderCutShortThrowsAndDataCutInTheScanIsDecoded) {
    std::vector<uint8_t> jpeg = StoredPicture();
    std::string header = ErrorOf([&] { PJpegImageSource s(jpeg.data(), 100, 1); });
    EXPECT_TRUE(StartsWith(header, "JPEG: ")) << header;

    // Progressive data cut in the middle still gives every row.
    size_t cut = jpeg.size() * 6 / 10;
    PJpegImageSource source(jpeg.data(), cut, 1);
    std::vector<uint8_t> row(size_t(source.Width()) * 3);
    for (int i = 0; i < source.Height(); ++i)
        source.ReadRow(row.data());
    EXPECT_EQ(source.RowsLeft(), 0);
}

TEST(JpegImageSource, SkipsAMarkerLongerThanSeveralTransfers) {
    // An unknown APP15 segment of 10,000 bytes right after the start marker:
    // libjpeg skips it across three 4,096-byte transfers.
    std::vector<uint8_t> jpeg = StoredPicture();
    std::vector<uint8_t> padded(jpeg.begin(), jpeg.begin() + 2);
    const uint16_t length = 10002;
    padded.insert(padded.end(), {0xFF, 0xEF, uint8_t(length >> 8), uint8_t(length & 0xFF)});
    for (int i = 0; i < 10000; ++i)
        padded.push_back(uint8_t(i * 7));
    padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());

    PJpegImageSource a(jpeg.data(), jpeg.size(), 1), b(padded.data(), padded.size(), 1);
    ASSERT_EQ(b.Width(), 200);
    ASSERT_EQ(b.Height(), 600);
    std::vector<uint8_t> ra(600), rb(600);
    for (int i = 0; i < 600; ++i) {
        a.ReadRow(ra.data());
        b.ReadRow(rb.data(), 7);
        ASSERT_EQ(ra, rb) << "row " << i;
    }
}

// The installer leaves out libjpeg's merged upsampling, colour quantisation
// and fast and floating-point inverse DCTs (the decoder never selects them).
// Asked for all the same, each must fail as a decoder error, not crash.
namespace {
struct UnusedPartError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void JumpOut(j_common_ptr c) { std::longjmp(reinterpret_cast<UnusedPartError*>(c->err)->jump, 1); }

// libjpeg's message code from decoding data with the settings set() makes;
// 0 when the picture decodes.
template <class F>
int DecodeCode(const std::vector<uint8_t>& jpeg, F set) {
    jpeg_decompress_struct c;
    UnusedPartError err;
    std::memset(&c, 0, sizeof c);
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    err.pub.msg_code = 0;
    std::vector<uint8_t> row(3 * 4096);  // nothing with a destructor begins after setjmp
    int code = 0;
    if (setjmp(err.jump)) {
        code = err.pub.msg_code;
    }
    else {
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, jpeg.data(), (unsigned long)jpeg.size());
        jpeg_read_header(&c, TRUE);
        set(c);
        jpeg_start_decompress(&c);
        if (c.output_width * c.output_components > row.size())
            return -1;
        while (c.output_scanline < c.output_height) {
            JSAMPROW r = row.data();
            jpeg_read_scanlines(&c, &r, 1);
        }
        jpeg_finish_decompress(&c);
    }
    jpeg_destroy_decompress(&c);
    return code;
}
}  // namespace

TEST(JpegImageSource, PartsTheDecoderNeverSelectsAreErrorsNotCrashes) {
    std::vector<uint8_t> jpeg = StoredPicture();
    EXPECT_EQ(DecodeCode(jpeg, [](jpeg_decompress_struct&) {}), 0);
    EXPECT_EQ(DecodeCode(jpeg, [](jpeg_decompress_struct& c) { c.dct_method = JDCT_IFAST; }), JERR_NOT_COMPILED);
    EXPECT_EQ(DecodeCode(jpeg, [](jpeg_decompress_struct& c) { c.dct_method = JDCT_FLOAT; }), JERR_NOT_COMPILED);
    EXPECT_EQ(DecodeCode(jpeg, [](jpeg_decompress_struct& c) { c.do_fancy_upsampling = FALSE; }),
              JERR_NOT_COMPILED);
    EXPECT_EQ(DecodeCode(jpeg,
                         [](jpeg_decompress_struct& c) {
                             c.quantize_colors = TRUE;
                             c.two_pass_quantize = FALSE;
                         }),
              JERR_NOT_COMPILED);
    EXPECT_EQ(DecodeCode(jpeg, [](jpeg_decompress_struct& c) { c.quantize_colors = TRUE; }), JERR_NOT_COMPILED);
}

TEST(JpegSignature, NeedsTwoBytesFFD8) {
    const uint8_t good[] = {0xFF, 0xD8}, bad[] = {0xFF, 0xD9};
    EXPECT_TRUE(IsJpegSignature(good, 2));
    EXPECT_FALSE(IsJpegSignature(good, 1));
    EXPECT_FALSE(IsJpegSignature(bad, 2));
    EXPECT_FALSE(IsJpegSignature(nullptr, 2));
}

TEST(BackgroundPicture, DecodesIntoABottomUpDibWithBlueGreenRedZero) {
    std::vector<uint8_t> jpeg = StoredPicture();
    BackgroundPicture picture;
    ASSERT_TRUE(DecodeJpegPicture(jpeg.data(), uint32_t(jpeg.size()), picture));
    const BITMAPINFOHEADER& h = picture.info.bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 200);
    EXPECT_EQ(h.biHeight, 600);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(h.biSizeImage, 200u * 600u * 4u);
    ASSERT_NE(picture.pixels, nullptr);

    // Rows as the decoder gives them, top first.
    PJpegImageSource source(jpeg.data(), jpeg.size(), 1);
    std::vector<uint8_t> rows(200 * 3 * 600);
    for (int i = 0; i < 600; ++i)
        source.ReadRow(&rows[size_t(i) * 600]);

    const uint8_t* dib = static_cast<const uint8_t*>(picture.pixels);
    for (int i : {0, 1, 299, 598, 599}) {
        const uint8_t* line = dib + size_t(599 - i) * 800;
        for (int j = 0; j < 200; ++j) {
            const uint8_t* rgb = &rows[size_t(i) * 600 + size_t(j) * 3];
            ASSERT_EQ(line[4 * j + 0], rgb[2]) << i << "," << j;
            ASSERT_EQ(line[4 * j + 1], rgb[1]) << i << "," << j;
            ASSERT_EQ(line[4 * j + 2], rgb[0]) << i << "," << j;
            ASSERT_EQ(line[4 * j + 3], 0) << i << "," << j;
        }
    }

    // As Windows sees it: the JPEG's first row is the picture's top row.
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, picture.bitmap.Get());
    for (int j : {0, 100, 199}) {
        COLORREF c = GetPixel(memory, j, 0);
        EXPECT_EQ(c, RGB(rows[size_t(j) * 3], rows[size_t(j) * 3 + 1], rows[size_t(j) * 3 + 2])) << j;
        const uint8_t* last = &rows[size_t(599) * 600 + size_t(j) * 3];
        EXPECT_EQ(GetPixel(memory, j, 599), RGB(last[0], last[1], last[2])) << j;
    }
    SelectObject(memory, old);
    DeleteDC(memory);
}

TEST(BackgroundPicture, SkipsEmptyAndUnsignedDataAndThrowsOnBareSignature) {
    BackgroundPicture picture;
    const uint8_t two[] = {0x00, 0xD8}, soi[] = {0xFF, 0xD8};
    EXPECT_FALSE(DecodeJpegPicture(two, 0, picture));
    EXPECT_FALSE(DecodeJpegPicture(two, 2, picture));
    EXPECT_FALSE(picture.IsLoaded());
    std::string e = ErrorOf([&] { DecodeJpegPicture(soi, 2, picture); });
    EXPECT_TRUE(StartsWith(e, "JPEG: ")) << e;
    EXPECT_FALSE(picture.IsLoaded());
    EXPECT_EQ(picture.pixels, nullptr);
}

TEST(BackgroundPicture, CorruptScanHeaderThrowsAndLeavesNoBitmap) {
    // Header intact, scan data replaced by a marker libjpeg cannot accept.
    std::vector<uint8_t> jpeg = StoredPicture();
    size_t sos = 0;
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    ASSERT_GT(sos, 0u);
    std::vector<uint8_t> broken(jpeg.begin(), jpeg.begin() + long(sos));
    const uint8_t bad[] = {0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9};  // SOS with an impossible length
    broken.insert(broken.end(), bad, bad + sizeof bad);
    BackgroundPicture picture;
    std::string e = ErrorOf([&] { DecodeJpegPicture(broken.data(), uint32_t(broken.size()), picture); });
    EXPECT_TRUE(StartsWith(e, "JPEG: ")) << e;
    EXPECT_FALSE(picture.IsLoaded());
}

TEST(BackgroundPicture, APictureWithoutRoomForItsBitmapIsLeftOut) {
    // 23,000 x 23,000 pixels need 2.1 GB: more than a 32-bit process has room for.
    std::vector<uint8_t> huge = BaselineJpegClaiming(23000, 23000);
    BackgroundPicture picture;
    EXPECT_FALSE(DecodeJpegPicture(huge.data(), uint32_t(huge.size()), picture));
    EXPECT_FALSE(picture.IsLoaded());
    EXPECT_EQ(picture.pixels, nullptr);
    // Beyond 2 GB the bitmap is not even tried.
    std::vector<uint8_t> larger = BaselineJpegClaiming(60000, 60000);
    EXPECT_FALSE(DecodeJpegPicture(larger.data(), uint32_t(larger.size()), picture));
    // The small picture itself decodes.
    std::vector<uint8_t> small = BaselineJpegClaiming(16, 16);
    EXPECT_TRUE(DecodeJpegPicture(small.data(), uint32_t(small.size()), picture));
}

TEST(BackgroundPicture, LoadsTheResourceOnceIntoTheWindow) {
    BareWindow window;
    BackgroundPicture first, second;
    ASSERT_TRUE(LoadBackgroundPicture(window, first));
    EXPECT_EQ(window.BackgroundBitmap(), first.bitmap.Get());
    EXPECT_FALSE(LoadBackgroundPicture(window, second));
    EXPECT_EQ(window.BackgroundBitmap(), first.bitmap.Get());
    EXPECT_FALSE(second.IsLoaded());
}
