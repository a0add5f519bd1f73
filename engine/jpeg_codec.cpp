#include "engine/jpeg_codec.h"

#include "engine/codec_limits.h"

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include <jerror.h>
#include <jpeglib.h>

// libjpeg reports fatal errors through error_exit, which must not return. We longjmp back into
// the function that called setjmp; those functions keep only trivially destructible locals, and
// every libjpeg object is destroyed by its owner on every path.

namespace {

constexpr int kQuantizedColors = 236;
constexpr int kEncodeQuality = 90;
// A real progressive file has about ten scans; thousands of tiny ones only burn time.
constexpr int kMaxScans = 1000;

#if !defined(JCS_EXTENSIONS) || !defined(JCS_ALPHA_EXTENSIONS)
#error "libjpeg with the extended colour spaces (libjpeg-turbo) is required"
#endif

// TColor32 in memory: B, G, R, A on little-endian machines, A, R, G, B on big-endian ones.
constexpr J_COLOR_SPACE kPixelColorSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
constexpr J_COLOR_SPACE kPixelColorSpaceNoAlpha =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt or truncated data) are counted, never printed; trace messages dropped.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        cinfo->err->num_warnings++;
    }
}

void OutputMessage(j_common_ptr) {}

void SetUpErrors(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.message[0] = '\0';
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
};
static_assert(std::is_trivially_destructible_v<Decoder>);

void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "Too many scans (more than %d)",
                      kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

// Reads the header and sets the decompression parameters. False on a fatal error.
bool ReadHeader(Decoder& d, std::FILE* file, bool quantize) {
    if (setjmp(d.err.jump)) {
        return false;
    }
    jpeg_create_decompress(&d.cinfo);
    d.progress.progress_monitor = LimitScans;
    d.cinfo.progress = &d.progress;
    jpeg_stdio_src(&d.cinfo, file);
    jpeg_read_header(&d.cinfo, TRUE);

    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = 1;
    d.cinfo.dct_method = JDCT_ISLOW;
    d.cinfo.do_block_smoothing = TRUE;
    d.cinfo.do_fancy_upsampling = TRUE;
    if (d.cinfo.num_components == 1 || quantize) {
        // Greyscale stays one component; colour is quantised in RGB.
        if (d.cinfo.out_color_space != JCS_GRAYSCALE) {
            d.cinfo.out_color_space = JCS_RGB;
        }
        d.cinfo.quantize_colors = TRUE;
        d.cinfo.desired_number_of_colors = kQuantizedColors;
        d.cinfo.two_pass_quantize = FALSE;
        d.cinfo.dither_mode = JDITHER_FS;
    } else {
        d.cinfo.out_color_space = kPixelColorSpace;
    }
    return true;
}

// Decodes every row straight into the bitmap, whose size was set from the header.
bool DecodeRows(Decoder& d, TBitmap32& bitmap) {
    if (setjmp(d.err.jump)) {
        return false;
    }
    jpeg_start_decompress(&d.cinfo);
    if (d.cinfo.output_width != static_cast<JDIMENSION>(bitmap.Width()) ||
        d.cinfo.output_height != static_cast<JDIMENSION>(bitmap.Height())) {
        std::snprintf(d.err.message, sizeof d.err.message, "Unexpected output size");
        return false;
    }
    const int height = bitmap.Height();
    if (!d.cinfo.quantize_colors) {
        while (d.cinfo.output_scanline < d.cinfo.output_height) {
            JSAMPROW rows[16];
            const int first = static_cast<int>(d.cinfo.output_scanline);
            int count = 0;
            for (; count < 16 && first + count < height; ++count) {
                rows[count] = reinterpret_cast<JSAMPROW>(bitmap.Row(first + count));
            }
            jpeg_read_scanlines(&d.cinfo, rows, count);
        }
    } else {
        // One palette index per pixel; freed with the decompressor.
        JSAMPARRAY line = (*d.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.cinfo),
                                                       JPOOL_IMAGE, d.cinfo.output_width, 1);
        TColor32 palette[256];
        const bool grey = d.cinfo.out_color_components == 1;
        for (int i = 0; i < 256; ++i) {
            if (i >= d.cinfo.actual_number_of_colors) {
                palette[i] = kMaskBlack;
            } else if (grey) {
                palette[i] = GreyColor(d.cinfo.colormap[0][i], 255);
            } else {
                palette[i] = 0xFF000000u | (TColor32{d.cinfo.colormap[0][i]} << 16) |
                             (TColor32{d.cinfo.colormap[1][i]} << 8) | d.cinfo.colormap[2][i];
            }
        }
        const int width = bitmap.Width();
        while (d.cinfo.output_scanline < d.cinfo.output_height) {
            TColor32* out = bitmap.Row(static_cast<int>(d.cinfo.output_scanline));
            jpeg_read_scanlines(&d.cinfo, line, 1);
            const JSAMPLE* in = line[0];
            for (int x = 0; x < width; ++x) {
                out[x] = palette[in[x]];
            }
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

class DecoderGuard {
  public:
    explicit DecoderGuard(Decoder& d) : d_(d) {}
    ~DecoderGuard() { jpeg_destroy_decompress(&d_.cinfo); }
    DecoderGuard(const DecoderGuard&) = delete;
    DecoderGuard& operator=(const DecoderGuard&) = delete;

  private:
    Decoder& d_;
};

struct Encoder {
    jpeg_compress_struct cinfo;
    ErrorManager err;
};
static_assert(std::is_trivially_destructible_v<Encoder>);

bool Compress(Encoder& e, const TBitmap32& bitmap, std::FILE* file) {
    if (setjmp(e.err.jump)) {
        return false;
    }
    jpeg_create_compress(&e.cinfo);
    jpeg_stdio_dest(&e.cinfo, file);
    e.cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    e.cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    // Red, green and blue straight from the pixels; the alpha byte is skipped.
    e.cinfo.input_components = 4;
    e.cinfo.in_color_space = kPixelColorSpaceNoAlpha;
    jpeg_set_defaults(&e.cinfo);
    jpeg_set_quality(&e.cinfo, kEncodeQuality, TRUE);
    jpeg_start_compress(&e.cinfo, TRUE);
    const int height = bitmap.Height();
    while (e.cinfo.next_scanline < e.cinfo.image_height) {
        JSAMPROW rows[16];
        const int first = static_cast<int>(e.cinfo.next_scanline);
        int count = 0;
        for (; count < 16 && first + count < height; ++count) {
            // libjpeg only reads input rows; its interface just lacks const.
            rows[count] =
                const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(bitmap.Row(first + count)));
        }
        jpeg_write_scanlines(&e.cinfo, rows, count);
    }
    jpeg_finish_compress(&e.cinfo);
    return true;
}

} // namespace

void DecodeJpeg(std::FILE* file, const std::string& path, bool quantize, TBitmap32& bitmap) {
    Decoder d;
    std::memset(&d, 0, sizeof d);
    d.cinfo.err = &d.err.pub;
    SetUpErrors(d.err);
    DecoderGuard guard(d);
    auto fail = [&] {
        throw EPictureError("Cannot decode JPEG file " + QuotedPath(path) + ": " + d.err.message);
    };
    if (!ReadHeader(d, file, quantize)) {
        fail();
    }
    CheckDecodeSize(d.cinfo.image_width, d.cinfo.image_height, path);
    bitmap.Resize(static_cast<int>(d.cinfo.image_width), static_cast<int>(d.cinfo.image_height));
    if (!DecodeRows(d, bitmap)) {
        fail();
    }
}

void EncodeJpeg(const TBitmap32& bitmap, std::FILE* file, const std::string& path) {
    Encoder e;
    std::memset(&e, 0, sizeof e);
    e.cinfo.err = &e.err.pub;
    SetUpErrors(e.err);
    const bool ok = Compress(e, bitmap, file);
    jpeg_destroy_compress(&e.cinfo);
    if (!ok) {
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path) + ": " + e.err.message);
    }
    if (std::fflush(file) != 0 || std::ferror(file)) {
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path) + ": " +
                            std::strerror(errno));
    }
}
