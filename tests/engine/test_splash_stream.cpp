// The streamed splash against the whole-picture route (DecodeJpeg, RenderSelection, EncodeJpeg),
// byte for byte: cjpeg's variants, the bundled photos, pipes, markers, damaged input.
#include "engine/filter.h"
#include "engine/jpeg_codec.h"
#include "engine/render.h"
#include "engine/splash_stream.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace codec_test;

namespace {

// A selection that keeps a good part of a picture and greys the rest: the Central Color is the
// pixel in the middle.
TSelection SelectionFor(const TBitmap32& picture) {
    const TColor32 c = picture.PixelAt(picture.Width() / 2, picture.Height() / 2);
    return {static_cast<int>(RedOf(c)),
            static_cast<int>(GreenOf(c)),
            static_cast<int>(BlueOf(c)),
            60,
            45,
            50};
}

class SplashStreamTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(RunCommand("command -v cjpeg >/dev/null")) << "cjpeg is needed";
    }

    // The whole-picture route, as the window renders and saves.
    Bytes WholePicture(const std::string& jpg, const TSelection& s, bool quantize = false,
                       bool filter = false) {
        std::FILE* in = std::fopen(jpg.c_str(), "rb");
        EXPECT_NE(in, nullptr);
        TBitmap32 picture, mask, result;
        DecodeJpeg(in, jpg, quantize, picture);
        std::fclose(in);
        RenderSelection(picture, s, mask, result);
        if (filter) {
            FilterMask(mask);
            ComposeResult(picture, mask, result);
        }
        const std::string out = Path("whole.jpg");
        std::FILE* f = std::fopen(out.c_str(), "wb");
        EncodeJpeg(result, f, out);
        std::fclose(f);
        return ReadBytes(out);
    }

    Bytes Streamed(const TPictureInput& in, const TSelection& s,
                   const TSplashStreamOptions& options = {}, TSplashStreamResult* result = nullptr,
                   bool filter = false) {
        const std::string out = Path("streamed.jpg");
        std::FILE* f = std::fopen(out.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        TSplashStreamResult r = filter ? SplashJpegStreamFiltered(in, "in.jpg", s, f, out, options)
                                       : SplashJpegStream(in, "in.jpg", s, f, out, options);
        std::fclose(f);
        if (result != nullptr) {
            *result = r;
        }
        return ReadBytes(out);
    }

    Bytes StreamedFile(const std::string& jpg, const TSelection& s,
                       const TSplashStreamOptions& options = {}, bool filter = false) {
        std::FILE* in = std::fopen(jpg.c_str(), "rb");
        EXPECT_NE(in, nullptr);
        const Bytes b = Streamed({in}, s, options, nullptr, filter);
        std::fclose(in);
        return b;
    }

    TBitmap32 Decoded(const std::string& jpg) {
        TBitmap32 b;
        b.ReadPictureFile(jpg);
        return b;
    }

    std::string MakeJpeg(const std::string& name, const std::string& options, int w, int h) {
        const std::string ppm = Path(name + ".ppm");
        const std::string jpg = Path(name + ".jpg");
        WritePpm(ppm, TestPicture(w, h));
        EXPECT_TRUE(RunCommand("cjpeg " + options + " -outfile '" + jpg + "' '" + ppm + "'"));
        return jpg;
    }
};

struct StreamCase {
    const char* name;
    const char* cjpegOptions;
    int width, height;
    bool quantize;
};

// Sizes that end in part of a strip and of an MCU; the strip is 16 rows.
const StreamCase kStreamCases[] = {
    {"baseline_420", "-quality 85", 67, 45, false},
    {"baseline_444", "-quality 95 -sample 1x1", 70, 33, false},
    {"baseline_422_restart", "-sample 2x1 -restart 2", 50, 17, false},
    {"one_row", "", 90, 1, false},
    {"one_column", "", 1, 40, false},
    {"progressive", "-progressive -quality 80", 67, 45, false},
    {"arithmetic", "-arithmetic", 41, 38, false},
    {"greyscale", "-grayscale", 67, 45, false},
    {"greyscale_progressive", "-grayscale -progressive", 67, 45, false},
    {"low_colour_display", "-quality 85", 67, 45, true},
};

class SplashStreamCaseTest : public SplashStreamTest,
                             public ::testing::WithParamInterface<StreamCase> {};

TEST_P(SplashStreamCaseTest, EqualsTheWholePictureRoute) {
    const StreamCase& c = GetParam();
    const std::string jpg = MakeJpeg(c.name, c.cjpegOptions, c.width, c.height);
    const TSelection s = SelectionFor(Decoded(jpg));
    TSplashStreamOptions options;
    options.quantize = c.quantize;
    const Bytes whole = WholePicture(jpg, s, c.quantize);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(StreamedFile(jpg, s, options), whole);
    // Nothing selected and everything selected, the two ends of the rule.
    EXPECT_EQ(StreamedFile(jpg, {0, 0, 0, -1, 0, 0}, options),
              WholePicture(jpg, {0, 0, 0, -1, 0, 0}, c.quantize));
    EXPECT_EQ(StreamedFile(jpg, {0, 0, 0, 255, 255, 255}, options),
              WholePicture(jpg, {0, 0, 0, 255, 255, 255}, c.quantize));
    // With the mask filtered. The filter must change something for this to mean anything; a
    // grey picture looks the same under any mask.
    const Bytes filtered = WholePicture(jpg, s, c.quantize, true);
    if (c.width > 2 && c.height > 2 &&
        std::string(c.cjpegOptions).find("-grayscale") == std::string::npos) {
        EXPECT_NE(filtered, whole);
    }
    EXPECT_EQ(StreamedFile(jpg, s, options, true), filtered);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, SplashStreamCaseTest, ::testing::ValuesIn(kStreamCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SplashStreamTest, EqualsTheWholePictureRouteOnThePhotos) {
    const std::string photos[] = {HUELET_SOURCE_DIR "/resources/samples/coffee.jpg",
                                  HUELET_SOURCE_DIR "/../shared/samples/chelsea.jpg",
                                  HUELET_SOURCE_DIR "/../shared/samples/coffee.jpg"};
    int found = 0;
    for (const std::string& photo : photos) {
        if (!std::filesystem::exists(photo)) {
            continue;
        }
        ++found;
        SCOPED_TRACE(photo);
        // The sample's own settings (red cup, wooden table grey) and one from its middle.
        for (const TSelection& s :
             {TSelection{140, 30, 12, 90, 26, 20}, SelectionFor(Decoded(photo))}) {
            EXPECT_EQ(StreamedFile(photo, s), WholePicture(photo, s));
            EXPECT_EQ(StreamedFile(photo, s, {}, true), WholePicture(photo, s, false, true));
        }
    }
    EXPECT_GT(found, 0);
}

TEST_F(SplashStreamTest, ReadsFromAPipeAndAfterBytesAlreadyRead) {
    const std::string jpg = MakeJpeg("pipe", "-quality 85", 67, 45);
    const TSelection s = SelectionFor(Decoded(jpg));
    const Bytes whole = WholePicture(jpg, s);
    std::FILE* pipe = popen(("cat '" + jpg + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    unsigned char head[3];
    ASSERT_EQ(std::fread(head, 1, sizeof head, pipe), sizeof head);
    EXPECT_EQ(Streamed({pipe, head, sizeof head}, s), whole);
    pclose(pipe);
    const Bytes bytes = ReadBytes(jpg);
    EXPECT_EQ(Streamed({nullptr, bytes.data(), bytes.size()}, s), whole);
}

TEST_F(SplashStreamTest, FilteredReadsTwiceFromMemoryOrFromWhereAFileStood) {
    const std::string jpg = MakeJpeg("twice", "-quality 85", 67, 45);
    const TSelection s = SelectionFor(Decoded(jpg));
    const Bytes whole = WholePicture(jpg, s, false, true);
    const Bytes bytes = ReadBytes(jpg);
    EXPECT_EQ(Streamed({nullptr, bytes.data(), bytes.size()}, s, {}, nullptr, true), whole);
    // The first bytes already read, the rest of the file from its position.
    std::FILE* in = std::fopen(jpg.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    unsigned char head[5];
    ASSERT_EQ(std::fread(head, 1, sizeof head, in), sizeof head);
    EXPECT_EQ(Streamed({in, head, sizeof head}, s, {}, nullptr, true), whole);
    std::fclose(in);
    // A pipe cannot be read twice.
    std::FILE* pipe = popen(("cat '" + jpg + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const std::string out = Path("out.jpg");
    std::FILE* f = std::fopen(out.c_str(), "wb");
    EXPECT_THROW(SplashJpegStreamFiltered({pipe}, "-", s, f, out), EPictureError);
    std::fclose(f);
    pclose(pipe);
}

TEST_F(SplashStreamTest, MarkersFollowTheJfifHeaderInTheirOrder) {
    const std::string jpg = MakeJpeg("markers", "", 40, 20);
    const TSelection s = SelectionFor(Decoded(jpg));
    const Bytes plain = StreamedFile(jpg, s);
    TSplashStreamOptions options;
    TPictureMetadata metadata;
    metadata.segments = {{kMarkerCom, {'h', 'i'}}, {kMarkerApp13, {'P', 'h', 'o', 't', 'o'}}};
    options.metadata = &metadata;
    const Bytes marked = StreamedFile(jpg, s, options);
    // SOI, then the JFIF APP0 segment (2 + its length), then the markers.
    ASSERT_GT(plain.size(), 6u);
    const std::size_t jfifEnd = 4 + (std::size_t{plain[4]} << 8 | plain[5]);
    Bytes expected(plain.begin(), plain.begin() + static_cast<long>(jfifEnd));
    for (const TJpegSegment& m : metadata.segments) {
        const std::size_t length = m.data.size() + 2;
        expected.insert(expected.end(), {0xFF, static_cast<unsigned char>(m.marker),
                                         static_cast<unsigned char>(length >> 8),
                                         static_cast<unsigned char>(length)});
        expected.insert(expected.end(), m.data.begin(), m.data.end());
    }
    expected.insert(expected.end(), plain.begin() + static_cast<long>(jfifEnd), plain.end());
    EXPECT_EQ(marked, expected);
}

TEST_F(SplashStreamTest, TruncatedInputWarnsAndStillEqualsTheWholePictureRoute) {
    // Block smoothing changes the pixels only where a progressive file lacks later scans.
    for (const char* options : {"-quality 85", "-progressive -quality 85"}) {
        SCOPED_TRACE(options);
        const std::string jpg = MakeJpeg("full", options, 67, 45);
        Bytes bytes = ReadBytes(jpg);
        bytes.resize(bytes.size() * 2 / 3);
        const std::string cut = Path("cut.jpg");
        WriteBytes(cut, bytes);
        const TSelection s = SelectionFor(Decoded(jpg));
        TSplashStreamResult result;
        EXPECT_EQ(Streamed({nullptr, bytes.data(), bytes.size()}, s, {}, &result),
                  WholePicture(cut, s));
        EXPECT_EQ(result.width, 67);
        EXPECT_EQ(result.height, 45);
        EXPECT_FALSE(result.warnings.empty());
    }
}

TEST_F(SplashStreamTest, BadInputRaisesPictureErrorNamingTheFile) {
    const Bytes good = ReadBytes(MakeJpeg("good", "", 40, 20));
    const std::vector<Bytes> cases = {
        {},
        {0xFF, 0xD8},
        Bytes(good.begin(), good.begin() + 30),
        {'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 0, 0, 0},
    };
    for (const Bytes& b : cases) {
        const std::string out = Path("out.jpg");
        std::FILE* f = std::fopen(out.c_str(), "wb");
        try {
            SplashJpegStream({nullptr, b.data(), b.size()}, "bad input.jpg", {}, f, out);
            ADD_FAILURE() << "no error for " << b.size() << " bytes";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find("\"bad input.jpg\""), std::string::npos)
                << e.what();
        }
        std::fclose(f);
    }
}

TEST(SplashStreamWrite, WriteErrorsAreReported) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "/dev/full not available";
    }
    const std::string photo = HUELET_SOURCE_DIR "/resources/samples/coffee.jpg";
    std::FILE* in = std::fopen(photo.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_THROW(SplashJpegStream({in}, photo, {}, full, "/dev/full"), EPictureError);
    std::fclose(in);
    std::fclose(full);
}

} // namespace
