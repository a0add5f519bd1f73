#include "engine/png_codec.h"

#include "engine/codec_limits.h"

#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <type_traits>

#include <png.h>

// libpng reports fatal errors through an error function that must not return. As with libjpeg,
// it longjmps back into the function that called setjmp; those functions keep only trivially
// destructible locals, and the libpng structures are destroyed by their owner on every path.

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

struct PngState {
    png_structp png;
    png_infop info;
    std::jmp_buf jump;
    char message[256];
    TInputReader* reader;
    std::FILE* out;
    std::vector<std::string>* warnings;
};
static_assert(std::is_trivially_destructible_v<PngState>);

[[noreturn]] void ErrorFn(png_structp png, png_const_charp message) {
    auto* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message);
    std::longjmp(s->jump, 1);
}

void WarningFn(png_structp png, png_const_charp message) {
    auto* s = static_cast<PngState*>(png_get_error_ptr(png));
    if (s->warnings == nullptr) {
        return;
    }
    // Called from inside libpng: nothing may be thrown through it.
    try {
        s->warnings->emplace_back(message);
    } catch (...) {
    }
}

void ReadFn(png_structp png, png_bytep data, std::size_t size) {
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (s->reader->Read(data, size) != size) {
        png_error(png, s->reader->Failed() ? std::strerror(errno) : "Unexpected end of file");
    }
}

void WriteFn(png_structp png, png_bytep data, std::size_t size) {
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, size, s->out) != size) {
        png_error(png, std::strerror(errno));
    }
}

void FlushFn(png_structp) {}

// Reads the header and sets the transformations to 8-bit pixels in TColor32's memory order.
bool ReadHeader(PngState& s) {
    if (setjmp(s.jump)) {
        return false;
    }
    png_set_read_fn(s.png, &s, ReadFn);
    png_read_info(s.png, s.info);
    const int type = png_get_color_type(s.png, s.info);
    const int depth = png_get_bit_depth(s.png, s.info);
    if (depth == 16) {
        png_set_scale_16(s.png); // rounds: (v * 255 + 32767) / 65535
    }
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(s.png);
    }
    if ((type & PNG_COLOR_MASK_COLOR) == 0) {
        if (depth < 8) {
            png_set_expand_gray_1_2_4_to_8(s.png);
        }
        png_set_gray_to_rgb(s.png);
    }
    if (png_get_valid(s.png, s.info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(s.png);
    } else if ((type & PNG_COLOR_MASK_ALPHA) == 0) {
        png_set_filler(s.png, 0xFF, kLittleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
    }
    if (kLittleEndian) {
        png_set_bgr(s.png);
    } else if ((type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(s.png, s.info, PNG_INFO_tRNS)) {
        png_set_swap_alpha(s.png);
    }
    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    return true;
}

// Reads every pass of every row straight into the bitmap, whose size was set from the header;
// libpng places the pixels of each interlace pass into the rows it has already filled.
bool ReadRows(PngState& s, TBitmap32& bitmap, int passes) {
    if (setjmp(s.jump)) {
        return false;
    }
    if (png_get_rowbytes(s.png, s.info) != static_cast<std::size_t>(bitmap.Width()) * 4) {
        std::snprintf(s.message, sizeof s.message, "Unexpected row size");
        return false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < bitmap.Height(); ++y) {
            png_read_row(s.png, reinterpret_cast<png_bytep>(bitmap.Row(y)), nullptr);
        }
    }
    png_read_end(s.png, nullptr);
    return true;
}

int PassesOf(PngState& s) {
    return png_get_interlace_type(s.png, s.info) == PNG_INTERLACE_NONE ? 1
                                                                       : PNG_INTERLACE_ADAM7_PASSES;
}

class ReadGuard {
  public:
    explicit ReadGuard(PngState& s) : s_(s) {}
    ~ReadGuard() { png_destroy_read_struct(&s_.png, &s_.info, nullptr); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

  private:
    PngState& s_;
};

class WriteGuard {
  public:
    explicit WriteGuard(PngState& s) : s_(s) {}
    ~WriteGuard() { png_destroy_write_struct(&s_.png, &s_.info); }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

  private:
    PngState& s_;
};

// grey: one byte per pixel from greyRow (as long as the width), else the pixels themselves.
bool Compress(PngState& s, const TBitmap32& bitmap, unsigned char* greyRow) {
    if (setjmp(s.jump)) {
        return false;
    }
    png_set_write_fn(s.png, &s, WriteFn, FlushFn);
    png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(bitmap.Width()),
                 static_cast<png_uint_32>(bitmap.Height()), 8,
                 greyRow != nullptr ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(s.png, s.info);
    if (greyRow == nullptr) {
        // Red, green and blue straight from the pixels; libpng skips the alpha byte.
        png_set_filler(s.png, 0, kLittleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
        if (kLittleEndian) {
            png_set_bgr(s.png);
        }
    }
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) {
        const TColor32* row = bitmap.Row(y);
        if (greyRow != nullptr) {
            for (int x = 0; x < width; ++x) {
                const TColor32 c = row[x];
                greyRow[x] = static_cast<unsigned char>((RedOf(c) + GreenOf(c) + BlueOf(c)) / 3);
            }
            png_write_row(s.png, greyRow);
        } else {
            // libpng only reads input rows; its interface just lacks const.
            png_write_row(s.png, const_cast<png_bytep>(reinterpret_cast<const png_byte*>(row)));
        }
    }
    png_write_end(s.png, s.info);
    return true;
}

void Encode(const TBitmap32& bitmap, std::FILE* file, const std::string& path, bool grey) {
    if (bitmap.Empty()) {
        throw EPictureError("Cannot write PNG file " + QuotedPath(path) + ": empty picture");
    }
    std::vector<unsigned char> greyRow(grey ? static_cast<std::size_t>(bitmap.Width()) : 0);
    PngState s;
    std::memset(&s, 0, sizeof s);
    s.out = file;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, ErrorFn, WarningFn);
    if (s.png == nullptr || (s.info = png_create_info_struct(s.png)) == nullptr) {
        png_destroy_write_struct(&s.png, nullptr);
        throw EPictureError("Cannot write PNG file " + QuotedPath(path) + ": out of memory");
    }
    WriteGuard guard(s);
    if (!Compress(s, bitmap, grey ? greyRow.data() : nullptr)) {
        throw EPictureError("Cannot write PNG file " + QuotedPath(path) + ": " + s.message);
    }
    if (std::fflush(file) != 0 || std::ferror(file)) {
        throw EPictureError("Cannot write PNG file " + QuotedPath(path) + ": " +
                            std::strerror(errno));
    }
}

} // namespace

bool IsPngSignature(const unsigned char* bytes, std::size_t size) {
    return size >= kPngSignatureSize && png_sig_cmp(bytes, 0, kPngSignatureSize) == 0;
}

void DecodePng(const TPictureInput& input, const std::string& path, TBitmap32& bitmap,
               std::vector<std::string>* warnings) {
    TInputReader reader(input);
    PngState s;
    std::memset(&s, 0, sizeof s);
    s.reader = &reader;
    s.warnings = warnings;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, ErrorFn, WarningFn);
    if (s.png == nullptr || (s.info = png_create_info_struct(s.png)) == nullptr) {
        png_destroy_read_struct(&s.png, nullptr, nullptr);
        throw EPictureError("Cannot decode PNG file " + QuotedPath(path) + ": out of memory");
    }
    ReadGuard guard(s);
    auto fail = [&] {
        throw EPictureError("Cannot decode PNG file " + QuotedPath(path) + ": " + s.message);
    };
    if (!ReadHeader(s)) {
        fail();
    }
    CheckDecodeSize(png_get_image_width(s.png, s.info), png_get_image_height(s.png, s.info), path);
    bitmap.Resize(static_cast<int>(png_get_image_width(s.png, s.info)),
                  static_cast<int>(png_get_image_height(s.png, s.info)));
    if (!ReadRows(s, bitmap, PassesOf(s))) {
        fail();
    }
}

void EncodePng(const TBitmap32& bitmap, std::FILE* file, const std::string& path) {
    Encode(bitmap, file, path, false);
}

void EncodePngGrey(const TBitmap32& bitmap, std::FILE* file, const std::string& path) {
    Encode(bitmap, file, path, true);
}
