#include "pjpegimage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "perror.h"
#include "pstring.h"

// libjpeg is C without unwind information, so an exception must never pass
// through its frames. Its failures (and ours from inside its callbacks) leave
// by longjmp back to the guarded call in Decoder, which throws from there.

namespace {
const size_t kTransferSize = 4096;
}

#ifdef _WIN32
// libjpeg parts this decoder never selects, replaced so that the static
// library's objects holding them stay out of the program (about 19 KB):
// merged upsampling (only without fancy upsampling, which stays on), colour
// quantisation (quantize_colors stays off) and the fast and floating-point
// inverse DCTs (dct_method stays JDCT_ISLOW). Reached anyway, each is a
// decoder error like any other, not a crash. Each libjpeg object named here
// defines nothing else; were one linked all the same, the link would fail on
// the second definition rather than pick one silently. Windows only: in a
// native program these would take the place of the shared library's own.
extern "C" {
void jinit_merged_upsampler(j_decompress_ptr cinfo) { ERREXIT(cinfo, JERR_NOT_COMPILED); }
void jinit_1pass_quantizer(j_decompress_ptr cinfo) { ERREXIT(cinfo, JERR_NOT_COMPILED); }
void jinit_2pass_quantizer(j_decompress_ptr cinfo) { ERREXIT(cinfo, JERR_NOT_COMPILED); }
void jpeg_idct_ifast(j_decompress_ptr cinfo, jpeg_component_info*, JCOEF*, JSAMPARRAY, JDIMENSION) {
    ERREXIT(cinfo, JERR_NOT_COMPILED);
}
void jpeg_idct_float(j_decompress_ptr cinfo, jpeg_component_info*, JCOEF*, JSAMPARRAY, JDIMENSION) {
    ERREXIT(cinfo, JERR_NOT_COMPILED);
}
}
#endif

struct PJpegImageSource::Decoder {
    struct ErrorManager {
        jpeg_error_mgr pub;
        jmp_buf jump;
        char text[JMSG_LENGTH_MAX + 8];
    };
    struct MemorySource {
        jpeg_source_mgr pub;
        const uint8_t* next;
        size_t remaining;
        JOCTET* buffer;
        bool startOfFile;
    };

    jpeg_decompress_struct cinfo;
    ErrorManager err;
    MemorySource src;
    bool live = false;  // decompression object exists

    Decoder() {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&err, 0, sizeof err);
        std::memset(&src, 0, sizeof src);
    }
    ~Decoder() { destroy(); }

    void destroy() {
        if (live) {
            jpeg_destroy_decompress(&cinfo);
            live = false;
        }
    }

    static Decoder* of(j_decompress_ptr c) { return static_cast<Decoder*>(c->client_data); }

    // Leaves libjpeg with text as the error (already prefixed).
    [[noreturn]] static void Fail(j_common_ptr c, const char* text) {
        ErrorManager* e = reinterpret_cast<ErrorManager*>(c->err);
        std::snprintf(e->text, sizeof e->text, "%s", text);
        std::longjmp(e->jump, 1);
    }

    // libjpeg's standard error manager (jpeg_std_error) would bring its
    // message table and formatting with it; the error names libjpeg's
    // message code instead (jerror.h lists them).
    static void ErrorExit(j_common_ptr c) {
        char text[JMSG_LENGTH_MAX + 8];
        std::snprintf(text, sizeof text, "JPEG: damaged or unsupported picture (libjpeg error %d)",
                      c->err->msg_code);
        Fail(c, text);
    }

    // Warnings (damaged data libjpeg decodes around) are counted, as the
    // standard manager does, and trace messages dropped.
    static void EmitMessage(j_common_ptr c, int level) {
        if (level < 0)
            c->err->num_warnings++;
    }

    static void OutputMessage(j_common_ptr) {}

    static void FormatMessage(j_common_ptr c, char* buffer) {
        std::snprintf(buffer, JMSG_LENGTH_MAX, "libjpeg message %d", c->err->msg_code);
    }

    static void ResetErrorManager(j_common_ptr c) {
        c->err->num_warnings = 0;
        c->err->msg_code = 0;
    }

    static void InitErrorManager(jpeg_error_mgr& e) {
        e.error_exit = ErrorExit;
        e.emit_message = EmitMessage;
        e.output_message = OutputMessage;
        e.format_message = FormatMessage;
        e.reset_error_mgr = ResetErrorManager;
        e.trace_level = 0;
        e.num_warnings = 0;
        e.msg_code = 0;
        e.jpeg_message_table = nullptr;
        e.last_jpeg_message = 0;
        e.addon_message_table = nullptr;
        e.first_addon_message = 0;
        e.last_addon_message = 0;
    }

    static void InitSource(j_decompress_ptr c) { of(c)->src.startOfFile = true; }

    static boolean FillInputBuffer(j_decompress_ptr c) {
        MemorySource& s = of(c)->src;
        size_t n = s.remaining < kTransferSize ? s.remaining : kTransferSize;
        if (n == 0) {
            if (s.startOfFile)
                Fail(reinterpret_cast<j_common_ptr>(c), "JPEG: empty file");
            // A truncated file ends with an end-of-image marker.
            WARNMS(c, JWRN_JPEG_EOF);
            s.buffer[0] = 0xFF;
            s.buffer[1] = JPEG_EOI;
            n = 2;
        }
        else {
            std::memcpy(s.buffer, s.next, n);
            s.next += n;
            s.remaining -= n;
        }
        s.pub.next_input_byte = s.buffer;
        s.pub.bytes_in_buffer = n;
        s.startOfFile = false;
        return TRUE;
    }

    static void SkipInputData(j_decompress_ptr c, long n) {
        if (n <= 0)
            return;
        MemorySource& s = of(c)->src;
        while (n > long(s.pub.bytes_in_buffer)) {
            n -= long(s.pub.bytes_in_buffer);
            FillInputBuffer(c);
        }
        s.pub.next_input_byte += n;
        s.pub.bytes_in_buffer -= size_t(n);
    }

    static void TermSource(j_decompress_ptr) {}

    // The steps below run inside the guard: on a decoder failure the
    // decompression object is released and the text thrown.
    void open(const void* data, size_t size, int scaleDenominator) {
        if (setjmp(err.jump))
            raise();
        InitErrorManager(err.pub);
        cinfo.err = &err.pub;
        cinfo.client_data = this;
        live = true;
        jpeg_create_decompress(&cinfo);

        src.buffer = static_cast<JOCTET*>((*cinfo.mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, kTransferSize));
        src.next = static_cast<const uint8_t*>(data);
        src.remaining = data ? size : 0;
        src.pub.init_source = InitSource;
        src.pub.fill_input_buffer = FillInputBuffer;
        src.pub.skip_input_data = SkipInputData;
        src.pub.resync_to_restart = jpeg_resync_to_restart;
        src.pub.term_source = TermSource;
        src.pub.bytes_in_buffer = 0;
        src.pub.next_input_byte = nullptr;
        cinfo.src = &src.pub;

        jpeg_read_header(&cinfo, TRUE);
        cinfo.scale_num = 1;
        cinfo.scale_denom = scaleDenominator;
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_components != 3)
            Fail(reinterpret_cast<j_common_ptr>(&cinfo), "JPEG: unexpected number of output components");
    }

    void readRow(uint8_t* buffer) {
        if (!live)
            throw PInternalError("JPEG: decoder released after an error");
        if (cinfo.output_scanline >= cinfo.output_height)
            throw PInternalError("JPEG: no more rows");
        if (setjmp(err.jump))
            raise();
        JSAMPROW row = buffer;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }

    // Decoder errors while finishing are of no interest.
    void finish() {
        if (!live)
            return;
        if (setjmp(err.jump) == 0) {
            cinfo.output_scanline = cinfo.output_height;
            jpeg_finish_decompress(&cinfo);
        }
        destroy();
    }

    [[noreturn]] void raise() {
        destroy();
        throw PInternalError(err.text);
    }
};

PJpegImageSource::PJpegImageSource(const void* data, size_t size, int scaleDenominator)
    : decoder_(new Decoder) {
    if (scaleDenominator < 1)
        throw PInternalError("JPEG: invalid scale denominator");
#ifndef IDCT_SCALING_SUPPORTED
    // A libjpeg built without scaled decoding (the installer's own, for size)
    // would silently decode at full size whatever the scale asked.
    if (scaleDenominator != 1)
        throw PInternalError("JPEG: this build decodes at full size only");
#endif
    decoder_->open(data, size, scaleDenominator);
}

PJpegImageSource::~PJpegImageSource() { decoder_->finish(); }

int PJpegImageSource::Width() const { return int(decoder_->cinfo.output_width); }

int PJpegImageSource::Height() const { return int(decoder_->cinfo.output_height); }

int PJpegImageSource::RowsLeft() const {
    return decoder_->live ? int(decoder_->cinfo.output_height - decoder_->cinfo.output_scanline) : 0;
}

void PJpegImageSource::ReadRow(uint8_t* buffer) { decoder_->readRow(buffer); }

bool IsJpegSignature(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return p && size > 1 && p[0] == 0xFF && p[1] == 0xD8;
}
