// JPEG reading and writing, checked pixel for pixel and byte for byte against the libjpeg
// command-line tools; bad input; write failures; buffer copy and resize.
#include "engine/bitmap32.h"
#include "engine/jpeg_codec.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace codec_test;
namespace fs = std::filesystem;

namespace {

class JpegTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(RunCommand("command -v cjpeg >/dev/null && command -v djpeg >/dev/null"))
            << "cjpeg and djpeg (libjpeg-turbo-progs) are needed";
    }

    // Compresses the test picture with cjpeg and the given options; returns the file.
    std::string MakeJpeg(const std::string& name, const std::string& options, int w = 67,
                         int h = 45) {
        const std::string ppm = Path(name + ".ppm");
        const std::string jpg = Path(name + ".jpg");
        WritePpm(ppm, TestPicture(w, h));
        EXPECT_TRUE(RunCommand("cjpeg " + options + " -outfile '" + jpg + "' '" + ppm + "'"));
        return jpg;
    }
};

struct DecodeCase {
    const char* name;
    const char* cjpegOptions;
    const char* djpegOptions;
    bool lowColor;
};

// djpeg leaves block smoothing and fancy upsampling on, as the reader does; "-dct int" is the
// accurate integer transform; the 236-colour cases use the one-pass quantiser with
// Floyd-Steinberg dithering.
const DecodeCase kDecodeCases[] = {
    {"baseline_420", "-quality 85", "-dct int -ppm", false},
    {"baseline_444", "-quality 95 -sample 1x1", "-dct int -ppm", false},
    {"baseline_422_restart", "-sample 2x1 -restart 2", "-dct int -ppm", false},
    {"progressive", "-progressive -quality 80", "-dct int -ppm", false},
    {"arithmetic", "-arithmetic", "-dct int -ppm", false},
    {"greyscale", "-grayscale", "-dct int -colors 236 -onepass -dither fs -pnm", false},
    {"greyscale_progressive", "-grayscale -progressive",
     "-dct int -colors 236 -onepass -dither fs -pnm", false},
    {"colour_low_colour_display", "-quality 85", "-dct int -colors 236 -onepass -dither fs -ppm",
     true},
    {"greyscale_low_colour_display", "-grayscale", "-dct int -colors 236 -onepass -dither fs -pnm",
     true},
};

class JpegDecodeTest : public JpegTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(JpegDecodeTest, MatchesReferenceDecoderPixelForPixel) {
    const DecodeCase& c = GetParam();
    const std::string jpg = MakeJpeg(c.name, c.cjpegOptions);
    const std::string ref = Path("reference.pnm");
    ASSERT_TRUE(RunCommand(std::string("djpeg ") + c.djpegOptions + " -outfile '" + ref + "' '" +
                           jpg + "'"));
    TBitmap32 expected;
    ASSERT_TRUE(ReadPnm(ref, expected));

    TBitmap32 decoded;
    decoded.ReadPictureFile(jpg, c.lowColor);
    EXPECT_EQ(decoded.Width(), 67);
    EXPECT_EQ(decoded.Height(), 45);
    EXPECT_EQ(DifferentPixels(decoded, expected), 0);
    EXPECT_EQ(decoded, expected); // alpha included: every pixel opaque
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegDecodeTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegTest, DecodingIntoAUsedBufferReplacesSizeAndContent) {
    const std::string big = MakeJpeg("big", "", 80, 60);
    const std::string small = MakeJpeg("small", "", 17, 9);
    TBitmap32 fresh;
    fresh.ReadPictureFile(small);
    TBitmap32 reused;
    reused.ReadPictureFile(big);
    reused.ReadPictureFile(small);
    EXPECT_EQ(reused, fresh);
}

// Quality 90, baseline tables, YCbCr 4:2:0, JFIF header: what cjpeg writes with those options.
TEST_F(JpegTest, EncodingMatchesReferenceEncoderByteForByte) {
    for (const auto& [w, h] : {std::pair{67, 45}, std::pair{16, 16}, std::pair{1, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        // Alpha varies per pixel and must simply be dropped.
        const TBitmap32 picture = TestPicture(w, h, true);
        const std::string ppm = Path("in.ppm");
        WritePpm(ppm, picture);
        const std::string ref = Path("reference.jpg");
        ASSERT_TRUE(RunCommand("cjpeg -quality 90 -baseline -outfile '" + ref + "' '" + ppm + "'"));
        const std::string out = Path("out.jpg");
        picture.WriteJpegFile(out);
        const Bytes written = ReadBytes(out);
        ASSERT_FALSE(written.empty());
        EXPECT_TRUE(written == ReadBytes(ref));
    }
}

TEST_F(JpegTest, TruncatedJpegStillDecodesWithoutError) {
    const std::string jpg = MakeJpeg("whole", "-quality 90", 64, 64);
    for (const bool progressive : {false, true}) {
        const std::string source =
            progressive ? MakeJpeg("whole_progressive", "-progressive", 64, 64) : jpg;
        Bytes bytes = ReadBytes(source);
        bytes.resize(bytes.size() / 2);
        const std::string cut = Path("cut.jpg");
        WriteBytes(cut, bytes);
        TBitmap32 b;
        ASSERT_NO_THROW(b.ReadPictureFile(cut)) << "progressive " << progressive;
        EXPECT_EQ(b.Width(), 64);
        EXPECT_EQ(b.Height(), 64);
        for (int i = 0; i < 64 * 64; ++i) {
            ASSERT_EQ(b.Bits()[i] >> 24, 255u);
        }
    }
}

// Repeated scans are only warnings to libjpeg; thousands of them would just burn time.
TEST_F(JpegTest, EndlessScansAreRefused) {
    const Bytes jpeg = ReadBytes(MakeJpeg("progressive", "-progressive", 16, 16));
    std::size_t lastScan = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
            lastScan = i;
        }
    }
    ASSERT_GT(lastScan, 0u);
    const Bytes scan(jpeg.begin() + static_cast<long>(lastScan), jpeg.end() - 2); // without EOI
    for (const int copies : {5, 1100}) {
        Bytes bytes(jpeg.begin(), jpeg.end() - 2);
        for (int i = 0; i < copies; ++i) {
            bytes.insert(bytes.end(), scan.begin(), scan.end());
        }
        bytes.push_back(0xFF);
        bytes.push_back(0xD9);
        const std::string path = Path("scans.jpg");
        WriteBytes(path, bytes);
        TBitmap32 b;
        if (copies < 100) {
            EXPECT_NO_THROW(b.ReadPictureFile(path));
        } else {
            try {
                b.ReadPictureFile(path);
                ADD_FAILURE() << "no error";
            } catch (const EPictureError& e) {
                EXPECT_NE(std::string(e.what()).find("Too many scans"), std::string::npos)
                    << e.what();
            }
        }
    }
}

// Sets the frame size in the first SOF0/SOF2 marker of a JPEG stream.
Bytes WithFrameSize(Bytes jpeg, int width, int height) {
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<unsigned char>(height >> 8);
            jpeg[i + 6] = static_cast<unsigned char>(height);
            jpeg[i + 7] = static_cast<unsigned char>(width >> 8);
            jpeg[i + 8] = static_cast<unsigned char>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

struct BadInput {
    const char* name;
    std::function<Bytes(const Bytes& jpeg)> make; // from a small valid JPEG
    const char* message;                          // expected part of the error text
};

const BadInput kBadInputs[] = {
    {"empty", [](const Bytes&) { return Bytes{}; }, "is too short"},
    {"53_bytes", [](const Bytes& j) { return Bytes(j.begin(), j.begin() + 53); }, "is too short"},
    {"bm_53_bytes",
     [](const Bytes&) {
         Bytes b(53, 0);
         b[0] = 'B';
         b[1] = 'M';
         return b;
     },
     "is too short"},
    {"random_bytes",
     [](const Bytes&) {
         Bytes b(300);
         std::uint32_t s = 7;
         for (auto& c : b) {
             s = s * 1103515245u + 12345u;
             c = static_cast<unsigned char>(s >> 16);
         }
         b[0] = 0x12;
         return b;
     },
     "Cannot decode JPEG file"},
    {"jpeg_start_then_garbage",
     [](const Bytes& j) {
         Bytes b(j.begin(), j.begin() + 20);
         b.resize(200, 0x5A);
         return b;
     },
     "Cannot decode JPEG file"},
    {"jpeg_header_only", [](const Bytes& j) { return Bytes(j.begin(), j.begin() + 160); },
     "Cannot decode JPEG file"},
    {"jpeg_60000_square", [](const Bytes& j) { return WithFrameSize(j, 60000, 60000); },
     "is too large (60000 x 60000 pixels)"},
    {"jpeg_zero_width", [](const Bytes& j) { return WithFrameSize(j, 0, 16); },
     "Cannot decode JPEG file"},
};

class BadInputTest : public JpegTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTest, RaisesPictureErrorNamingTheFile) {
    const Bytes jpeg = ReadBytes(MakeJpeg("valid", "", 16, 16));
    ASSERT_GT(jpeg.size(), 200u);
    const std::string path = Path("bad.jpg");
    WriteBytes(path, GetParam().make(jpeg));
    TBitmap32 b;
    try {
        b.ReadPictureFile(path);
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(GetParam().message), std::string::npos) << text;
        EXPECT_NE(text.find(path), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Jpeg, BadInputTest, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegTest, MissingFileAndFolderAreErrors) {
    TBitmap32 b;
    EXPECT_THROW(b.ReadPictureFile(Path("missing.jpg")), EPictureError);
    EXPECT_THROW(b.ReadPictureFile(dir_.string()), EPictureError);
}

TEST_F(JpegTest, WriteReplacesAnExistingFileAndKeepsItsMode) {
    const std::string out = Path("exists.jpg");
    WriteBytes(out, Bytes(5000, 'x'));
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    TestPicture(8, 8).WriteJpegFile(out);
    const Bytes written = ReadBytes(out);
    ASSERT_GT(written.size(), 2u);
    EXPECT_EQ(written[0], 0xFF);
    EXPECT_EQ(written[1], 0xD8);
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// Nothing is left behind on failure, and an existing file survives.
TEST_F(JpegTest, WriteFailuresRaiseErrorsNamingThePath) {
    WriteBytes(Path("plain_file"), Bytes{1});
    fs::create_directory(dir_ / "folder");
    const std::string cases[] = {
        Path("no_such_folder/out.jpg"), // cannot create
        Path("plain_file/out.jpg"),     // parent is not a folder
        Path("folder"),                 // the name is a folder
    };
    for (const std::string& path : cases) {
        try {
            TestPicture(8, 8).WriteJpegFile(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    TBitmap32 empty;
    EXPECT_THROW(empty.WriteJpegFile(Path("empty.jpg")), EPictureError);
    EXPECT_FALSE(fs::exists(Path("empty.jpg")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

// A full disk shows up as a failed write (file size limit here); the old file is kept.
TEST_F(JpegTest, WriteFailureOnFullDiskKeepsThePreviousFile) {
    const std::string out = Path("keep.jpg");
    const Bytes previous(100, 'p');
    WriteBytes(out, previous);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool thrown = false;
    try {
        TestPicture(200, 200).WriteJpegFile(out);
    } catch (const EPictureError& e) {
        thrown = true;
        EXPECT_NE(std::string(e.what()).find(out), std::string::npos) << e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(thrown);
    EXPECT_EQ(ReadBytes(out), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST(JpegEncode, WriteErrorOnTheStreamIsReported) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "/dev/full not available";
    }
    EXPECT_THROW(EncodeJpeg(TestPicture(64, 64), full, "/dev/full"), EPictureError);
    std::fclose(full);
}

TEST(Bitmap32, CopyFromMakesAnExactCopyOrEmpties) {
    const TBitmap32 source = TestPicture(5, 3, true);
    TBitmap32 copy;
    copy.CopyFrom(&source);
    EXPECT_EQ(copy, source);
    copy.CopyFrom(&copy);
    EXPECT_EQ(copy, source);
    copy.CopyFrom(nullptr);
    EXPECT_EQ(copy.Width(), 0);
    EXPECT_EQ(copy.Height(), 0);
    EXPECT_TRUE(copy.Empty());
}

TEST(Bitmap32, ResizeClampsNegativesAndRefusesHugeSizes) {
    struct Case {
        int w, h, expectW, expectH;
    };
    for (const Case& c : {Case{-5, 7, 0, 7}, Case{4, -1, 4, 0}, Case{INT_MIN, INT_MIN, 0, 0},
                          Case{3, 2, 3, 2}, Case{0, 0, 0, 0}}) {
        TBitmap32 b;
        b.Resize(c.w, c.h);
        EXPECT_EQ(b.Width(), c.expectW);
        EXPECT_EQ(b.Height(), c.expectH);
        if (!b.Empty()) {
            b.SetPixelAt(c.expectW - 1, c.expectH - 1, kMaskWhite);
        }
    }
    TBitmap32 b;
    b.Resize(3, 2);
    EXPECT_THROW(b.Resize(INT_MAX, INT_MAX), EPictureError);
    EXPECT_THROW(b.Resize(1 << 15, (1 << 13) + 1), EPictureError);
    EXPECT_EQ(b.Width(), 3); // unchanged after a refusal
    EXPECT_EQ(b.Height(), 2);
}

} // namespace
