#include "engine/jpeg_codec.h"

#include "engine/codec_limits.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include <sys/stat.h>

#include <jerror.h>
#include <jpeglib.h>

// libjpeg reports fatal errors through error_exit, which must not return. We longjmp back into
// the function that called setjmp; those functions keep only trivially destructible locals, and
// every libjpeg object is destroyed by its owner on every path.

namespace {

constexpr int kQuantizedColors = 236;
// A real progressive file has about ten scans; thousands of tiny ones only burn time.
constexpr int kMaxScans = 1000;
// Scans cost time in proportion to the blocks they cover, whether they carry data or not: a
// picture may cover its blocks as often as 32 full scans (real scripts use 10 to 20).
constexpr long long kMaxScanPasses = 32;
constexpr long long kFreeScanBlocks = 1LL << 20;
// A multi-scan picture is held whole as coefficients (128 bytes a block) before any row comes
// out. Huffman-coded data spends at least a bit per block on DC alone, so a real file carries
// at least a byte per 8 blocks; a file that announces far more blocks than that is refused
// before the memory is taken.
constexpr long long kMaxBlocksPerByte = 16;
constexpr long long kFreeBlocks = 1LL << 16;

#if !defined(JCS_EXTENSIONS) || !defined(JCS_ALPHA_EXTENSIONS)
#error "libjpeg with the extended colour spaces (libjpeg-turbo) is required"
#endif

// TColor32 in memory: B, G, R, A on little-endian machines, A, R, G, B on big-endian ones.
constexpr J_COLOR_SPACE kPixelColorSpace =
    std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
constexpr J_COLOR_SPACE kPixelColorSpaceNoAlpha =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // Warnings go here, one per kind; null drops them.
    std::vector<std::string>* warnings;
    bool warned[JMSG_LASTMSGCODE + 1];
    bool dataEnded;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Our own fatal errors: the message is formatted in place, as nothing may need destroying.
[[noreturn]] __attribute__((format(printf, 2, 3))) void Refuse(j_common_ptr cinfo,
                                                               const char* format, ...) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    va_list args;
    va_start(args, format);
    std::vsnprintf(err->message, sizeof err->message, format, args);
    va_end(args);
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt or truncated data) are collected, never printed; trace messages dropped.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return;
    }
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->num_warnings++;
    const int code = cinfo->err->msg_code;
    // The file ended, or the scan's data stopped at the end marker: the rest is fill.
    bool ended = code == JWRN_JPEG_EOF;
    if (code == JWRN_HIT_MARKER && cinfo->is_decompressor) {
        ended = reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker == JPEG_EOI;
    }
    if (ended) {
        err->dataEnded = true;
    }
    if (err->warnings == nullptr || code < 0 || code > JMSG_LASTMSGCODE || err->warned[code]) {
        return;
    }
    err->warned[code] = true;
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    try {
        err->warnings->push_back(text);
    } catch (...) {
        // Out of memory for a warning: the picture matters more.
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

TColor32 FromCmyk(int c, int m, int y, int k, bool inverted) {
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    // (255 - C)(255 - K) / 255 rounded to nearest, where c, m, y, k are already 255 - C, ...
    const auto level = [k](int v) { return static_cast<TColor32>((v * k + 127) / 255); };
    return 0xFF000000u | level(c) << 16 | level(m) << 8 | level(y);
}

} // namespace

struct TJpegReader::TState {
    jpeg_decompress_struct cinfo; // first, so libjpeg's callbacks find the whole state
    ErrorManager err;
    jpeg_progress_mgr progress;
    bool created = false;
    long long dataSize = -1; // bytes from the stream's start to the file's end, when known
    long long blocks = 0;
    long long scanBlocks = 0;
    int lastScan = 0;
    int rowsBeforeEnd = -1;
    bool cmyk = false;
    bool inverted = false; // Adobe's CMYK stores 255 - value
    TColor32 palette[256];
    JSAMPARRAY line = nullptr;
    std::vector<TJpegSegment> saved;
    // Here rather than in the reader, so that a constructor that throws destroys it too.
    ~TState() {
        if (created) {
            jpeg_destroy_decompress(&cinfo);
        }
    }
};

namespace {

using TReaderState = TJpegReader::TState;

TReaderState& StateOf(j_common_ptr cinfo) {
    return *reinterpret_cast<TReaderState*>(cinfo);
}

void CountScanWork(j_common_ptr cinfo) {
    TReaderState& s = StateOf(cinfo);
    const jpeg_decompress_struct& d = s.cinfo;
    if (d.input_scan_number == s.lastScan) {
        return;
    }
    s.lastScan = d.input_scan_number;
    if (d.input_scan_number > kMaxScans) {
        Refuse(cinfo, "Too many scans (more than %d)", kMaxScans);
    }
    for (int i = 0; i < d.comps_in_scan; ++i) {
        s.scanBlocks += static_cast<long long>(d.cur_comp_info[i]->width_in_blocks) *
                        d.cur_comp_info[i]->height_in_blocks;
    }
    if (s.scanBlocks > kMaxScanPasses * s.blocks + kFreeScanBlocks) {
        Refuse(cinfo, "Too many scans for the picture's size (%d scans)", d.input_scan_number);
    }
}

bool ReadHeader(TReaderState& s, std::FILE* file, bool quantize) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.progress.progress_monitor = CountScanWork;
    s.cinfo.progress = &s.progress;
    jpeg_stdio_src(&s.cinfo, file);
    jpeg_save_markers(&s.cinfo, JPEG_COM, 0xFFFF);
    for (const int app : {1, 2, 13}) {
        jpeg_save_markers(&s.cinfo, JPEG_APP0 + app, 0xFFFF);
    }
    jpeg_read_header(&s.cinfo, TRUE);

    for (jpeg_saved_marker_ptr m = s.cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->data_length == m->original_length) {
            s.saved.push_back({m->marker, {m->data, m->data + m->data_length}});
        }
    }
    for (int i = 0; i < s.cinfo.num_components; ++i) {
        s.blocks += static_cast<long long>(s.cinfo.comp_info[i].width_in_blocks) *
                    s.cinfo.comp_info[i].height_in_blocks;
    }

    s.cinfo.scale_num = 1;
    s.cinfo.scale_denom = 1;
    s.cinfo.dct_method = JDCT_ISLOW;
    s.cinfo.do_block_smoothing = TRUE;
    s.cinfo.do_fancy_upsampling = TRUE;
    s.cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.inverted = s.cmyk && s.cinfo.saw_Adobe_marker;
    if (s.cmyk) {
        // Four bytes a pixel, like TColor32; turned into RGB row by row.
        s.cinfo.out_color_space = JCS_CMYK;
    }
    if (s.cinfo.num_components == 1 || quantize) {
        // Greyscale stays one component; colour is quantised in RGB (or CMYK).
        if (s.cinfo.out_color_space != JCS_GRAYSCALE && !s.cmyk) {
            s.cinfo.out_color_space = JCS_RGB;
        }
        s.cinfo.quantize_colors = TRUE;
        s.cinfo.desired_number_of_colors = kQuantizedColors;
        s.cinfo.two_pass_quantize = FALSE;
        s.cinfo.dither_mode = JDITHER_FS;
    } else if (!s.cmyk) {
        s.cinfo.out_color_space = kPixelColorSpace;
    }
    return true;
}

bool StartDecoding(TReaderState& s) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    if (jpeg_has_multiple_scans(&s.cinfo) && s.dataSize >= 0 &&
        s.blocks > kFreeBlocks + kMaxBlocksPerByte * s.dataSize) {
        Refuse(reinterpret_cast<j_common_ptr>(&s.cinfo),
               "The file holds too little data for a multi-scan picture of %u x %u pixels",
               s.cinfo.image_width, s.cinfo.image_height);
    }
    jpeg_start_decompress(&s.cinfo);
    if (s.cinfo.quantize_colors) {
        // One palette index per pixel; freed with the decompressor.
        s.line = (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo), JPOOL_IMAGE,
                                              s.cinfo.output_width, 1);
        const int components = s.cinfo.out_color_components;
        JSAMPARRAY map = s.cinfo.colormap;
        for (int i = 0; i < 256; ++i) {
            if (i >= s.cinfo.actual_number_of_colors) {
                s.palette[i] = kMaskBlack;
            } else if (components == 1) {
                s.palette[i] = GreyColor(map[0][i], 255);
            } else if (components == 4) {
                s.palette[i] = FromCmyk(map[0][i], map[1][i], map[2][i], map[3][i], s.inverted);
            } else {
                s.palette[i] = 0xFF000000u | (TColor32{map[0][i]} << 16) |
                               (TColor32{map[1][i]} << 8) | map[2][i];
            }
        }
    }
    return true;
}

bool ReadSome(TReaderState& s, TColor32* const* rows, int count, int& done) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    const int width = static_cast<int>(s.cinfo.output_width);
    if (!s.cinfo.quantize_colors) {
        JSAMPROW samples[16];
        const int n = std::min(count, 16);
        for (int i = 0; i < n; ++i) {
            samples[i] = reinterpret_cast<JSAMPROW>(rows[i]);
        }
        done = static_cast<int>(jpeg_read_scanlines(&s.cinfo, samples, static_cast<JDIMENSION>(n)));
        for (int i = 0; s.cmyk && i < done; ++i) {
            const JSAMPLE* p = samples[i];
            TColor32* out = rows[i];
            for (int x = 0; x < width; ++x, p += 4) {
                out[x] = FromCmyk(p[0], p[1], p[2], p[3], s.inverted);
            }
        }
    } else {
        done = 0;
        while (done < count && s.cinfo.output_scanline < s.cinfo.output_height) {
            jpeg_read_scanlines(&s.cinfo, s.line, 1);
            const JSAMPLE* in = s.line[0];
            TColor32* out = rows[done++];
            for (int x = 0; x < width; ++x) {
                out[x] = s.palette[in[x]];
            }
        }
    }
    return true;
}

bool FinishDecoding(TReaderState& s) {
    if (setjmp(s.err.jump)) {
        return false;
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

} // namespace

TJpegReader::TJpegReader(std::FILE* file, const std::string& path, bool quantize)
    : s_(new TState()), path_(path) {
    s_->cinfo.err = &s_->err.pub;
    SetUpErrors(s_->err, &warnings_);
    struct stat st;
    const long start = std::ftell(file);
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && start >= 0) {
        s_->dataSize = static_cast<long long>(st.st_size) - start;
    }
    if (!ReadHeader(*s_, file, quantize)) {
        Fail();
    }
    // Metadata warnings come first: they are known before any pixel.
    std::vector<std::string> header;
    header.swap(warnings_);
    metadata_ = KeepMetadata(s_->saved, warnings_);
    warnings_.insert(warnings_.end(), header.begin(), header.end());
    s_->saved.clear();
}

TJpegReader::~TJpegReader() = default;

void TJpegReader::Fail() {
    throw EPictureError("Cannot decode JPEG file " + QuotedPath(path_) + ": " + s_->err.message);
}

int TJpegReader::Width() const {
    return static_cast<int>(s_->cinfo.image_width);
}

int TJpegReader::Height() const {
    return static_cast<int>(s_->cinfo.image_height);
}

void TJpegReader::Start() {
    if (!StartDecoding(*s_)) {
        Fail();
    }
    if (s_->cinfo.output_width != s_->cinfo.image_width ||
        s_->cinfo.output_height != s_->cinfo.image_height) {
        std::snprintf(s_->err.message, sizeof s_->err.message, "Unexpected output size");
        Fail();
    }
}

int TJpegReader::ReadRows(TColor32* const* rows, int count) {
    const int before = static_cast<int>(s_->cinfo.output_scanline);
    const bool endedBefore = s_->err.dataEnded;
    int done = 0;
    if (s_->cinfo.output_scanline < s_->cinfo.output_height && !ReadSome(*s_, rows, count, done)) {
        Fail();
    }
    // In a single-scan picture the data ending during a call leaves fill from there on; a
    // multi-scan picture has already been read whole and every row holds something.
    // The rows of the row group being decoded then may still be real.
    if (!endedBefore && s_->err.dataEnded && !jpeg_has_multiple_scans(&s_->cinfo)) {
        const int group = s_->cinfo.max_v_samp_factor * DCTSIZE;
        s_->rowsBeforeEnd = std::min((before + group - 1) / group * group + group, Height());
    }
    return done;
}

int TJpegReader::RowsBeforeDataEnded() const {
    return s_->rowsBeforeEnd;
}

void TJpegReader::Finish() {
    if (!FinishDecoding(*s_)) {
        Fail();
    }
}

struct TJpegWriter::TState {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    bool created = false;
    ~TState() {
        if (created) {
            jpeg_destroy_compress(&cinfo);
        }
    }
};

namespace {

bool StartCompress(TJpegWriter::TState& e, std::FILE* file, int width, int height, int quality,
                   const TPictureMetadata* metadata) {
    if (setjmp(e.err.jump)) {
        return false;
    }
    jpeg_create_compress(&e.cinfo);
    e.created = true;
    jpeg_stdio_dest(&e.cinfo, file);
    e.cinfo.image_width = static_cast<JDIMENSION>(width);
    e.cinfo.image_height = static_cast<JDIMENSION>(height);
    // Red, green and blue straight from the pixels; the alpha byte is skipped.
    e.cinfo.input_components = 4;
    e.cinfo.in_color_space = kPixelColorSpaceNoAlpha;
    jpeg_set_defaults(&e.cinfo);
    jpeg_set_quality(&e.cinfo, quality, TRUE);
    jpeg_start_compress(&e.cinfo, TRUE);
    if (metadata != nullptr) {
        for (const TJpegSegment& segment : metadata->segments) {
            if (segment.data.size() <= 65533) {
                jpeg_write_marker(&e.cinfo, segment.marker, segment.data.data(),
                                  static_cast<unsigned>(segment.data.size()));
            }
        }
    }
    return true;
}

bool CompressRows(TJpegWriter::TState& e, const TColor32* const* rows, int count) {
    if (setjmp(e.err.jump)) {
        return false;
    }
    JSAMPROW samples[16];
    for (int done = 0; done < count;) {
        const int n = std::min(count - done, 16);
        for (int i = 0; i < n; ++i) {
            // libjpeg only reads input rows; its interface just lacks const.
            samples[i] = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(rows[done + i]));
        }
        done +=
            static_cast<int>(jpeg_write_scanlines(&e.cinfo, samples, static_cast<JDIMENSION>(n)));
    }
    return true;
}

bool FinishCompress(TJpegWriter::TState& e) {
    if (setjmp(e.err.jump)) {
        return false;
    }
    jpeg_finish_compress(&e.cinfo);
    return true;
}

} // namespace

TJpegWriter::TJpegWriter(std::FILE* file, const std::string& path, int width, int height,
                         int quality, const TPictureMetadata* metadata)
    : s_(new TState()), path_(path), file_(file) {
    s_->cinfo.err = &s_->err.pub;
    SetUpErrors(s_->err, nullptr);
    if (!StartCompress(*s_, file, width, height, std::clamp(quality, 1, 100), metadata)) {
        Fail();
    }
}

TJpegWriter::~TJpegWriter() = default;

void TJpegWriter::Fail() {
    throw EPictureError("Cannot write JPEG file " + QuotedPath(path_) + ": " + s_->err.message);
}

void TJpegWriter::WriteRows(const TColor32* const* rows, int count) {
    if (!CompressRows(*s_, rows, count)) {
        Fail();
    }
}

void TJpegWriter::Finish() {
    if (!FinishCompress(*s_)) {
        Fail();
    }
    if (std::fflush(file_) != 0 || std::ferror(file_)) {
        throw EPictureError("Cannot write JPEG file " + QuotedPath(path_) + ": " +
                            std::strerror(errno));
    }
}

std::string TPictureInfo::WarningText() const {
    std::string text;
    for (const std::string& w : warnings) {
        text += (text.empty() ? "" : "; ") + w;
    }
    return text;
}

void DecodeJpeg(std::FILE* file, const std::string& path, bool quantize, TBitmap32& bitmap,
                TPictureInfo* info) {
    TJpegReader reader(file, path, quantize);
    const int width = reader.Width();
    const int height = reader.Height();
    CheckDecodeSize(width, height, path);
    // Memory is only touched as rows arrive, so a picture whose data ends early costs the rows
    // it has, not the rows it announces.
    bitmap.Resize(width, height);
    reader.Start();
    int cut = -1;
    for (int y = 0; y < (cut >= 0 ? cut : height);) {
        TColor32* rows[16];
        const int n = std::min(16, (cut >= 0 ? cut : height) - y);
        for (int i = 0; i < n; ++i) {
            rows[i] = bitmap.Row(y + i);
        }
        const int done = reader.ReadRows(rows, n);
        if (done == 0) {
            break;
        }
        y += done;
        const int ended = reader.RowsBeforeDataEnded();
        if (cut < 0 && ended >= 0 &&
            ended<height&& static_cast<long long>(height - ended) * width> kMaxFillPixels) {
            cut = ended;
        }
    }
    std::vector<std::string> warnings = reader.Warnings();
    if (cut >= 0) {
        if (cut == 0) {
            throw EPictureError("Cannot decode JPEG file " + QuotedPath(path) +
                                ": its data ends before the first row");
        }
        TBitmap32 part;
        part.Resize(width, cut);
        std::copy(bitmap.Row(0), bitmap.Row(0) + static_cast<std::size_t>(width) * cut,
                  part.Bits());
        bitmap = std::move(part);
        warnings.push_back("the picture data ends at row " + std::to_string(cut) + " of " +
                           std::to_string(height) + "; the picture was cut there");
    } else {
        reader.Finish();
        warnings = reader.Warnings();
    }
    if (info != nullptr) {
        info->metadata = reader.Metadata();
        info->warnings = std::move(warnings);
    }
}

void EncodeJpeg(const TBitmap32& bitmap, std::FILE* file, const std::string& path, int quality,
                const TPictureMetadata* metadata) {
    TJpegWriter writer(file, path, bitmap.Width(), bitmap.Height(), quality, metadata);
    for (int y = 0; y < bitmap.Height();) {
        const TColor32* rows[16];
        const int n = std::min(16, bitmap.Height() - y);
        for (int i = 0; i < n; ++i) {
            rows[i] = bitmap.Row(y + i);
        }
        writer.WriteRows(rows, n);
        y += n;
    }
    writer.Finish();
}
