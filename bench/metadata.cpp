// What keeping a photograph's metadata costs a 24-megapixel export: read the JPEG (with its
// markers) and write the result JPEG, with a camera's worth of metadata or with none.
#include "engine/bitmap32.h"
#include "engine/jpeg_codec.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000; // 24 megapixels
// A profile of three chunks, as large ones come; a made-up one stands in if it is missing.
const char* const kProfile = "/usr/share/color/icc/LCMSLABI.ICM";

using Bytes = std::vector<std::uint8_t>;

TBitmap32 PhotoLike(int w, int h) {
    TBitmap32 b;
    b.Resize(w, h);
    std::uint32_t state = 12345;
    for (int y = 0; y < h; ++y) {
        TColor32* row = b.Row(y);
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            const auto grain = static_cast<int>(state >> 28);
            const int r = static_cast<int>(127 + 120 * std::sin(x * 0.003) * std::cos(y * 0.002));
            row[x] = 0xFF000000u | static_cast<TColor32>((r + grain) & 255) << 16 |
                     static_cast<TColor32>((x / 24 + grain) & 255) << 8 |
                     static_cast<TColor32>((y / 16 + grain) & 255);
        }
    }
    return b;
}

void Segment(Bytes& out, int marker, const Bytes& body) {
    const std::size_t n = body.size() + 2;
    out.insert(out.end(), {0xFF, static_cast<std::uint8_t>(marker),
                           static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    out.insert(out.end(), body.begin(), body.end());
}

// EXIF with 40 IFD0 entries and a 12 KB thumbnail, 8 KB of XMP, the ICC chunks, a comment.
Bytes CameraMetadata() {
    Bytes tiff{'I', 'I', 42, 0, 8, 0, 0, 0, 40, 0};
    const std::size_t values = 8 + 2 + 40 * 12 + 4;
    for (int i = 0; i < 40; ++i) {
        const std::uint32_t at = static_cast<std::uint32_t>(values + i * 32);
        tiff.insert(tiff.end(),
                    {static_cast<std::uint8_t>(0x10 + i), 0x01, 2, 0, 32, 0, 0, 0,
                     static_cast<std::uint8_t>(at), static_cast<std::uint8_t>(at >> 8), 0, 0});
    }
    const std::uint32_t ifd1 = static_cast<std::uint32_t>(values + 40 * 32);
    tiff.insert(tiff.end(),
                {static_cast<std::uint8_t>(ifd1), static_cast<std::uint8_t>(ifd1 >> 8), 0, 0});
    tiff.resize(ifd1, 'v');
    const std::uint32_t thumb = ifd1 + 2 + 2 * 12 + 4, length = 12000;
    auto entry = [&tiff](std::uint16_t tag, std::uint32_t value) {
        tiff.insert(tiff.end(),
                    {static_cast<std::uint8_t>(tag), static_cast<std::uint8_t>(tag >> 8), 4, 0, 1,
                     0, 0, 0, static_cast<std::uint8_t>(value),
                     static_cast<std::uint8_t>(value >> 8), 0, 0});
    };
    tiff.insert(tiff.end(), {2, 0});
    entry(0x0201, thumb);
    entry(0x0202, length);
    tiff.insert(tiff.end(), 4, 0);
    tiff.resize(thumb + length, 0x55);

    Bytes out;
    Bytes exif{'E', 'x', 'i', 'f', 0, 0};
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    Segment(out, 0xE1, exif);
    std::string xmp = "http://ns.adobe.com/xap/1.0/";
    xmp.push_back('\0');
    xmp += "<x:xmpmeta xmlns:x='adobe:ns:meta/'>" + std::string(8000, ' ') + "</x:xmpmeta>";
    Segment(out, 0xE1, Bytes(xmp.begin(), xmp.end()));
    std::ifstream in(kProfile, std::ios::binary);
    Bytes profile{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (profile.empty()) {
        profile.assign(150000, 7);
        profile[1] = 0x02; // its header's size: 150000 = 0x000249F0
        profile[2] = 0x49;
        profile[3] = 0xF0;
        profile[0] = 0;
    }
    const std::size_t chunk = 65519;
    const auto count = static_cast<std::uint8_t>((profile.size() + chunk - 1) / chunk);
    for (std::uint8_t i = 0; i < count; ++i) {
        Bytes body{'I',
                   'C',
                   'C',
                   '_',
                   'P',
                   'R',
                   'O',
                   'F',
                   'I',
                   'L',
                   'E',
                   0,
                   static_cast<std::uint8_t>(i + 1),
                   count};
        const auto from = profile.begin() + static_cast<long>(i * chunk);
        body.insert(body.end(), from,
                    profile.end() - from > static_cast<long>(chunk)
                        ? from + static_cast<long>(chunk)
                        : profile.end());
        Segment(out, 0xE2, body);
    }
    const std::string comment = "first light";
    Segment(out, 0xFE, Bytes(comment.begin(), comment.end()));
    return out;
}

struct TData {
    std::filesystem::path folder;
    std::string plain, tagged, out;

    TData() {
        std::string pattern = (std::filesystem::temp_directory_path() / "huelet-bench-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        folder = pattern;
        plain = (folder / "plain.jpg").string();
        tagged = (folder / "tagged.jpg").string();
        out = (folder / "out.jpg").string();
        PhotoLike(kWidth, kHeight).WriteJpegFile(plain);
        std::ifstream in(plain, std::ios::binary);
        const Bytes jpeg{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // After SOI and JFIF, where cameras and our writer put them.
        const std::size_t jfif = 4 + (jpeg[4] << 8 | jpeg[5]);
        Bytes withMetadata(jpeg.begin(), jpeg.begin() + static_cast<long>(jfif));
        const Bytes metadata = CameraMetadata();
        withMetadata.insert(withMetadata.end(), metadata.begin(), metadata.end());
        withMetadata.insert(withMetadata.end(), jpeg.begin() + static_cast<long>(jfif), jpeg.end());
        std::ofstream(tagged, std::ios::binary)
            .write(reinterpret_cast<const char*>(withMetadata.data()),
                   static_cast<std::streamsize>(withMetadata.size()));
    }
    ~TData() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

TData& Data() {
    static TData data;
    return data;
}

// The export as huelet-splash and the window do it: decode, then encode the picture.
void BM_Export(benchmark::State& state) {
    const bool keep = state.range(0) != 0;
    TData& d = Data();
    TBitmap32 picture;
    TPictureInfo info;
    for (auto _ : state) {
        picture.ReadPictureFile(keep ? d.tagged : d.plain, false, &info);
        picture.WriteJpegFile(d.out, keep ? &info.metadata : nullptr);
    }
    if (keep && info.metadata.segments.size() < 4) {
        state.SkipWithError("the metadata was not kept");
    }
    state.counters["markers"] = static_cast<double>(info.metadata.segments.size());
}
BENCHMARK(BM_Export)->ArgName("metadata")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The metadata work alone: reading the header with its markers, and keeping them.
void BM_ReadHeader(benchmark::State& state) {
    TData& d = Data();
    TPictureInfo info;
    for (auto _ : state) {
        long long w = 0, h = 0;
        TBitmap32::ReadPictureHeader(state.range(0) != 0 ? d.tagged : d.plain, w, h, &info);
        benchmark::DoNotOptimize(info);
    }
}
BENCHMARK(BM_ReadHeader)->ArgName("metadata")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
