#include "tools/splash/work.h"

#include "base/files.h"
#include "engine/bitmap32.h"
#include "engine/bmp_codec.h"
#include "engine/filter.h"
#include "engine/geometry.h"
#include "engine/jpeg_codec.h"
#include "engine/png_codec.h"
#include "engine/splash_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace splash {

namespace {

// libjpeg's largest width or height.
constexpr long long kMaxJpegDimension = 65500;

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

std::string NameOf(const std::string& path, bool input) {
    if (path != kStdio)
        return path;
    return input ? "standard input" : "standard output";
}

[[noreturn]] void FailRead(const std::string& name, const std::string& why) {
    Fail(1, "cannot read input: Cannot read picture file " + Quoted(name) + ": " + why);
}

// An input opened for reading, seekable: a regular file as it is, anything else (a pipe, a
// terminal, a socket) read whole into memory first, so that standard input and /dev/stdin work
// and the picture can be read twice.
class TInput {
  public:
    explicit TInput(const std::string& path) : name_(NameOf(path, true)) {
        int fd = 0;
        if (path != kStdio) {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                Fail(1, "cannot read input: Cannot open picture file " + Quoted(name_) + ": " +
                            std::strerror(errno));
        }
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            Close(fd);
            FailRead(name_, std::strerror(error));
        }
        if (S_ISDIR(st.st_mode)) {
            Close(fd);
            FailRead(name_, std::strerror(EISDIR));
        }
        if (S_ISREG(st.st_mode) && ::lseek(fd, 0, SEEK_CUR) >= 0) {
            file_.reset(::fdopen(fd == 0 ? ::fcntl(0, F_DUPFD_CLOEXEC, 0) : fd, "rb"));
        } else {
            ReadAll(fd);
            Close(fd);
            if (data_.empty())
                Fail(1, "cannot read input: Picture file " + Quoted(name_) + " is too short");
            file_.reset(::fmemopen(data_.data(), data_.size(), "rb"));
        }
        if (!file_)
            FailRead(name_, std::strerror(errno));
    }

    std::FILE* File() const { return file_.get(); }
    const std::string& Name() const { return name_; }

    void Rewind() const {
        if (std::fseek(file_.get(), 0, SEEK_SET) != 0)
            FailRead(name_, std::strerror(errno));
    }

  private:
    static void Close(int fd) {
        if (fd != 0)
            ::close(fd);
    }

    void ReadAll(int fd) {
        std::size_t used = 0;
        for (;;) {
            if (data_.size() - used < (1 << 16))
                data_.resize(std::max<std::size_t>(data_.size() * 2, 1 << 20));
            const ssize_t n = ::read(fd, data_.data() + used, data_.size() - used);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const int error = errno;
                Close(fd);
                FailRead(name_, std::strerror(error));
            }
            if (n == 0)
                break;
            used += static_cast<std::size_t>(n);
        }
        data_.resize(used);
    }

    std::string name_;
    std::string data_;
    TFilePtr file_;
};

// Where a picture goes: a file, replaced only by Commit, or standard output.
class TOutput {
  public:
    explicit TOutput(const std::string& path) : name_(NameOf(path, false)) {
        if (path == kStdio)
            return;
        try {
            file_.emplace(path);
            file_->Stream();
        } catch (const base::IoError& e) {
            Fail(1, "cannot write " + Quoted(name_) + ": " + e.Reason());
        }
    }

    std::FILE* File() { return file_ ? file_->Stream() : stdout; }
    const std::string& Name() const { return name_; }

    // Everything is written; nothing is replaced yet.
    void Finish() {
        if (!file_) {
            if (std::fflush(stdout) != 0 || std::ferror(stdout))
                Fail(1, "cannot write " + Quoted(name_) + ": " + std::strerror(errno));
            return;
        }
        Do([this] { file_->Finish(); });
    }
    void Commit() {
        if (file_)
            Do([this] { file_->Commit(); });
    }

  private:
    template <typename F> void Do(F step) {
        try {
            step();
        } catch (const base::IoError& e) {
            Fail(1, "cannot write " + Quoted(name_) + ": " + e.Reason());
        }
    }

    std::string name_;
    std::optional<base::FileReplacement> file_;
};

enum class TInputFormat { Jpeg, Png, Bmp };

// What the first bytes of a picture say it is, and the size it announces. Anything that is
// neither PNG nor "BM" goes to the JPEG reader, whose message says what is wrong.
struct THeader {
    TInputFormat format = TInputFormat::Jpeg;
    long long width = 0, height = 0;
    unsigned char bytes[kBmpHeaderSize] = {};
    std::size_t size = 0;
    TPictureInfo info; // a JPEG's metadata and the header's warnings
};

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

THeader ReadHeader(const TInput& in) {
    THeader h;
    h.size = std::fread(h.bytes, 1, sizeof h.bytes, in.File());
    if (std::ferror(in.File()))
        FailRead(in.Name(), std::strerror(errno));
    in.Rewind();
    try {
        if (IsPngSignature(h.bytes, h.size)) {
            h.format = TInputFormat::Png;
            if (h.size < 24 || std::memcmp(h.bytes + 12, "IHDR", 4) != 0)
                throw EPictureError("Picture file " + Quoted(in.Name()) +
                                    " is not a valid PNG file (no header)");
            h.width = BigEndian32(h.bytes + 16);
            h.height = BigEndian32(h.bytes + 20);
        } else if (h.size >= 2 && h.bytes[0] == 'B' && h.bytes[1] == 'M') {
            h.format = TInputFormat::Bmp;
            if (h.size < kBmpHeaderSize)
                throw EPictureError("Picture file " + Quoted(in.Name()) + " is too short");
            const unsigned char* b = h.bytes;
            auto u16 = [b](int at) { return b[at] | b[at + 1] << 8; };
            auto i32 = [&](int at) {
                return static_cast<std::int32_t>(static_cast<std::uint32_t>(u16(at)) |
                                                 static_cast<std::uint32_t>(u16(at + 2)) << 16);
            };
            if (i32(14) == 12) {
                h.width = u16(18);
                h.height = u16(20);
            } else {
                h.width = i32(18);
                h.height = std::llabs(static_cast<long long>(i32(22)));
            }
        } else {
            const TJpegReader reader(in.File(), in.Name(), false);
            h.width = reader.Width();
            h.height = reader.Height();
            h.info.metadata = reader.Metadata();
            h.info.warnings = reader.Warnings();
        }
    } catch (const EPictureError& e) {
        Fail(1, std::string("cannot read input: ") + e.what());
    }
    in.Rewind();
    return h;
}

void Decode(const TInput& in, const THeader& h, TBitmap32& picture, TPictureInfo& info) {
    try {
        switch (h.format) {
        case TInputFormat::Png:
            DecodePng(TPictureInput{in.File()}, in.Name(), picture, &info.warnings);
            break;
        case TInputFormat::Bmp:
            if (std::fseek(in.File(), kBmpHeaderSize, SEEK_SET) != 0)
                FailRead(in.Name(), std::strerror(errno));
            DecodeBmp(in.File(), h.bytes, in.Name(), picture);
            break;
        case TInputFormat::Jpeg:
            DecodeJpeg(in.File(), in.Name(), false, picture, &info);
            break;
        }
    } catch (const EPictureError& e) {
        Fail(1, std::string("cannot read input: ") + e.what());
    }
}

void WritePicture(const TBitmap32& picture, TOutput& out, TFormat format, int quality,
                  const TPictureMetadata* metadata, bool mask) {
    try {
        switch (format) {
        case TFormat::Jpeg:
            EncodeJpeg(picture, out.File(), out.Name(), quality, metadata);
            break;
        case TFormat::Png:
            if (mask)
                EncodePngGrey(picture, out.File(), out.Name());
            else
                EncodePng(picture, out.File(), out.Name());
            break;
        case TFormat::Ppm:
        case TFormat::Pgm: {
            const bool grey = format == TFormat::Pgm;
            const int w = picture.Width(), h = picture.Height();
            const std::string header =
                (grey ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
            std::vector<unsigned char> row(static_cast<size_t>(w) * (grey ? 1 : 3));
            bool ok = std::fwrite(header.data(), 1, header.size(), out.File()) == header.size();
            for (int y = 0; ok && y < h; ++y) {
                const TColor32* src = picture.Row(y);
                unsigned char* p = row.data();
                for (int x = 0; x < w; ++x) {
                    const TColor32 c = src[x];
                    if (grey) {
                        *p++ = static_cast<unsigned char>((RedOf(c) + GreenOf(c) + BlueOf(c)) / 3);
                    } else {
                        *p++ = static_cast<unsigned char>(RedOf(c));
                        *p++ = static_cast<unsigned char>(GreenOf(c));
                        *p++ = static_cast<unsigned char>(BlueOf(c));
                    }
                }
                ok = std::fwrite(row.data(), 1, row.size(), out.File()) == row.size();
            }
            if (!ok)
                Fail(1, "cannot write " + Quoted(out.Name()) + ": " + std::strerror(errno));
            break;
        }
        }
    } catch (const EPictureError& e) {
        Fail(1, std::string("cannot write ") + Quoted(out.Name()) + ": " + e.what());
    }
    out.Finish();
}

void Warn(const TPictureInfo& info, const TInput& in,
          const std::function<void(const std::string&)>& warn) {
    if (!info.warnings.empty())
        warn(in.Name() + ": " + info.WarningText());
}

} // namespace

std::optional<TFileId> InputId(const std::string& path) {
    struct stat st;
    if (path == kStdio ? ::fstat(0, &st) != 0 || !S_ISREG(st.st_mode)
                       : ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return TFileId{st.st_dev, st.st_ino};
}

std::vector<std::string> Refusals(const std::vector<TJob>& jobs, bool force) {
    std::vector<std::pair<TFileId, std::string>> inputs;
    for (const TJob& job : jobs)
        if (const std::optional<TFileId> id = InputId(job.in))
            inputs.emplace_back(*id, job.in);
    std::vector<std::string> refusals;
    auto check = [&](const std::string& out) {
        if (out.empty())
            return;
        if (out == kStdio) {
            if (::isatty(1))
                refusals.push_back("refusing to write a picture to the terminal; redirect "
                                   "standard output or name an output file");
            return;
        }
        struct stat st;
        if (::lstat(out.c_str(), &st) != 0)
            return;
        if (::stat(out.c_str(), &st) == 0) {
            for (const auto& [id, in] : inputs)
                if (id == TFileId{st.st_dev, st.st_ino}) {
                    refusals.push_back(Quoted(out) + " is the input " + Quoted(in) +
                                       "; refusing to write over it");
                    return;
                }
        }
        if (!force)
            refusals.push_back(Quoted(out) + " exists; use --force to replace it");
    };
    for (const TJob& job : jobs) {
        check(job.out);
        check(job.mask);
    }
    // The result and the mask may be one file under two names.
    for (const TJob& job : jobs) {
        if (job.mask.empty() || job.out == kStdio)
            continue;
        const std::optional<TFileId> a = InputId(job.out), b = InputId(job.mask);
        if (a && b && *a == *b)
            refusals.push_back("the mask and the result cannot go to the same file " +
                               Quoted(job.out));
    }
    return refusals;
}

void SplashFile(const TJob& job, const TOptions& o,
                const std::function<void(const std::string&)>& warn) {
    const TInput in(job.in);
    THeader header = ReadHeader(in);
    if (header.width <= 0 || header.height <= 0)
        Fail(1, "cannot read input: " + Quoted(in.Name()) + " is an empty picture (" +
                    std::to_string(header.width) + " x " + std::to_string(header.height) +
                    " pixels)");
    const std::optional<TFormat> maskFormat =
        job.mask.empty() ? std::nullopt : FormatOfExtension(job.mask);
    // What the output formats cannot hold is refused before the picture costs anything.
    for (const auto& [file, format] :
         {std::pair{job.out, std::optional{job.outFormat}}, {job.mask, maskFormat}}) {
        if (format == TFormat::Jpeg &&
            (header.width > kMaxJpegDimension || header.height > kMaxJpegDimension))
            Fail(1, "cannot write " + Quoted(NameOf(file, false)) + ": the picture " +
                        Quoted(in.Name()) + " is " + std::to_string(header.width) + " x " +
                        std::to_string(header.height) + " pixels, and JPEG holds at most " +
                        std::to_string(kMaxJpegDimension) + " in each direction");
    }
    const TSelection selection = o.Selection();

    // JPEG to JPEG streams rows when nothing needs the whole picture: the bytes are those of
    // the whole-picture route below.
    TPictureMetadata& metadata = header.info.metadata;
    const bool streamable = header.format == TInputFormat::Jpeg && job.outFormat == TFormat::Jpeg &&
                            job.mask.empty() && (!o.autoOrient || metadata.Orientation() == 1);
    if (streamable) {
        TSplashStreamOptions streamOptions;
        streamOptions.metadata = o.strip ? nullptr : &metadata;
        streamOptions.quality = o.quality;
        TOutput out(job.out);
        TSplashStreamResult r;
        bool cut = false;
        try {
            const TPictureInput input{in.File()};
            r = o.filter ? SplashJpegStreamFiltered(input, in.Name(), selection, out.File(),
                                                    out.Name(), streamOptions)
                         : SplashJpegStream(input, in.Name(), selection, out.File(), out.Name(),
                                            streamOptions);
        } catch (const EPictureCut&) {
            // Its data ends long before its last row: the whole picture is cut there instead.
            cut = true;
        } catch (const EPictureError& e) {
            const std::string what = e.what();
            if (what.find(Quoted(out.Name())) != std::string::npos)
                Fail(1, "cannot write " + Quoted(out.Name()) + ": " + what);
            Fail(1, "cannot read input: " + what);
        }
        if (!cut) {
            // The header's own warnings first, as the whole-picture route gives them.
            TPictureInfo info;
            info.warnings = header.info.warnings;
            for (const std::string& w : r.warnings)
                if (std::find(info.warnings.begin(), info.warnings.end(), w) == info.warnings.end())
                    info.warnings.push_back(w);
            Warn(info, in, warn);
            out.Finish();
            out.Commit();
            return;
        }
        in.Rewind();
    }

    TBitmap32 picture;
    TPictureInfo info;
    Decode(in, header, picture, info);
    Warn(info, in, warn);
    if (o.autoOrient && info.metadata.Orientation() != 1) {
        TBitmap32 upright;
        ApplyOrientation(picture, info.metadata.Orientation(), upright);
        picture = std::move(upright);
        info.metadata.SetOrientation(1);
    }
    const TPictureMetadata* kept = o.strip ? nullptr : &info.metadata;

    TBitmap32 mask, result;
    RenderSelection(picture, selection, mask, result);
    if (o.filter) {
        FilterMask(mask);
        ComposeResult(picture, mask, result);
    }
    picture = TBitmap32();

    // Both files are complete before either replaces anything.
    TOutput out(job.out);
    WritePicture(result, out, job.outFormat, o.quality, kept, false);
    std::optional<TOutput> maskOut;
    if (!job.mask.empty()) {
        maskOut.emplace(job.mask);
        WritePicture(mask, *maskOut, *maskFormat, o.quality, nullptr, true);
    }
    out.Commit();
    if (maskOut)
        maskOut->Commit();
}

} // namespace splash
