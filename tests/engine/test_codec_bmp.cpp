// Reading "BM" bitmap files: the raw 32-bit path, the general decoder, and malformed headers.
#include "engine/bitmap32.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

using namespace codec_test;

// The tables name only the fields a case sets; the others keep their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

struct BmpLayout {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bpp = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks;   // after a 40-byte header, inside larger ones
    std::vector<std::uint32_t> palette; // 0x00RRGGBB
    Bytes pixels;                       // as stored
    std::int64_t offset = -1;           // pixel data offset; -1: right after the palette
    std::uint16_t planes = 1;
};

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Append32(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    Put32(b, b.size() - 4, v);
}

Bytes MakeBmp(const BmpLayout& s) {
    Bytes b(14 + s.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 14, s.headerSize);
    if (s.headerSize == 12) {
        Put16(b, 18, static_cast<std::uint32_t>(s.width));
        Put16(b, 20, static_cast<std::uint32_t>(s.height));
        Put16(b, 22, s.planes);
        Put16(b, 24, s.bpp);
    } else {
        Put32(b, 18, static_cast<std::uint32_t>(s.width));
        Put32(b, 22, static_cast<std::uint32_t>(s.height));
        Put16(b, 26, s.planes);
        Put16(b, 28, s.bpp);
        Put32(b, 30, s.compression);
        Put32(b, 46, static_cast<std::uint32_t>(s.palette.size()));
    }
    for (std::size_t i = 0; i < s.masks.size(); ++i) {
        if (s.headerSize >= 52) {
            Put32(b, 54 + 4 * i, s.masks[i]);
        } else {
            Append32(b, s.masks[i]);
        }
    }
    for (std::uint32_t c : s.palette) {
        if (s.headerSize == 12) {
            b.push_back(static_cast<unsigned char>(c));
            b.push_back(static_cast<unsigned char>(c >> 8));
            b.push_back(static_cast<unsigned char>(c >> 16));
        } else {
            Append32(b, c);
        }
    }
    if (s.offset >= 0) {
        b.resize(static_cast<std::size_t>(s.offset), 0xEE);
    }
    Put32(b, 10, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

// Little-endian 4-byte pixels.
Bytes Pixels32(std::initializer_list<std::uint32_t> values) {
    Bytes b;
    for (std::uint32_t v : values) {
        Append32(b, v);
    }
    return b;
}

struct GoodCase {
    const char* name;
    BmpLayout layout;
    int width;
    int height;
    std::vector<TColor32> expected; // top row first
};

const TColor32 kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
               kBlack = 0xFF000000, kGrey = 0xFF808080;

const GoodCase kGoodCases[] = {
    {"raw32_bottom_up_keeps_alpha",
     {.width = 2,
      .height = 2,
      .bpp = 32,
      .pixels = Pixels32({0x00112233, 0x80445566, 0xFF778899, 0x01AABBCC})},
     2,
     2,
     {0xFF778899, 0x01AABBCC, 0x00112233, 0x80445566}},
    {"raw32_top_down_keeps_alpha",
     {.width = 2,
      .height = -2,
      .bpp = 32,
      .pixels = Pixels32({0x00112233, 0x80445566, 0xFF778899, 0x01AABBCC})},
     2,
     2,
     {0x00112233, 0x80445566, 0xFF778899, 0x01AABBCC}},
    {"raw32_zero_height_is_empty", {.width = 2, .height = 0, .bpp = 32}, 0, 0, {}},
    {"raw32_zero_width_is_empty", {.width = 0, .height = 620757005, .bpp = 32}, 0, 0, {}},
    {"rgb24_zero_width_is_empty", {.width = 0, .height = -620757005, .bpp = 24}, 0, 0, {}},
    {"raw32_v5_header_reads_pixels_at_their_offset",
     {.headerSize = 124,
      .width = 1,
      .height = -2,
      .bpp = 32,
      .pixels = Pixels32({0x7F010203, 0x00040506})},
     1,
     2,
     {0x7F010203, 0x00040506}},
    {"rgb24_bottom_up_padded",
     {.width = 3, .height = 2, .bpp = 24, .pixels = {0,   0,   255, 0, 255, 0, 255,
                                                     0,   0,   0,   0, 0, // bottom: red green blue
                                                     255, 255, 255, 0, 0,   0, 128,
                                                     128, 128, 0,   0, 0}}, // top: white black grey
     3,
     2,
     {kWhite, kBlack, kGrey, kRed, kGreen, kBlue}},
    {"rgb24_top_down",
     {.width = 1, .height = -2, .bpp = 24, .pixels = {0, 0, 255, 0, 0, 255, 0, 0}},
     1,
     2,
     {kRed, kGreen}},
    {"rgb24_core_header",
     {.headerSize = 12, .width = 1, .height = 2, .bpp = 24, .pixels = {0, 0, 255, 0, 0, 255, 0, 0}},
     1,
     2,
     {kGreen, kRed}},
    {"pal8",
     {.width = 3,
      .height = 2,
      .bpp = 8,
      .palette = {0xFF0000, 0x00FF00, 0x0000FF},
      .pixels = {0, 1, 2, 0, 2, 1, 7, 0}}, // index 7 lies beyond the palette
     3,
     2,
     {kBlue, kGreen, kBlack, kRed, kGreen, kBlue}},
    {"pal4",
     {.width = 3,
      .height = 1,
      .bpp = 4,
      .palette = {0xFFFFFF, 0xFF0000},
      .pixels = {0x10, 0x10, 0, 0}},
     3,
     1,
     {kRed, kWhite, kRed}},
    {"pal1",
     {.width = 10,
      .height = 1,
      .bpp = 1,
      .palette = {0x000000, 0xFFFFFF},
      .pixels = {0xA0, 0x40, 0, 0}},
     10,
     1,
     {kWhite, kBlack, kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite}},
    {"rgb555",
     {.width = 2, .height = 1, .bpp = 16, .pixels = {0x00, 0x7C, 0x1F, 0x00}},
     2,
     1,
     {kRed, kBlue}},
    {"bitfields565",
     {.width = 2,
      .height = 1,
      .bpp = 16,
      .compression = 3,
      .masks = {0xF800, 0x07E0, 0x001F},
      .pixels = {0xE0, 0x07, 0x10, 0x84}},
     2,
     1,
     {kGreen, 0xFF848284}},
    {"bitfields32_alpha_kept",
     {.headerSize = 108,
      .width = 2,
      .height = 1,
      .bpp = 32,
      .compression = 3,
      .masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},
      .pixels = Pixels32({0x40302010, 0x00FFFFFF})},
     2,
     1,
     {0x40102030, 0x00FFFFFF}},
    {"bitfields32_without_alpha_is_opaque",
     {.width = 1,
      .height = 1,
      .bpp = 32,
      .compression = 3,
      .masks = {0x3FF00000, 0x000FFC00, 0x000003FF}, // 10 bits a channel
      .pixels = Pixels32({0x3FF003FF})},
     1,
     1,
     {0xFFFF00FF}},
    {"rle8",
     {.width = 4,
      .height = 2,
      .bpp = 8,
      .compression = 1,
      .palette = {0, 0xFF0000, 0x0000FF},
      .pixels = {3, 1, 0, 0, 0, 3, 2, 1, 2, 0, 0, 1}}, // bottom: run; top: absolute, then end
     4,
     2,
     {kBlue, kRed, kBlue, kBlack, kRed, kRed, kRed, kBlack}},
    {"rle4_with_delta",
     {.width = 4,
      .height = 2,
      .bpp = 4,
      .compression = 2,
      .palette = {0, 0xFF0000, 0x00FF00},
      .pixels = {0, 2, 1, 1, 3, 0x12, 0, 1}}, // move to (1, 1), then red green red
     4,
     2,
     {kBlack, kRed, kGreen, kRed, kBlack, kBlack, kBlack, kBlack}},
};

class BmpReadTest : public TempDirTest, public ::testing::WithParamInterface<GoodCase> {};

TEST_P(BmpReadTest, DecodesEveryPixel) {
    const GoodCase& c = GetParam();
    const std::string path = Path("picture.bmp");
    Bytes bytes = MakeBmp(c.layout);
    bytes.resize(std::max<std::size_t>(bytes.size(), 54), 0); // tiny files still hold a header
    WriteBytes(path, bytes);
    TBitmap32 b;
    b.Resize(7, 7);
    ASSERT_NO_THROW(b.ReadPictureFile(path));
    ASSERT_EQ(b.Width(), c.width);
    ASSERT_EQ(b.Height(), c.height);
    std::vector<TColor32> got;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            got.push_back(b.PixelAt(x, y));
        }
    }
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpReadTest, ::testing::ValuesIn(kGoodCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
    const char* name;
    Bytes bytes;
    const char* message;
};

Bytes Truncated(Bytes b, std::size_t drop) {
    b.resize(b.size() - drop);
    return b;
}

const BadCase kBadCases[] = {
    {"raw32_pixels_missing",
     Truncated(MakeBmp({.width = 10, .height = 10, .bpp = 32, .pixels = Bytes(400)}), 4),
     "truncated"},
    {"raw32_announces_more_than_the_file", MakeBmp({.width = 3000, .height = 3000, .bpp = 32}),
     "truncated"},
    {"raw32_negative_width", MakeBmp({.width = -5, .height = 1, .bpp = 32, .pixels = Bytes(20)}),
     "invalid width"},
    {"raw32_int_min_height",
     MakeBmp({.width = 1, .height = INT_MIN, .bpp = 32, .pixels = Bytes(8)}), "invalid height"},
    {"raw32_huge", MakeBmp({.width = 60000, .height = 60000, .bpp = 32}), "too large"},
    {"rgb24_huge", MakeBmp({.width = 100000, .height = -100000, .bpp = 24}), "too large"},
    {"rgb24_int_max", MakeBmp({.width = INT_MAX, .height = INT_MAX, .bpp = 24}), "too large"},
    {"rgb24_truncated",
     Truncated(MakeBmp({.width = 3, .height = 2, .bpp = 24, .pixels = Bytes(24)}), 13),
     "truncated"},
    {"rgb24_negative_width", MakeBmp({.width = -3, .height = 2, .bpp = 24, .pixels = Bytes(24)}),
     "invalid width"},
    {"rgb24_int_min_height",
     MakeBmp({.width = 3, .height = INT_MIN, .bpp = 24, .pixels = Bytes(24)}), "invalid height"},
    {"unknown_header_size", MakeBmp({.headerSize = 99999, .width = 1, .height = 1}),
     "unsupported header size"},
    {"two_bits_per_pixel", MakeBmp({.width = 1, .height = 1, .bpp = 2, .pixels = Bytes(4)}),
     "unsupported format"},
    {"rle4_with_8_bits",
     MakeBmp({.width = 1, .height = 1, .bpp = 8, .compression = 2, .pixels = Bytes(4)}),
     "unsupported format"},
    {"rle8_top_down",
     MakeBmp(
         {.width = 1, .height = -1, .bpp = 8, .compression = 1, .palette = {0}, .pixels = {0, 1}}),
     "top row first"},
    {"scattered_mask",
     MakeBmp({.width = 1,
              .height = 1,
              .bpp = 16,
              .compression = 3,
              .masks = {0x8001, 0x00F0, 0x0F00},
              .pixels = Bytes(4)}),
     "invalid colour masks"},
    {"masks_cut_off",
     Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1,
           0,   16,  0, 3, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
     "masks are truncated"},
};

class BmpBadTest : public TempDirTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BmpBadTest, RaisesPictureErrorNamingTheFile) {
    const BadCase& c = GetParam();
    const std::string path = Path("bad.bmp");
    Bytes bytes = c.bytes;
    bytes.resize(std::max<std::size_t>(bytes.size(), 54), 0);
    WriteBytes(path, bytes);
    TBitmap32 b;
    try {
        b.ReadPictureFile(path);
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_NE(text.find(path), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpBadTest, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
