#include "engine/jpeg_rows.h"

#include "engine/codec_limits.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <type_traits>

#include <jerror.h>
#include <jpeglib.h>

// The settings here are those of DecodeJpeg and EncodeJpeg; the streaming tests compare the
// bytes of both routes. Fatal libjpeg errors longjmp back into the function that called setjmp,
// whose locals are all trivially destructible; the owner destroys the libjpeg object.

namespace {

constexpr int kQuantizedColors = 236;
constexpr int kEncodeQuality = 90;
constexpr int kMaxScans = 1000;
constexpr std::size_t kMaxWarnings = 32;
constexpr std::size_t kInputBufferSize = 64 * 1024;

constexpr J_COLOR_SPACE kPixelColorSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
constexpr J_COLOR_SPACE kPixelColorSpaceNoAlpha =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    std::vector<std::string>* warnings;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return;
    }
    cinfo->err->num_warnings++;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (err->warnings == nullptr || err->warnings->size() >= kMaxWarnings) {
        return;
    }
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    // Called from inside libjpeg: nothing may be thrown through it.
    try {
        err->warnings->emplace_back(text);
    } catch (...) {
    }
}

void OutputMessage(j_common_ptr) {}

void SetUpErrors(ErrorManager& err, std::vector<std::string>* warnings) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.message[0] = '\0';
    err.warnings = warnings;
}

void LimitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "Too many scans (more than %d)",
                      kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

// A source manager over TInputReader that ends the data as libjpeg's stdio source does: an
// empty input is fatal, an early end is a warning followed by a made-up end-of-image marker.
struct Source {
    jpeg_source_mgr pub;
    TInputReader* reader;
    bool startOfFile;
    JOCTET buffer[kInputBufferSize];
};

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<Source*>(cinfo->src)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    std::size_t n = src->reader->Read(src->buffer, sizeof src->buffer);
    if (n == 0) {
        if (src->reader->Failed()) {
            auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
            std::snprintf(err->message, sizeof err->message, "%s", std::strerror(errno));
            std::longjmp(err->jump, 1);
        }
        if (src->startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) {
        return;
    }
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        src->fill_input_buffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

} // namespace

struct TJpegRowReader::TState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    Source source;
    JSAMPARRAY line; // palette indices of one row, quantised output only
    TColor32 palette[256];
};
static_assert(std::is_trivially_destructible_v<TJpegRowReader::TState>);

namespace {

using ReaderState = TJpegRowReader::TState;

bool ReadHeader(ReaderState& s, bool quantize) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    s.progress.progress_monitor = LimitScans;
    s.cinfo.progress = &s.progress;
    s.source.pub.init_source = InitSource;
    s.source.pub.fill_input_buffer = FillInputBuffer;
    s.source.pub.skip_input_data = SkipInputData;
    s.source.pub.resync_to_restart = jpeg_resync_to_restart;
    s.source.pub.term_source = TermSource;
    s.cinfo.src = &s.source.pub;
    jpeg_read_header(&s.cinfo, TRUE);

    s.cinfo.scale_num = 1;
    s.cinfo.scale_denom = 1;
    s.cinfo.dct_method = JDCT_ISLOW;
    s.cinfo.do_block_smoothing = TRUE;
    s.cinfo.do_fancy_upsampling = TRUE;
    if (s.cinfo.num_components == 1 || quantize) {
        if (s.cinfo.out_color_space != JCS_GRAYSCALE) {
            s.cinfo.out_color_space = JCS_RGB;
        }
        s.cinfo.quantize_colors = TRUE;
        s.cinfo.desired_number_of_colors = kQuantizedColors;
        s.cinfo.two_pass_quantize = FALSE;
        s.cinfo.dither_mode = JDITHER_FS;
    } else {
        s.cinfo.out_color_space = kPixelColorSpace;
    }
    return true;
}

bool StartDecompress(ReaderState& s) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_start_decompress(&s.cinfo);
    if (s.cinfo.output_width != s.cinfo.image_width ||
        s.cinfo.output_height != s.cinfo.image_height) {
        std::snprintf(s.err.message, sizeof s.err.message, "Unexpected output size");
        return false;
    }
    if (s.cinfo.quantize_colors) {
        s.line = (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo), JPOOL_IMAGE,
                                              s.cinfo.output_width, 1);
        const bool grey = s.cinfo.out_color_components == 1;
        for (int i = 0; i < 256; ++i) {
            if (i >= s.cinfo.actual_number_of_colors) {
                s.palette[i] = kMaskBlack;
            } else if (grey) {
                s.palette[i] = GreyColor(s.cinfo.colormap[0][i], 255);
            } else {
                s.palette[i] = 0xFF000000u | (TColor32{s.cinfo.colormap[0][i]} << 16) |
                               (TColor32{s.cinfo.colormap[1][i]} << 8) | s.cinfo.colormap[2][i];
            }
        }
    }
    return true;
}

bool ReadScanlines(ReaderState& s, TColor32* const* rows, int count) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    const int width = static_cast<int>(s.cinfo.output_width);
    int done = 0;
    while (done < count) {
        if (!s.cinfo.quantize_colors) {
            JSAMPROW out[16];
            const int n = count - done < 16 ? count - done : 16;
            for (int i = 0; i < n; ++i) {
                out[i] = reinterpret_cast<JSAMPROW>(rows[done + i]);
            }
            done +=
                static_cast<int>(jpeg_read_scanlines(&s.cinfo, out, static_cast<JDIMENSION>(n)));
        } else {
            jpeg_read_scanlines(&s.cinfo, s.line, 1);
            const JSAMPLE* in = s.line[0];
            TColor32* out = rows[done];
            for (int x = 0; x < width; ++x) {
                out[x] = s.palette[in[x]];
            }
            ++done;
        }
    }
    return true;
}

bool FinishDecompress(ReaderState& s) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

} // namespace

TJpegRowReader::TJpegRowReader(const TPictureInput& input, const std::string& path, bool quantize)
    : s_(std::make_unique<TState>()), path_(path), reader_(input) {
    std::memset(s_.get(), 0, sizeof(TState));
    s_->cinfo.err = &s_->err.pub;
    SetUpErrors(s_->err, &warnings_);
    s_->source.reader = &reader_;
    bool ok = ReadHeader(*s_, quantize);
    if (ok) {
        try {
            CheckDecodeSize(s_->cinfo.image_width, s_->cinfo.image_height, path);
        } catch (...) {
            jpeg_destroy_decompress(&s_->cinfo);
            throw;
        }
        ok = StartDecompress(*s_);
    }
    if (!ok) {
        const std::string message = s_->err.message;
        jpeg_destroy_decompress(&s_->cinfo);
        throw EPictureError("Cannot decode JPEG file " + QuotedPath(path) + ": " + message);
    }
}

TJpegRowReader::~TJpegRowReader() {
    jpeg_destroy_decompress(&s_->cinfo);
}

int TJpegRowReader::Width() const {
    return static_cast<int>(s_->cinfo.output_width);
}

int TJpegRowReader::Height() const {
    return static_cast<int>(s_->cinfo.output_height);
}

int TJpegRowReader::NextRow() const {
    return static_cast<int>(s_->cinfo.output_scanline);
}

void TJpegRowReader::ReadRows(TColor32* const* rows, int count) {
    count = std::min(count, Height() - NextRow());
    if (count > 0 && !ReadScanlines(*s_, rows, count)) {
        throw EPictureError("Cannot decode JPEG file " + QuotedPath(path_) + ": " +
                            s_->err.message);
    }
}

void TJpegRowReader::Finish() {
    if (!FinishDecompress(*s_)) {
        throw EPictureError("Cannot decode JPEG file " + QuotedPath(path_) + ": " +
                            s_->err.message);
    }
}

struct TJpegRowWriter::TState {
    jpeg_compress_struct cinfo;
    ErrorManager err;
};
static_assert(std::is_trivially_destructible_v<TJpegRowWriter::TState>);

namespace {

using WriterState = TJpegRowWriter::TState;

bool StartCompress(WriterState& s, std::FILE* file, int width, int height,
                   const std::vector<TJpegMarker>& markers) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_create_compress(&s.cinfo);
    jpeg_stdio_dest(&s.cinfo, file);
    s.cinfo.image_width = static_cast<JDIMENSION>(width);
    s.cinfo.image_height = static_cast<JDIMENSION>(height);
    s.cinfo.input_components = 4;
    s.cinfo.in_color_space = kPixelColorSpaceNoAlpha;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, kEncodeQuality, TRUE);
    jpeg_start_compress(&s.cinfo, TRUE);
    for (const TJpegMarker& m : markers) {
        jpeg_write_marker(&s.cinfo, m.id, m.bytes.data(), static_cast<unsigned>(m.bytes.size()));
    }
    return true;
}

bool WriteScanlines(WriterState& s, const TColor32* const* rows, int count) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    int done = 0;
    while (done < count) {
        JSAMPROW in[16];
        const int n = count - done < 16 ? count - done : 16;
        for (int i = 0; i < n; ++i) {
            // libjpeg only reads input rows; its interface just lacks const.
            in[i] = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(rows[done + i]));
        }
        done += static_cast<int>(jpeg_write_scanlines(&s.cinfo, in, static_cast<JDIMENSION>(n)));
    }
    return true;
}

bool FinishCompress(WriterState& s) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_finish_compress(&s.cinfo);
    return true;
}

} // namespace

TJpegRowWriter::TJpegRowWriter(std::FILE* file, const std::string& path, int width, int height,
                               const std::vector<TJpegMarker>& markers)
    : s_(std::make_unique<TState>()), path_(path), file_(file) {
    std::memset(s_.get(), 0, sizeof(TState));
    s_->cinfo.err = &s_->err.pub;
    SetUpErrors(s_->err, nullptr);
    for (const TJpegMarker& m : markers) {
        if (m.bytes.size() > 65533) {
            throw EPictureError("Cannot write JPEG file " + QuotedPath(path) + ": a marker of " +
                                std::to_string(m.bytes.size()) + " bytes is too long");
        }
    }
    if (!StartCompress(*s_, file, width, height, markers)) {
        const std::string message = s_->err.message;
        jpeg_destroy_compress(&s_->cinfo);
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path) + ": " + message);
    }
}

TJpegRowWriter::~TJpegRowWriter() {
    jpeg_destroy_compress(&s_->cinfo);
}

void TJpegRowWriter::WriteRows(const TColor32* const* rows, int count) {
    if (!WriteScanlines(*s_, rows, count)) {
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path_) + ": " + s_->err.message);
    }
}

void TJpegRowWriter::Finish() {
    if (!FinishCompress(*s_)) {
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path_) + ": " + s_->err.message);
    }
    if (std::fflush(file_) != 0 || std::ferror(file_)) {
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path_) + ": " +
                            std::strerror(errno));
    }
}
