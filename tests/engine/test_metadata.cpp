// Metadata kept through a read and an export (files tagged by exiftool), damaged metadata,
// CMYK and YCCK pictures, warnings, and crafted pictures that announce far more than they hold.
#include "engine/bitmap32.h"
#include "engine/exif.h"
#include "engine/jpeg_codec.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <jpeglib.h>

using namespace codec_test;
namespace fs = std::filesystem;

namespace {

const char* const kAdobeRgb = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
// Large enough to need three APP2 chunks.
const char* const kLargeProfile = "/usr/share/color/icc/LCMSLABI.ICM";

std::string Output(const std::string& command) {
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        text += buffer;
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

// Tags as exiftool prints them, numbers as numbers, in one run (exiftool starts slowly).
std::map<std::string, std::string> Tags(const std::string& file,
                                        const std::vector<std::string>& names) {
    std::string command = "exiftool -n -s -s";
    for (const std::string& n : names) {
        command += " -" + n;
    }
    std::map<std::string, std::string> tags;
    for (const std::string& n : names) {
        tags[n.substr(n.find(':') + 1)] = "";
    }
    const std::string text = Output(command + " '" + file + "'") + "\n";
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            tags[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return tags;
}

std::string Tag(const std::string& file, const std::string& tag) {
    return Tags(file, {tag}).begin()->second;
}

// The marker segments of a JPEG file up to the first scan, in order.
std::vector<TJpegSegment> Segments(const Bytes& jpeg) {
    std::vector<TJpegSegment> list;
    for (std::size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA;) {
        const std::size_t length = jpeg[i + 2] << 8 | jpeg[i + 3];
        list.push_back({jpeg[i + 1], Bytes(jpeg.begin() + static_cast<long>(i) + 4,
                                           jpeg.begin() + static_cast<long>(i + 2 + length))});
        i += 2 + length;
    }
    return list;
}

class MetadataTest : public TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_TRUE(RunCommand("command -v exiftool >/dev/null && command -v cjpeg >/dev/null"))
            << "exiftool (libimage-exiftool-perl) and cjpeg are needed";
        ASSERT_TRUE(fs::exists(kAdobeRgb) && fs::exists(kLargeProfile))
            << "ICC profiles from icc-profiles-free are needed";
    }

    // A camera-like photo: EXIF with a thumbnail, XMP, an ICC profile and a comment.
    std::string Photo(const std::string& name, const char* profile = kAdobeRgb,
                      int orientation = 6) {
        const std::string ppm = Path(name + ".ppm");
        const std::string jpg = Path(name + ".jpg");
        WritePpm(ppm, TestPicture(48, 32));
        WritePpm(Path("thumb.ppm"), TestPicture(16, 8));
        EXPECT_TRUE(RunCommand("cjpeg -outfile '" + jpg + "' '" + ppm + "' && cjpeg -outfile '" +
                               Path("thumb.jpg") + "' '" + Path("thumb.ppm") + "'"));
        EXPECT_TRUE(RunCommand("exiftool -q -overwrite_original -Make=Norcam -Model='N 7' "
                               "-DateTimeOriginal='2024:05:06 07:08:09' -Orientation#=" +
                               std::to_string(orientation) +
                               " -XMP-dc:Creator='Ann Example' -Comment='first light' " +
                               "'-ThumbnailImage<=" + Path("thumb.jpg") +
                               "' '-ICC_Profile<=" + profile + "' '" + jpg + "'"));
        return jpg;
    }

    TBitmap32 Read(const std::string& path, TPictureInfo& info) {
        TBitmap32 b;
        b.ReadPictureFile(path, false, &info);
        return b;
    }
};

TEST_F(MetadataTest, ExportKeepsExifXmpProfileAndCommentButNotTheThumbnail) {
    for (const char* profile : {kAdobeRgb, kLargeProfile}) {
        SCOPED_TRACE(profile);
        const std::string in = Photo("photo", profile);
        TPictureInfo info;
        const TBitmap32 picture = Read(in, info);
        EXPECT_TRUE(info.warnings.empty()) << info.WarningText();
        const std::string out = Path("out.jpg");
        picture.WriteJpegFile(out, &info.metadata);

        const std::vector<std::string> names{
            "Make",    "Model",   "DateTimeOriginal",   "Orientation",
            "Creator", "Comment", "ProfileDescription", "ThumbnailLength"};
        auto before = Tags(in, names);
        const auto after = Tags(out, names);
        EXPECT_FALSE(before["ThumbnailLength"].empty()) << "the test photo has a thumbnail";
        EXPECT_EQ(after.at("ThumbnailLength"), "");
        before["ThumbnailLength"] = "";
        EXPECT_EQ(after, before);
        EXPECT_EQ(after.at("Orientation"), "6");
        // The profile comes back byte for byte, in as many chunks as it came.
        const std::string profileOut = Path("profile.icc");
        ASSERT_TRUE(RunCommand("exiftool -b -ICC_Profile '" + out + "' > '" + profileOut + "'"));
        EXPECT_TRUE(ReadBytes(profileOut) == ReadBytes(profile));
        EXPECT_TRUE(info.metadata.IccProfile() == ReadBytes(profile));
        auto chunks = [](const std::string& file) {
            int n = 0;
            for (const TJpegSegment& s : Segments(ReadBytes(file))) {
                n += s.marker == kMarkerApp2;
            }
            return n;
        };
        EXPECT_EQ(chunks(out), chunks(in));
        // Right after JFIF, in the order the photo had them.
        std::vector<int> markers, original;
        for (const TJpegSegment& s : Segments(ReadBytes(out))) {
            markers.push_back(s.marker);
        }
        for (const TJpegSegment& s : Segments(ReadBytes(in))) {
            if (s.marker != 0xE0 && s.marker != 0xDB && s.marker != 0xC4 && s.marker != 0xC0) {
                original.push_back(s.marker);
            }
        }
        ASSERT_GE(markers.size(), original.size() + 1);
        EXPECT_EQ(markers[0], 0xE0);
        EXPECT_EQ(std::vector<int>(markers.begin() + 1,
                                   markers.begin() + 1 + static_cast<long>(original.size())),
                  original);
        // A second round changes nothing more.
        TPictureInfo again;
        Read(out, again);
        EXPECT_EQ(again.metadata, info.metadata);
    }
}

TEST_F(MetadataTest, MetadataChangesNoPixel) {
    const std::string in = Photo("photo");
    TPictureInfo info;
    const TBitmap32 picture = Read(in, info);
    const std::string with = Path("with.jpg"), without = Path("without.jpg");
    picture.WriteJpegFile(with, &info.metadata);
    picture.WriteJpegFile(without);
    TPictureInfo kept, none;
    EXPECT_EQ(Read(with, kept), Read(without, none));
    EXPECT_EQ(kept.metadata, info.metadata);
    EXPECT_TRUE(none.metadata.Empty());
    // Only markers were added: the rest of the stream is the same.
    const Bytes a = ReadBytes(with), b = ReadBytes(without);
    ASSERT_GT(a.size(), b.size());
    EXPECT_TRUE(Bytes(a.end() - static_cast<long>(b.size() - 20), a.end()) ==
                Bytes(b.begin() + 20, b.end()));
}

TEST_F(MetadataTest, ExtendedXmpIsKeptWhole) {
    const std::string in = Photo("photo");
    // More than one segment holds: exiftool moves the rest into extended XMP.
    const std::string big(70000, 'x');
    ASSERT_TRUE(RunCommand("exiftool -q -overwrite_original -XMP-dc:Description='" + big + "' '" +
                           in + "'"));
    TPictureInfo info;
    const TBitmap32 picture = Read(in, info);
    EXPECT_TRUE(info.warnings.empty()) << info.WarningText();
    const std::string out = Path("out.jpg");
    picture.WriteJpegFile(out, &info.metadata);
    EXPECT_EQ(Tag(out, "Description"), big);
    EXPECT_EQ(Tag(out, "Creator"), "Ann Example");
}

// Damaged metadata never costs the picture; what is whole stays, the rest goes with a warning.
TEST_F(MetadataTest, DamagedMetadataIsDroppedWithAWarning) {
    const std::string in = Photo("photo", kLargeProfile);
    const Bytes jpeg = ReadBytes(in);
    TPictureInfo good;
    const TBitmap32 expected = Read(in, good);

    struct Damage {
        const char* name;
        std::function<void(std::vector<TJpegSegment>&)> apply;
        const char* warning;
        const char* droppedTag; // gone from the export; the others stay
    };
    const Damage cases[] = {
        {"truncated EXIF",
         [](std::vector<TJpegSegment>& s) {
             for (TJpegSegment& x : s) {
                 if (x.marker == kMarkerApp1 && x.data[0] == 'E') {
                     x.data.resize(60);
                 }
             }
         },
         "EXIF data dropped", "Make"},
        {"an ICC chunk missing",
         [](std::vector<TJpegSegment>& s) {
             for (auto it = s.begin(); it != s.end(); ++it) {
                 if (it->marker == kMarkerApp2 && it->data[12] == 2) {
                     s.erase(it);
                     return;
                 }
             }
         },
         "colour profile dropped", "ProfileDescription"},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TJpegSegment> segments = Segments(jpeg);
        c.apply(segments);
        // Rebuild the file with the changed segments and the original scan.
        Bytes damaged{0xFF, 0xD8};
        for (const TJpegSegment& s : segments) {
            const std::size_t n = s.data.size() + 2;
            damaged.insert(damaged.end(),
                           {0xFF, static_cast<unsigned char>(s.marker),
                            static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
            damaged.insert(damaged.end(), s.data.begin(), s.data.end());
        }
        std::size_t scan = 2;
        while (!(jpeg[scan] == 0xFF && jpeg[scan + 1] == 0xDA)) {
            scan += 2 + (jpeg[scan + 2] << 8 | jpeg[scan + 3]);
        }
        damaged.insert(damaged.end(), jpeg.begin() + static_cast<long>(scan), jpeg.end());
        const std::string path = Path("damaged.jpg");
        WriteBytes(path, damaged);

        TPictureInfo info;
        TBitmap32 picture;
        ASSERT_NO_THROW(picture = Read(path, info));
        EXPECT_EQ(picture, expected);
        ASSERT_EQ(info.warnings.size(), 1u) << info.WarningText();
        EXPECT_NE(info.warnings[0].find(c.warning), std::string::npos) << info.warnings[0];
        const std::string out = Path("out.jpg");
        picture.WriteJpegFile(out, &info.metadata);
        const auto tags = Tags(out, {c.droppedTag, "Creator", "Comment"});
        EXPECT_EQ(tags.at(c.droppedTag), "");
        EXPECT_EQ(tags.at("Creator"), "Ann Example");
        EXPECT_EQ(tags.at("Comment"), "first light");
    }
}

TEST_F(MetadataTest, OrientationIsReadAndSet) {
    const std::string in = Photo("photo");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        ASSERT_TRUE(RunCommand("exiftool -q -overwrite_original -Orientation#=" +
                               std::to_string(orientation) + " '" + in + "'"));
        TPictureInfo info;
        const TBitmap32 picture = Read(in, info);
        EXPECT_EQ(info.metadata.Orientation(), orientation);
        info.metadata.SetOrientation(1);
        const std::string out = Path("out" + std::to_string(orientation) + ".jpg");
        picture.WriteJpegFile(out, &info.metadata);
    }
    // All eight exports in one exiftool run: orientation 1, the rest of the EXIF kept.
    const std::string listing = Output("exiftool -n -T -Orientation -Make '" + dir_.string() +
                                       "'/out?.jpg | sort | uniq -c | tr -s ' '");
    EXPECT_EQ(listing, " 8 1\tNorcam");
}

// A photo with 60 % of its picture data gone still loads; the warning says so.
TEST_F(MetadataTest, TruncatedPictureWarns) {
    const std::string in = Photo("photo");
    Bytes bytes = ReadBytes(in);
    std::size_t scan = 2;
    while (!(bytes[scan] == 0xFF && bytes[scan + 1] == 0xDA)) {
        scan += 2 + (bytes[scan + 2] << 8 | bytes[scan + 3]);
    }
    bytes.resize(scan + (bytes.size() - scan) * 4 / 10);
    const std::string cut = Path("cut.jpg");
    WriteBytes(cut, bytes);
    TPictureInfo info;
    TBitmap32 picture;
    ASSERT_NO_THROW(picture = Read(cut, info));
    EXPECT_EQ(picture.Width(), 48);
    EXPECT_EQ(picture.Height(), 32);
    EXPECT_NE(info.WarningText().find("Premature end of JPEG file"), std::string::npos)
        << info.WarningText();
    EXPECT_EQ(info.metadata.Orientation(), 6);
}

// ----- CMYK -----

// Writes C, M, Y, K samples (4 bytes a pixel) as a JPEG in the given colour space.
void WriteCmykJpeg(const std::string& path, const Bytes& cmyk, int w, int h, J_COLOR_SPACE space,
                   bool adobeMarker) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, space);
    c.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&c, 92, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < h; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(cmyk.data() + static_cast<std::size_t>(y) * w * 4);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

// libjpeg's own C, M, Y, K samples of a four-component file, as stored.
Bytes DecodedCmyk(const std::string& path, bool& adobe) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    adobe = d.saw_Adobe_marker;
    d.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&d);
    Bytes out(static_cast<std::size_t>(d.output_width) * d.output_height * 4);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row =
            out.data() + static_cast<std::size_t>(d.output_scanline) * d.output_width * 4;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return out;
}

// R = (255 - C)(255 - K) / 255 and so on, after undoing Adobe's inversion.
void ExpectFormula(const std::string& path) {
    bool adobe = false;
    const Bytes cmyk = DecodedCmyk(path, adobe);
    TBitmap32 picture;
    picture.ReadPictureFile(path);
    ASSERT_EQ(cmyk.size(), static_cast<std::size_t>(picture.Width()) * picture.Height() * 4);
    int worst = 0;
    for (int i = 0; i < picture.Width() * picture.Height(); ++i) {
        const unsigned char* p = &cmyk[static_cast<std::size_t>(i) * 4];
        auto ink = [&](int j) { return adobe ? 255 - p[j] : p[j]; };
        const TColor32 c = picture.Bits()[i];
        const int got[3] = {static_cast<int>(RedOf(c)), static_cast<int>(GreenOf(c)),
                            static_cast<int>(BlueOf(c))};
        for (int j = 0; j < 3; ++j) {
            const double want = (255.0 - ink(j)) * (255.0 - ink(3)) / 255.0;
            worst = std::max(worst, static_cast<int>(std::abs(got[j] - want) + 0.5));
        }
        ASSERT_EQ(c >> 24, 255u);
    }
    EXPECT_LE(worst, 1);
}

TEST_F(MetadataTest, CmykAndYcckDecodeByTheFormula) {
    const int w = 37, h = 21;
    Bytes cmyk;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            cmyk.insert(cmyk.end(),
                        {static_cast<unsigned char>(x * 7), static_cast<unsigned char>(y * 12),
                         static_cast<unsigned char>((x * y) & 255),
                         static_cast<unsigned char>(x < w / 2 ? 0 : 200 - y)});
        }
    }
    struct Case {
        const char* name;
        J_COLOR_SPACE space;
        bool adobe;
    };
    for (const Case& c : {Case{"cmyk_adobe", JCS_CMYK, true}, Case{"cmyk_plain", JCS_CMYK, false},
                          Case{"ycck_adobe", JCS_YCCK, true}}) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(std::string(c.name) + ".jpg");
        WriteCmykJpeg(path, cmyk, w, h, c.space, c.adobe);
        ExpectFormula(path);
    }
    // What a real tool writes for print: ImageMagick's CMYK JPEG (YCCK with Adobe's marker).
    ASSERT_TRUE(RunCommand("convert -size 40x30 gradient:red-blue -colorspace CMYK '" +
                           Path("magick.jpg") + "'"));
    ExpectFormula(Path("magick.jpg"));
    // And both ways of getting CMYK through the 236-colour path give opaque colours.
    TBitmap32 low;
    ASSERT_NO_THROW(low.ReadPictureFile(Path("magick.jpg"), true));
    EXPECT_EQ(low.Width(), 40);
    EXPECT_EQ(low.Bits()[0] >> 24, 255u);
}

// ----- crafted pictures -----

// A picture of width x height whose header is real but whose scans hold no data.
// progressive: scans repeated DC scans; otherwise one baseline scan, empty.
Bytes CraftedJpeg(int width, int height, bool progressive, int scans) {
    Bytes j{0xFF, 0xD8};
    auto segment = [&j](int marker, const Bytes& body) {
        const std::size_t n = body.size() + 2;
        j.insert(j.end(), {0xFF, static_cast<unsigned char>(marker),
                           static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
        j.insert(j.end(), body.begin(), body.end());
    };
    Bytes dqt{0x00};
    dqt.insert(dqt.end(), 64, 1);
    segment(0xDB, dqt);
    segment(progressive ? 0xC2 : 0xC0,
            {8, static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
             static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width), 1, 1, 0x11,
             0});
    // One code of one bit for each table: enough for any scan header.
    Bytes dc{0x00, 1};
    dc.insert(dc.end(), 15, 0);
    dc.push_back(0);
    segment(0xC4, dc);
    Bytes ac{0x10, 1};
    ac.insert(ac.end(), 15, 0);
    ac.push_back(0);
    segment(0xC4, ac);
    for (int i = 0; i < scans; ++i) {
        segment(0xDA, {1, 1, 0x00, 0, static_cast<unsigned char>(progressive ? 0 : 63), 0});
    }
    j.insert(j.end(), {0xFF, 0xD9});
    return j;
}

TEST_F(MetadataTest, CraftedHeadersCostLittle) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* refusal; // empty: reads with a warning
    };
    const Case cases[] = {
        // 16384 x 16384 with a thousand empty scans, in 10 KB: refused before any scan.
        {"progressive_2^28_1000_scans", CraftedJpeg(16384, 16384, true, 1000),
         "too little data for a multi-scan picture"},
        // Small enough to be held, but the scans would cover it hundreds of times.
        {"progressive_512_1000_scans", CraftedJpeg(512, 512, true, 1000),
         "Too many scans for the picture's size"},
        // A baseline header of 2^28 pixels and no data: cut to its first rows, with a warning,
        // instead of a gigabyte of fill.
        {"baseline_2^28_no_data", CraftedJpeg(16384, 16384, false, 1), ""},
        // A small picture without data is grey fill in full, with a warning.
        {"baseline_64_no_data", CraftedJpeg(64, 64, false, 1), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LT(c.bytes.size(), 16000u);
        const std::string path = Path("crafted.jpg");
        WriteBytes(path, c.bytes);
        TBitmap32 b;
        TPictureInfo info;
        if (*c.refusal == '\0') {
            ASSERT_NO_THROW(b.ReadPictureFile(path, false, &info));
            EXPECT_FALSE(info.warnings.empty());
            EXPECT_LE(static_cast<long long>(b.Width()) * b.Height(), kMaxFillPixels);
            continue;
        }
        try {
            b.ReadPictureFile(path, false, &info);
            ADD_FAILURE() << "read without error";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

// A real picture whose header announces 16384 rows but whose data holds 16: the picture ends
// with its data instead of a gigabyte of fill.
TEST_F(MetadataTest, PictureEndsWithItsDataWhenTheHeaderAnnouncesFarMore) {
    const int width = 2048;
    WritePpm(Path("strip.ppm"), TestPicture(width, 32));
    ASSERT_TRUE(
        RunCommand("cjpeg -outfile '" + Path("strip.jpg") + "' '" + Path("strip.ppm") + "'"));
    Bytes jpeg = ReadBytes(Path("strip.jpg"));
    TBitmap32 whole;
    whole.ReadPictureFile(Path("strip.jpg"));
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 16384 >> 8;
            jpeg[i + 6] = 0;
            break;
        }
    }
    jpeg.resize(jpeg.size() - 2); // and no end marker
    const std::string path = Path("tall.jpg");
    WriteBytes(path, jpeg);
    TBitmap32 b;
    TPictureInfo info;
    ASSERT_NO_THROW(b.ReadPictureFile(path, false, &info));
    EXPECT_EQ(b.Width(), width);
    EXPECT_EQ(b.Height(), 32);
    // The rows before the end are the real ones; the very last one is smoothed towards the
    // fill below it by the chroma upsampling.
    for (int y = 0; y + 1 < b.Height(); ++y) {
        ASSERT_TRUE(std::equal(b.Row(y), b.Row(y) + width, whole.Row(y))) << "row " << y;
    }
    EXPECT_NE(info.WarningText().find("of 16384; the picture was cut there"), std::string::npos)
        << info.WarningText();
}

// ----- the EXIF walker -----

TEST(ExifWalker, RefusesWhatPointsOutsideAndKeepsWhatIsWhole) {
    // A little-endian TIFF header, IFD0 with Orientation 8, no next IFD.
    TExifData tiff{'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                   0,   1,   0,  0, 0, 8, 0, 0, 0, 0, 0,    0,    0};
    std::string problem;
    TExifData clean = tiff;
    EXPECT_TRUE(CleanExif(clean, problem)) << problem;
    EXPECT_EQ(clean, tiff);
    EXPECT_EQ(ExifOrientation(tiff), 8);
    EXPECT_TRUE(SetExifOrientation(clean, 3));
    EXPECT_EQ(ExifOrientation(clean), 3);

    struct Bad {
        const char* name;
        std::function<void(TExifData&)> damage;
    };
    const Bad bad[] = {
        {"short header", [](TExifData& t) { t.resize(7); }},
        {"no byte order", [](TExifData& t) { t[0] = 'X'; }},
        {"not TIFF", [](TExifData& t) { t[2] = 43; }},
        {"IFD0 outside", [](TExifData& t) { t[4] = 200; }},
        {"entries cut", [](TExifData& t) { t.resize(20); }},
        // A 4-byte ASCII value moved out of line by a larger count, pointing far away.
        {"value outside",
         [](TExifData& t) {
             t[12] = 2;
             t[14] = 100;
             t[18] = 0xF0;
         }},
        {"directory loop",
         [](TExifData& t) {
             t[10] = 0x69;
             t[11] = 0x87;
             t[12] = 4;
             t[18] = 8; // the EXIF IFD is IFD0 again
         }},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        TExifData t = tiff;
        b.damage(t);
        const TExifData before = t;
        problem.clear();
        EXPECT_FALSE(CleanExif(t, problem));
        EXPECT_FALSE(problem.empty());
        EXPECT_EQ(t, before);
        EXPECT_EQ(ExifOrientation(t), 1);
    }
}

// The fuzzer's seeds, including the crafted pictures, run here too.
TEST(FuzzSeeds, ExifAndPictureSeedsAreHandled) {
    const fs::path seeds = fs::path(HUELET_SOURCE_DIR) / "fuzz" / "seeds";
    int exif = 0, pictures = 0;
    for (const auto& entry : fs::directory_iterator(seeds / "exif")) {
        TExifData data = ReadBytes(entry.path().string());
        std::string problem;
        const int orientation = ExifOrientation(data);
        EXPECT_GE(orientation, 1);
        EXPECT_LE(orientation, 8);
        if (CleanExif(data, problem)) {
            TExifData again = data;
            EXPECT_TRUE(CleanExif(again, problem)) << entry.path();
            EXPECT_EQ(again, data) << entry.path();
        }
        ++exif;
    }
    for (const auto& entry : fs::directory_iterator(seeds / "picture")) {
        TBitmap32 b;
        TPictureInfo info;
        try {
            b.ReadPictureFile(entry.path().string(), false, &info);
        } catch (const EPictureError&) {
        }
        ++pictures;
    }
    EXPECT_GT(exif, 3);
    EXPECT_GT(pictures, 3);
}

} // namespace
