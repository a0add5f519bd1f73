#include "engine/splash_stream.h"

#include "engine/codec_limits.h"
#include "engine/filter.h"
#include "engine/mask_bits.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
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

// The decoder reads a FILE; an input with bytes already read (or only in memory) becomes one
// through a cookie that hands out the head first, then the rest of the file.
struct TInputFile {
    std::FILE* file = nullptr;
    std::unique_ptr<TInputReader> reader;

    explicit TInputFile(const TPictureInput& in) {
        if (in.file != nullptr && in.headSize == 0) {
            file = in.file;
            return;
        }
        reader = std::make_unique<TInputReader>(in);
        cookie_io_functions_t io{};
        io.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
            auto* r = static_cast<TInputReader*>(cookie);
            const std::size_t done = r->Read(buffer, size);
            return done == 0 && r->Failed() ? -1 : static_cast<ssize_t>(done);
        };
        file = fopencookie(reader.get(), "rb", io);
        if (file == nullptr)
            throw EPictureError("Not enough memory to read a picture");
    }
    ~TInputFile() {
        if (reader != nullptr && file != nullptr)
            std::fclose(file);
    }
    TInputFile(const TInputFile&) = delete;
    TInputFile& operator=(const TInputFile&) = delete;
};

// One decoding pass: each strip of rows goes to onStrip(rows, first row, count). The same size
// limit and the same cut of a picture whose data ends early as DecodeJpeg.
template <typename OnStrip>
std::vector<std::string> DecodeStrips(const TPictureInput& in, const std::string& inPath,
                                      bool quantize, int& width, int& height, OnStrip onStrip,
                                      const std::function<void()>& onHeader) {
    TInputFile input(in);
    TJpegReader reader(input.file, inPath, quantize);
    width = reader.Width();
    height = reader.Height();
    CheckDecodeSize(width, height, inPath);
    onHeader();
    reader.Start();
    TStrip strip(width, height);
    for (int y = 0; y < height;) {
        const int done = reader.ReadRows(strip.Rows(), std::min(kStripRows, height - y));
        if (done == 0)
            break;
        const int ended = reader.RowsBeforeDataEnded();
        if (ended >= 0 &&
            ended<height&& static_cast<long long>(height - ended) * width> kMaxFillPixels)
            throw EPictureCut("Picture file " + QuotedPath(inPath) + " ends at row " +
                              std::to_string(ended) + " of " + std::to_string(height));
        onStrip(strip, y, done);
        y += done;
    }
    reader.Finish();
    return reader.Warnings();
}

} // namespace

TSplashStreamResult SplashJpegStream(const TPictureInput& in, const std::string& inPath,
                                     const TSelection& selection, std::FILE* out,
                                     const std::string& outPath,
                                     const TSplashStreamOptions& options) {
    TSplashStreamResult r;
    std::unique_ptr<TJpegWriter> writer;
    r.warnings = DecodeStrips(
        in, inPath, options.quantize, r.width, r.height,
        [&](TStrip& strip, int, int count) {
            for (int i = 0; i < count; ++i)
                RenderRow(strip.Rows()[i], selection, strip.MaskRow(), strip.Rows()[i], r.width);
            writer->WriteRows(strip.Rows(), count);
        },
        [&] {
            writer = std::make_unique<TJpegWriter>(out, outPath, r.width, r.height, options.quality,
                                                   options.metadata);
        });
    writer->Finish();
    return r;
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
    DecodeStrips(
        in, inPath, options.quantize, width, height,
        [&](TStrip& strip, int y, int count) {
            for (int i = 0; i < count; ++i) {
                RenderRow(strip.Rows()[i], selection, strip.MaskRow(), strip.Rows()[i], width);
                mask.SetRow(y + i, strip.MaskRow());
            }
        },
        [&] { mask.Resize(width, height); });
    FilterMaskBits(mask);
    if (in.file != nullptr && std::fseek(in.file, start, SEEK_SET) != 0) {
        throw EPictureError("Cannot read picture file " + QuotedPath(inPath) +
                            " twice (needed to filter the mask): " + std::strerror(errno));
    }
    TSplashStreamResult r;
    std::unique_ptr<TJpegWriter> writer;
    r.warnings = DecodeStrips(
        in, inPath, options.quantize, r.width, r.height,
        [&](TStrip& strip, int y, int count) {
            for (int i = 0; i < count; ++i) {
                mask.GetRow(y + i, strip.MaskRow());
                ComposeRow(strip.Rows()[i], strip.MaskRow(), strip.Rows()[i], r.width);
            }
            writer->WriteRows(strip.Rows(), count);
        },
        [&] {
            if (r.width != width || r.height != height)
                throw EPictureError("Picture file " + QuotedPath(inPath) +
                                    " changed while being read");
            writer = std::make_unique<TJpegWriter>(out, outPath, r.width, r.height, options.quality,
                                                   options.metadata);
        });
    writer->Finish();
    return r;
}
