#include "engine/bmp_codec.h"

#include "engine/codec_limits.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/stat.h>

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

std::uint32_t U16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t U32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const unsigned char* p) {
    return static_cast<std::int32_t>(U32(p));
}

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw EPictureError("Cannot read bitmap file " + QuotedPath(path) + ": " + why);
}

long long FileSize(std::FILE* file) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    return st.st_size;
}

// Reads exactly n bytes at offset; false when the file ends first.
bool ReadAt(std::FILE* file, long long offset, void* buffer, std::size_t n) {
    if (n == 0) {
        return true;
    }
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(buffer, 1, n, file) == n;
}

// The stored bytes are TColor32 values in little-endian order.
void StoredToNative(TColor32* row, int count) {
    if constexpr (std::endian::native != std::endian::little) {
        for (int i = 0; i < count; ++i) {
            const auto* b = reinterpret_cast<const unsigned char*>(row + i);
            row[i] = U32(b);
        }
    }
}

// 32 bpp, 1 plane, no compression: rows of 4-byte pixels from byte 54, alpha kept as stored.
void DecodeRaw32(std::FILE* file, long long fileSize, long long width, long long height,
                 bool topDown, const std::string& path, TBitmap32& bitmap) {
    CheckDecodeSize(width, height, path);
    // No pixels: the empty picture, whatever the other dimension claims.
    if (width == 0 || height == 0) {
        bitmap.Resize(0, 0);
        return;
    }
    const long long bytes = width * height * 4;
    if (fileSize < static_cast<long long>(kBmpHeaderSize) + bytes) {
        Fail(path, "the pixel data is truncated");
    }
    bitmap.Resize(static_cast<int>(width), static_cast<int>(height));
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    if (fseeko(file, static_cast<off_t>(kBmpHeaderSize), SEEK_SET) != 0) {
        Fail(path, "cannot seek");
    }
    if (topDown) {
        if (bytes != 0 && std::fread(bitmap.Bits(), 4, static_cast<std::size_t>(width) * h, file) !=
                              static_cast<std::size_t>(width) * h) {
            Fail(path, "the pixel data is truncated");
        }
        for (int y = 0; y < h; ++y) {
            StoredToNative(bitmap.Row(y), w);
        }
        return;
    }
    for (int y = h - 1; y >= 0; --y) {
        if (std::fread(bitmap.Row(y), 4, static_cast<std::size_t>(w), file) !=
            static_cast<std::size_t>(w)) {
            Fail(path, "the pixel data is truncated");
        }
        StoredToNative(bitmap.Row(y), w);
    }
}

// One colour channel of a bit-field pixel: mask position and an 8-bit lookup for its values.
struct Channel {
    int shift = 0;
    int bits = 0;
    std::uint32_t mask = 0;
    std::vector<std::uint8_t> scale;

    bool Set(std::uint32_t m) {
        mask = m;
        if (m == 0) {
            return true;
        }
        shift = std::countr_zero(m);
        const std::uint32_t field = m >> shift;
        if ((field & (field + 1)) != 0) {
            return false; // not one run of bits
        }
        bits = std::popcount(field);
        // Wider fields keep their top 8 bits; narrower ones stretch to 0..255.
        if (bits > 8) {
            shift += bits - 8;
            bits = 8;
        }
        const std::uint32_t top = (1u << bits) - 1;
        scale.resize(top + 1);
        for (std::uint32_t v = 0; v <= top; ++v) {
            scale[v] = static_cast<std::uint8_t>((v * 255 + top / 2) / top);
        }
        return true;
    }
    std::uint32_t Of(std::uint32_t v) const {
        return mask == 0 ? 0 : scale[(v & mask) >> shift & ((1u << bits) - 1)];
    }
};

struct BmpFormat {
    long long width = 0;
    long long height = 0;
    bool topDown = false;
    std::uint32_t bpp = 0;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 0;
    long long dataOffset = 0;
    std::vector<TColor32> palette;
    Channel red, green, blue, alpha;
};

void ReadFormat(std::FILE* file, long long fileSize, const unsigned char* header,
                const std::string& path, BmpFormat& f) {
    f.headerSize = U32(header + 14);
    const std::uint32_t hsz = f.headerSize;
    std::uint32_t colorsUsed = 0;
    int entrySize = 4;
    if (hsz == 12) {
        f.width = U16(header + 18);
        f.height = U16(header + 20);
        f.bpp = U16(header + 24);
        entrySize = 3;
    } else if (hsz >= 16 && hsz <= 4096) {
        f.width = I32(header + 18);
        const std::int32_t h = I32(header + 22);
        if (h == INT32_MIN) {
            Fail(path, "invalid height");
        }
        f.height = h < 0 ? -static_cast<long long>(h) : h;
        f.topDown = h < 0;
        f.bpp = U16(header + 28);
        f.compression = hsz >= 20 ? U32(header + 30) : kBiRgb;
        colorsUsed = hsz >= 36 ? U32(header + 46) : 0;
        // The older 16- and 64-byte headers use other codes above RLE4 (Huffman, RLE24).
        if ((hsz == 16 || hsz == 64) && f.compression > kBiRle4) {
            Fail(path, "unsupported compression");
        }
    } else {
        Fail(path, "unsupported header size " + std::to_string(hsz));
    }
    if (f.width < 0) {
        Fail(path, "invalid width");
    }

    long long headerEnd = 14 + static_cast<long long>(hsz);
    const bool bitfields = f.compression == kBiBitfields || f.compression == kBiAlphaBitfields;
    const bool ok =
        (f.compression == kBiRgb &&
         (f.bpp == 1 || f.bpp == 4 || f.bpp == 8 || f.bpp == 16 || f.bpp == 24 || f.bpp == 32)) ||
        (f.compression == kBiRle8 && f.bpp == 8) || (f.compression == kBiRle4 && f.bpp == 4) ||
        (bitfields && (f.bpp == 16 || f.bpp == 32));
    if (!ok) {
        Fail(path, "unsupported format (" + std::to_string(f.bpp) +
                       " bits per pixel, compression " + std::to_string(f.compression) + ")");
    }
    if ((f.compression == kBiRle8 || f.compression == kBiRle4) && f.topDown) {
        Fail(path, "compressed bitmaps cannot be stored top row first");
    }

    if (bitfields) {
        // Masks follow a 40-byte header, or sit inside the larger ones.
        const bool withAlpha = f.compression == kBiAlphaBitfields || hsz >= 56;
        unsigned char masks[16] = {};
        if (!ReadAt(file, 54, masks, withAlpha ? 16 : 12)) {
            Fail(path, "the colour masks are truncated");
        }
        if (hsz < 52) {
            headerEnd = std::max(headerEnd, 54LL + (withAlpha ? 16 : 12));
        }
        if (!f.red.Set(U32(masks)) || !f.green.Set(U32(masks + 4)) || !f.blue.Set(U32(masks + 8)) ||
            !f.alpha.Set(withAlpha ? U32(masks + 12) : 0)) {
            Fail(path, "invalid colour masks");
        }
    } else if (f.bpp == 16) {
        f.red.Set(0x7C00);
        f.green.Set(0x03E0);
        f.blue.Set(0x001F);
    } else if (f.bpp == 32) {
        f.red.Set(0x00FF0000);
        f.green.Set(0x0000FF00);
        f.blue.Set(0x000000FF);
        f.alpha.Set(0xFF000000);
    }

    f.dataOffset = U32(header + 10);
    if (f.bpp <= 8) {
        long long count = 1LL << f.bpp;
        if (colorsUsed != 0 && colorsUsed < count) {
            count = colorsUsed;
        }
        // Some writers leave fewer entries than announced; take what lies before the pixels.
        if (f.dataOffset > headerEnd) {
            count = std::min(count, (f.dataOffset - headerEnd) / entrySize);
        }
        count = std::min(count, std::max(0LL, (fileSize - headerEnd) / entrySize));
        std::vector<unsigned char> raw(static_cast<std::size_t>(count * entrySize));
        if (!ReadAt(file, headerEnd, raw.data(), raw.size())) {
            Fail(path, "the palette is truncated");
        }
        // Indexes beyond the palette show black.
        f.palette.assign(256, kMaskBlack);
        for (long long i = 0; i < count; ++i) {
            const unsigned char* e = raw.data() + i * entrySize;
            f.palette[static_cast<std::size_t>(i)] =
                0xFF000000u | (TColor32{e[2]} << 16) | (TColor32{e[1]} << 8) | e[0];
        }
        headerEnd += count * entrySize;
    }
    // A missing or impossible offset means the pixels follow the header and palette.
    if (f.dataOffset < headerEnd) {
        f.dataOffset = headerEnd;
    }
}

void DecodeRows(std::FILE* file, long long fileSize, const BmpFormat& f, const std::string& path,
                TBitmap32& bitmap) {
    const long long w = f.width;
    const long long h = f.height;
    const long long stride = (w * f.bpp + 31) / 32 * 4;
    const long long lastRow = (w * f.bpp + 7) / 8;
    if (h > 0 && f.dataOffset + stride * (h - 1) + lastRow > fileSize) {
        Fail(path, "the pixel data is truncated");
    }
    bitmap.Resize(static_cast<int>(w), static_cast<int>(h));
    if (w == 0 || h == 0) {
        return;
    }
    std::vector<unsigned char> line(static_cast<std::size_t>(stride));
    if (fseeko(file, static_cast<off_t>(f.dataOffset), SEEK_SET) != 0) {
        Fail(path, "cannot seek");
    }
    const int width = static_cast<int>(w);
    for (long long i = 0; i < h; ++i) {
        const std::size_t want = static_cast<std::size_t>(i + 1 < h ? stride : lastRow);
        if (std::fread(line.data(), 1, want, file) != want) {
            Fail(path, "the pixel data is truncated");
        }
        TColor32* out = bitmap.Row(static_cast<int>(f.topDown ? i : h - 1 - i));
        const unsigned char* in = line.data();
        switch (f.bpp) {
        case 1:
        case 4:
        case 8: {
            const int perByte = 8 / static_cast<int>(f.bpp);
            const unsigned mask = (1u << f.bpp) - 1;
            for (int x = 0; x < width; ++x) {
                const int shift = 8 - static_cast<int>(f.bpp) * (x % perByte + 1);
                out[x] = f.palette[(in[x / perByte] >> shift) & mask];
            }
            break;
        }
        case 24:
            for (int x = 0; x < width; ++x, in += 3) {
                out[x] = 0xFF000000u | (TColor32{in[2]} << 16) | (TColor32{in[1]} << 8) | in[0];
            }
            break;
        case 16:
        case 32:
            for (int x = 0; x < width; ++x) {
                const std::uint32_t v = f.bpp == 16 ? U16(in + 2 * x) : U32(in + 4 * x);
                const std::uint32_t a = f.bpp == 32 && f.alpha.mask != 0 ? f.alpha.Of(v) : 255;
                out[x] = (a << 24) | (f.red.Of(v) << 16) | (f.green.Of(v) << 8) | f.blue.Of(v);
            }
            break;
        }
    }
}

// RLE8/RLE4, bottom row first. Pixels the stream skips stay opaque black.
void DecodeRle(std::FILE* file, long long fileSize, const BmpFormat& f, const std::string& path,
               TBitmap32& bitmap) {
    const long long w = f.width;
    const long long h = f.height;
    bitmap.Resize(static_cast<int>(w), static_cast<int>(h));
    std::fill_n(bitmap.Bits(), static_cast<std::size_t>(w * h), kMaskBlack);
    // The longest sensible stream codes every pixel on its own plus an end of line per row.
    const long long limit = 2 * w * h + 4 * h + 16;
    const long long size = std::min(fileSize - f.dataOffset, limit);
    if (size <= 0) {
        Fail(path, "the pixel data is missing");
    }
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    if (!ReadAt(file, f.dataOffset, data.data(), data.size())) {
        Fail(path, "cannot read the pixel data");
    }
    const bool four = f.compression == kBiRle4;
    long long x = 0;
    long long y = 0;
    std::size_t pos = 0;
    auto put = [&](unsigned index) {
        if (x < w && y < h) {
            bitmap.SetPixelAt(static_cast<int>(x), static_cast<int>(h - 1 - y),
                              f.palette[index & 255]);
        }
        ++x;
    };
    while (pos + 1 < data.size() && y < h) {
        const unsigned count = data[pos];
        const unsigned code = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) {
                put(four ? (i % 2 == 0 ? code >> 4 : code & 15) : code);
            }
        } else if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (pos + 1 >= data.size()) {
                break;
            }
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
        } else {
            const std::size_t bytes = four ? (code + 1) / 2 : code;
            if (pos + bytes > data.size()) {
                break;
            }
            for (unsigned i = 0; i < code; ++i) {
                put(four ? (i % 2 == 0 ? data[pos + i / 2] >> 4 : data[pos + i / 2] & 15)
                         : data[pos + i]);
            }
            pos += (bytes + 1) & ~std::size_t{1};
        }
    }
}

} // namespace

void DecodeBmp(std::FILE* file, const unsigned char (&header)[kBmpHeaderSize],
               const std::string& path, TBitmap32& bitmap) {
    const long long fileSize = FileSize(file);
    if (fileSize < static_cast<long long>(kBmpHeaderSize)) {
        Fail(path, "not a regular file");
    }
    const std::uint32_t headerSize = U32(header + 14);
    const std::uint32_t planes = U16(header + 26);
    const std::uint32_t bpp = U16(header + 28);
    const std::uint32_t compression = U32(header + 30);
    const std::uint32_t dataOffset = U32(header + 10);
    // The raw path needs the classic layout with the pixels right after it. Larger headers
    // (their pixels start later) go through the general decoder, which reads them from there.
    if (headerSize >= 16 && headerSize != 12 && planes == 1 && bpp == 32 && compression == kBiRgb &&
        dataOffset <= kBmpHeaderSize) {
        const std::int32_t width = I32(header + 18);
        const std::int32_t height = I32(header + 22);
        if (width < 0) {
            Fail(path, "invalid width");
        }
        if (height == INT32_MIN) {
            Fail(path, "invalid height");
        }
        DecodeRaw32(file, fileSize, width, height < 0 ? -static_cast<long long>(height) : height,
                    height <= 0, path, bitmap);
        return;
    }
    BmpFormat format;
    ReadFormat(file, fileSize, header, path, format);
    CheckDecodeSize(format.width, format.height, path);
    if (format.width == 0 || format.height == 0) {
        bitmap.Resize(0, 0);
        return;
    }
    if (format.compression == kBiRle8 || format.compression == kBiRle4) {
        DecodeRle(file, fileSize, format, path, bitmap);
    } else {
        DecodeRows(file, fileSize, format, path, bitmap);
    }
}
