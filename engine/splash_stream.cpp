#include "engine/splash_stream.h"

#include "engine/codec_limits.h"
#include "engine/filter.h"
#include "engine/mask_bits.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

namespace {

// Rows decoded, selected and encoded together: libjpeg's own batch for 2 x 2 subsampling.
constexpr int kStripRows = 16;

// Never more rows than the picture has, so a picture one row high and very wide costs no more
// than the picture itself.
class TStrip {
  public:
    TStrip(int width, int height) {
        const int rows = std::min(kStripRows, std::max(height, 1));
        try {
            pixels_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
            mask_.resize(static_cast<std::size_t>(width));
        } catch (const std::bad_alloc&) {
            throw EPictureError("Not enough memory for rows of " + std::to_string(width) +
                                " pixels");
        }
        for (int i = 0; i < rows; ++i) {
            rows_[i] = pixels_.data() + static_cast<std::size_t>(width) * i;
        }
    }
    TColor32* const* Rows() { return rows_.data(); }
    TColor32* MaskRow() { return mask_.data(); }

  private:
    std::vector<TColor32> pixels_;
    std::vector<TColor32> mask_;
    std::array<TColor32*, kStripRows> rows_{};
};

} // namespace

TSplashStreamResult SplashJpegStream(const TPictureInput& in, const std::string& inPath,
                                     const TSelection& selection, std::FILE* out,
                                     const std::string& outPath,
                                     const TSplashStreamOptions& options) {
    TJpegRowReader reader(in, inPath, options.quantize);
    const int width = reader.Width();
    const int height = reader.Height();
    TJpegRowWriter writer(out, outPath, width, height, options.markers);
    TStrip strip(width, height);
    for (int y = 0; y < height; y += kStripRows) {
        const int count = std::min(kStripRows, height - y);
        reader.ReadRows(strip.Rows(), count);
        for (int i = 0; i < count; ++i) {
            RenderRow(strip.Rows()[i], selection, strip.MaskRow(), strip.Rows()[i], width);
        }
        writer.WriteRows(strip.Rows(), count);
    }
    reader.Finish();
    writer.Finish();
    return {width, height, reader.Warnings()};
}

TSplashStreamResult SplashJpegStreamFiltered(const TPictureInput& in, const std::string& inPath,
                                             const TSelection& selection, std::FILE* out,
                                             const std::string& outPath,
                                             const TSplashStreamOptions& options) {
    long start = 0;
    if (in.file != nullptr && (start = std::ftell(in.file)) < 0) {
        throw EPictureError("Cannot read picture file " + QuotedPath(inPath) +
                            " twice (needed to filter the mask): " + std::strerror(errno));
    }
    TMaskBits mask;
    int width = 0;
    int height = 0;
    {
        TJpegRowReader reader(in, inPath, options.quantize);
        width = reader.Width();
        height = reader.Height();
        mask.Resize(width, height);
        TStrip strip(width, height);
        for (int y = 0; y < height; y += kStripRows) {
            const int count = std::min(kStripRows, height - y);
            reader.ReadRows(strip.Rows(), count);
            for (int i = 0; i < count; ++i) {
                RenderRow(strip.Rows()[i], selection, strip.MaskRow(), strip.Rows()[i], width);
                mask.SetRow(y + i, strip.MaskRow());
            }
        }
        reader.Finish();
    }
    FilterMaskBits(mask);
    if (in.file != nullptr && std::fseek(in.file, start, SEEK_SET) != 0) {
        throw EPictureError("Cannot read picture file " + QuotedPath(inPath) +
                            " twice (needed to filter the mask): " + std::strerror(errno));
    }
    TJpegRowReader reader(in, inPath, options.quantize);
    if (reader.Width() != width || reader.Height() != height) {
        throw EPictureError("Picture file " + QuotedPath(inPath) + " changed while being read");
    }
    TJpegRowWriter writer(out, outPath, width, height, options.markers);
    TStrip strip(width, height);
    for (int y = 0; y < height; y += kStripRows) {
        const int count = std::min(kStripRows, height - y);
        reader.ReadRows(strip.Rows(), count);
        for (int i = 0; i < count; ++i) {
            mask.GetRow(y + i, strip.MaskRow());
            ComposeRow(strip.Rows()[i], strip.MaskRow(), strip.Rows()[i], width);
        }
        writer.WriteRows(strip.Rows(), count);
    }
    reader.Finish();
    writer.Finish();
    return {width, height, reader.Warnings()};
}
