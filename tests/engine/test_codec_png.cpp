// PNG reading checked against files ImageMagick writes (every colour type, bit depths 1 to 16,
// interlaced, palettes with transparency) and its own reading of them; writing; damaged files.
#include "engine/png_codec.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace codec_test;

namespace {

// A P7 file of depth channels with the given maximum sample value.
void WritePam(const std::string& path, int w, int h, int depth, int maxval,
              const std::vector<std::uint16_t>& samples) {
    static const char* const kTypes[] = {"", "GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
    const std::string head = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                             "\nDEPTH " + std::to_string(depth) + "\nMAXVAL " +
                             std::to_string(maxval) + "\nTUPLTYPE " + kTypes[depth] + "\nENDHDR\n";
    Bytes out(head.begin(), head.end());
    for (const std::uint16_t v : samples) {
        if (maxval > 255) {
            out.push_back(static_cast<unsigned char>(v >> 8));
        }
        out.push_back(static_cast<unsigned char>(v));
    }
    WriteBytes(path, out);
}

// Reads the RGB_ALPHA P7 file that "convert -type TrueColorAlpha -depth 8" writes.
bool ReadPamRgba(const std::string& path, TBitmap32& b) {
    const Bytes data = ReadBytes(path);
    const std::string text(data.begin(), data.end());
    const std::size_t end = text.find("ENDHDR\n");
    int w = 0, h = 0;
    if (end == std::string::npos ||
        std::sscanf(text.c_str(), "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255", &w, &h) != 2 ||
        data.size() - (end + 7) != static_cast<std::size_t>(w) * h * 4) {
        return false;
    }
    b.Resize(w, h);
    const unsigned char* p = data.data() + end + 7;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, p += 4) {
            b.SetPixelAt(x, y,
                         (TColor32{p[3]} << 24) | (TColor32{p[0]} << 16) | (TColor32{p[1]} << 8) |
                             p[2]);
        }
    }
    return true;
}

std::uint32_t To8(std::uint32_t v, int maxval) {
    return maxval == 255 ? v : (v * 255 + 32767) / 65535;
}

// The pixels a file of these samples must decode to: grey replicated, alpha 255 if absent.
TBitmap32 ExpectedPixels(int w, int h, int depth, int maxval, const std::vector<std::uint16_t>& s) {
    TBitmap32 b;
    b.Resize(w, h);
    for (int i = 0; i < w * h; ++i) {
        const std::uint16_t* p = &s[static_cast<std::size_t>(i) * depth];
        const bool colour = depth >= 3;
        const std::uint32_t r = To8(p[0], maxval);
        const std::uint32_t g = To8(colour ? p[1] : p[0], maxval);
        const std::uint32_t bl = To8(colour ? p[2] : p[0], maxval);
        const std::uint32_t a = depth % 2 == 0 ? To8(p[depth - 1], maxval) : 255;
        b.SetPixelAt(i % w, i / w, (a << 24) | (r << 16) | (g << 8) | bl);
    }
    return b;
}

struct PngCase {
    const char* name;
    int depth;  // samples per pixel of the source: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
    int maxval; // 255 or 65535
    int levels; // distinct values per sample (few for palettes and low bit depths)
    const char* convertOptions;
    int ihdrBitDepth, ihdrColourType, ihdrInterlace;
    bool exact; // the file holds the source samples; else ImageMagick's reading is the reference
};

const PngCase kPngCases[] = {
    {"grey1", 1, 255, 2, "-define png:color-type=0 -define png:bit-depth=1", 1, 0, 0, true},
    {"grey4", 1, 255, 16, "-define png:color-type=0 -define png:bit-depth=4", 4, 0, 0, true},
    {"grey8", 1, 255, 256, "-define png:color-type=0 -define png:bit-depth=8", 8, 0, 0, true},
    {"grey16", 1, 65535, 65536, "-define png:color-type=0 -depth 16", 16, 0, 0, true},
    {"grey_alpha8", 2, 255, 256, "-define png:color-type=4 -depth 8", 8, 4, 0, true},
    {"grey_alpha16", 2, 65535, 65536, "-define png:color-type=4 -depth 16", 16, 4, 0, true},
    {"rgb8", 3, 255, 256, "PNG24:", 8, 2, 0, true},
    {"rgb16", 3, 65535, 65536, "-depth 16 PNG48:", 16, 2, 0, true},
    {"rgba8", 4, 255, 256, "PNG32:", 8, 6, 0, true},
    {"rgba16", 4, 65535, 65536, "-depth 16 PNG64:", 16, 6, 0, true},
    {"palette", 3, 255, 3, "PNG8:", 8, 3, 0, true},
    // PNG8 keeps only on-off transparency, written as a tRNS chunk.
    {"palette_trns", 4, 255, 3, "PNG8:", 8, 3, 0, false},
    {"grey4_interlaced", 1, 255, 16,
     "-interlace PNG -define png:color-type=0 -define png:bit-depth=4", 4, 0, 1, true},
    {"rgb8_interlaced", 3, 255, 256, "-interlace PNG PNG24:", 8, 2, 1, true},
    {"rgba16_interlaced", 4, 65535, 65536, "-interlace PNG -depth 16 PNG64:", 16, 6, 1, true},
    {"palette_trns_interlaced", 4, 255, 3, "-interlace PNG PNG8:", 8, 3, 1, false},
};

class PngReadTest : public TempDirTest, public ::testing::WithParamInterface<PngCase> {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(RunCommand("command -v convert >/dev/null")) << "ImageMagick is needed";
    }
};

TEST_P(PngReadTest, ReadsWhatImageMagickWrites) {
    const PngCase& c = GetParam();
    // Odd sizes leave partial blocks in every interlace pass.
    const int w = 37, h = 23;
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * h * c.depth);
    std::uint32_t seed = 99;
    for (auto& v : samples) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint32_t level = (seed >> 8) % static_cast<std::uint32_t>(c.levels);
        v = static_cast<std::uint16_t>(level * c.maxval / (c.levels - 1));
    }
    if (c.depth % 2 == 0 && c.levels <= 3) {
        // Palette cases: whole pixels repeat, so the colours stay few.
        for (int i = 0; i < w * h; ++i) {
            for (int k = 0; k < c.depth; ++k) {
                samples[static_cast<std::size_t>(i) * c.depth + k] =
                    samples[static_cast<std::size_t>(i % 5) * c.depth + k];
            }
        }
    }
    const std::string pam = Path("source.pam");
    const std::string png = Path(std::string(c.name) + ".png");
    WritePam(pam, w, h, c.depth, c.maxval, samples);
    // Options end in a format prefix ("PNG24:") or stand apart from the file name.
    const std::string options = c.convertOptions;
    const std::string glue = options.back() == ':' ? "" : " ";
    ASSERT_TRUE(RunCommand("convert '" + pam + "' " + options + glue + "'" + png + "'"));
    const Bytes file = ReadBytes(png);
    ASSERT_GT(file.size(), 33u);
    EXPECT_EQ(file[24], c.ihdrBitDepth);
    EXPECT_EQ(file[25], c.ihdrColourType);
    EXPECT_EQ(file[28], c.ihdrInterlace);

    TBitmap32 expected;
    if (c.exact) {
        expected = ExpectedPixels(w, h, c.depth, c.maxval, samples);
    } else {
        const std::string ref = Path("reference.pam");
        ASSERT_TRUE(
            RunCommand("convert '" + png + "' -type TrueColorAlpha -depth 8 'PAM:" + ref + "'"));
        ASSERT_TRUE(ReadPamRgba(ref, expected));
        EXPECT_NE(std::string(file.begin(), file.end()).find("tRNS"), std::string::npos);
    }
    std::FILE* f = std::fopen(png.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    TBitmap32 decoded;
    DecodePng({f}, png, decoded);
    std::fclose(f);
    EXPECT_EQ(DifferentPixels(decoded, expected), 0);
}

INSTANTIATE_TEST_SUITE_P(Png, PngReadTest, ::testing::ValuesIn(kPngCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every 16-bit value once: rounding, not truncation, to 8 bits.
TEST_F(PngReadTest, SixteenBitSamplesAreRoundedToEightBits) {
    std::vector<std::uint16_t> samples(65536);
    for (std::size_t v = 0; v < samples.size(); ++v) {
        samples[v] = static_cast<std::uint16_t>(v);
    }
    const std::string pam = Path("all.pam");
    const std::string png = Path("all.png");
    WritePam(pam, 256, 256, 1, 65535, samples);
    ASSERT_TRUE(
        RunCommand("convert '" + pam + "' -define png:color-type=0 -depth 16 '" + png + "'"));
    std::FILE* f = std::fopen(png.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    TBitmap32 decoded;
    DecodePng({f}, png, decoded);
    std::fclose(f);
    ASSERT_EQ(decoded.Width(), 256);
    long long wrong = 0;
    for (std::uint32_t v = 0; v < 65536; ++v) {
        wrong += decoded.PixelAt(v % 256, v / 256) != GreyColor((v * 255 + 32767) / 65535, 255);
    }
    EXPECT_EQ(wrong, 0);
}

class PngTest : public TempDirTest {
  protected:
    // An RGBA 8-bit PNG of the test picture (with alpha), made by ImageMagick.
    std::string MakePng(int w = 45, int h = 31) {
        const TBitmap32 b = TestPicture(w, h, true);
        std::vector<std::uint16_t> s;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const TColor32 c = b.PixelAt(x, y);
                s.insert(s.end(), {static_cast<std::uint16_t>(RedOf(c)),
                                   static_cast<std::uint16_t>(GreenOf(c)),
                                   static_cast<std::uint16_t>(BlueOf(c)),
                                   static_cast<std::uint16_t>(c >> 24)});
            }
        }
        WritePam(Path("rgba.pam"), w, h, 4, 255, s);
        EXPECT_TRUE(
            RunCommand("convert '" + Path("rgba.pam") + "' PNG32:'" + Path("rgba.png") + "'"));
        return Path("rgba.png");
    }

    TBitmap32 Decode(const std::string& path) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        TBitmap32 b;
        if (f != nullptr) {
            try {
                DecodePng({f}, path, b);
            } catch (...) {
                std::fclose(f);
                throw;
            }
            std::fclose(f);
        }
        return b;
    }

    void Encode(const TBitmap32& b, const std::string& path, bool grey) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        grey ? EncodePngGrey(b, f, path) : EncodePng(b, f, path);
        std::fclose(f);
    }
};

TEST_F(PngTest, ReadsFromAPipeAndAfterBytesAlreadyRead) {
    const std::string png = MakePng();
    const TBitmap32 expected = Decode(png);
    ASSERT_EQ(expected, TestPicture(45, 31, true));

    std::FILE* pipe = popen(("cat '" + png + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    unsigned char head[kPngSignatureSize];
    ASSERT_EQ(std::fread(head, 1, sizeof head, pipe), sizeof head);
    EXPECT_TRUE(IsPngSignature(head, sizeof head));
    TBitmap32 fromPipe;
    DecodePng({pipe, head, sizeof head}, "-", fromPipe);
    pclose(pipe);
    EXPECT_EQ(fromPipe, expected);

    const Bytes bytes = ReadBytes(png);
    TBitmap32 fromMemory;
    DecodePng({nullptr, bytes.data(), bytes.size()}, "memory", fromMemory);
    EXPECT_EQ(fromMemory, expected);
}

TEST_F(PngTest, RoundTripsAsRgbAndAsGrey) {
    const TBitmap32 picture = TestPicture(45, 31, true);
    Encode(picture, Path("rgb.png"), false);
    Bytes file = ReadBytes(Path("rgb.png"));
    ASSERT_GT(file.size(), 33u);
    EXPECT_EQ(file[24], 8);
    EXPECT_EQ(file[25], 2); // RGB: the alpha is dropped, as in a JPEG
    TBitmap32 opaque = picture;
    for (int y = 0; y < opaque.Height(); ++y) {
        for (int x = 0; x < opaque.Width(); ++x) {
            opaque.SetPixelAt(x, y, opaque.PixelAt(x, y) | 0xFF000000u);
        }
    }
    EXPECT_EQ(Decode(Path("rgb.png")), opaque);
    // ImageMagick reads the same pixels.
    ASSERT_TRUE(RunCommand("convert '" + Path("rgb.png") + "' PPM:'" + Path("rgb.ppm") + "'"));
    TBitmap32 theirs;
    ASSERT_TRUE(ReadPnm(Path("rgb.ppm"), theirs));
    EXPECT_EQ(theirs, opaque);

    TBitmap32 mask;
    mask.Resize(45, 31);
    for (int y = 0; y < 31; ++y) {
        for (int x = 0; x < 45; ++x) {
            mask.SetPixelAt(x, y, (x * y) % 3 ? kMaskWhite : kMaskBlack);
        }
    }
    Encode(mask, Path("mask.png"), true);
    file = ReadBytes(Path("mask.png"));
    EXPECT_EQ(file[24], 8);
    EXPECT_EQ(file[25], 0); // grey
    EXPECT_EQ(Decode(Path("mask.png")), mask);
    // Grey levels are the mean of the channels, as greyed pixels have them.
    TBitmap32 colour;
    colour.Resize(3, 1);
    colour.SetPixelAt(0, 0, 0xFFFF0000u); // mean 85
    colour.SetPixelAt(1, 0, 0x000A141Fu); // mean 20, transparent
    colour.SetPixelAt(2, 0, 0xFFFFFFFEu); // mean 254
    Encode(colour, Path("grey.png"), true);
    const TBitmap32 grey = Decode(Path("grey.png"));
    EXPECT_EQ(grey.PixelAt(0, 0), GreyColor(85, 255));
    EXPECT_EQ(grey.PixelAt(1, 0), GreyColor(20, 255));
    EXPECT_EQ(grey.PixelAt(2, 0), GreyColor(254, 255));
}

// Sets the width and height of a PNG's header and its checksum.
void SetPngSize(Bytes& png, std::uint32_t w, std::uint32_t h) {
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<unsigned char>(w >> (24 - 8 * i));
        png[20 + i] = static_cast<unsigned char>(h >> (24 - 8 * i));
    }
    std::uint32_t crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) {
        png[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    }
}

TEST_F(PngTest, DamagedFilesRaisePictureErrorsNamingTheFile) {
    const Bytes good = ReadBytes(MakePng());
    struct Damage {
        const char* name;
        Bytes bytes;
    };
    std::vector<Damage> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"signature_only", Bytes(good.begin(), good.begin() + 8)});
    cases.push_back({"cut_in_header", Bytes(good.begin(), good.begin() + 20)});
    cases.push_back({"cut_in_image_data", Bytes(good.begin(), good.begin() + good.size() / 2)});
    Bytes badCrc = good;
    badCrc[30] ^= 0x55;
    cases.push_back({"header_checksum", badCrc});
    Bytes badData = good;
    for (std::size_t i = 60; i < good.size() - 20; i += 7) {
        badData[i] ^= 0xA5;
    }
    cases.push_back({"scrambled_image_data", badData});
    Bytes huge = good;
    SetPngSize(huge, 100000, 100000);
    cases.push_back({"too_large", huge});
    Bytes zero = good;
    SetPngSize(zero, 0, 31);
    cases.push_back({"zero_width", zero});
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
    cases.push_back({"not_png", jpeg});
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.name);
        const std::string path = Path(std::string(d.name) + ".png");
        WriteBytes(path, d.bytes);
        try {
            Decode(path);
            ADD_FAILURE() << "no error";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

TEST(PngEncode, WriteErrorsAreReported) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "/dev/full not available";
    }
    EXPECT_THROW(EncodePng(TestPicture(300, 200), full, "/dev/full"), EPictureError);
    std::fclose(full);
    EXPECT_THROW(EncodePng(TBitmap32(), stdout, "empty.png"), EPictureError);
}

} // namespace
