#include "engine/bitmap32.h"

#include "base/files.h"
#include "engine/bmp_codec.h"
#include "engine/codec_limits.h"
#include "engine/jpeg_codec.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

std::string QuotedPath(const std::string& path) {
    return "\"" + path + "\"";
}

void CheckDecodeSize(long long width, long long height, const std::string& path) {
    if (width < 0 || height < 0 || width > INT_MAX || height > INT_MAX ||
        width * height > kDecodeMaxPixels) {
        throw EPictureError("Picture file " + QuotedPath(path) + " is too large (" +
                            std::to_string(width) + " x " + std::to_string(height) + " pixels)");
    }
}

void TBitmap32::Resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const long long count = static_cast<long long>(width) * height;
    if (count > kMaxPicturePixels) {
        throw EPictureError("Picture too large (" + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels)");
    }
    const auto n = static_cast<std::size_t>(count);
    try {
        if (n == 0 || n < pixels_.capacity() / 4) {
            // Give back the memory of a much larger earlier picture.
            decltype(pixels_) fresh(n);
            pixels_.swap(fresh);
        } else {
            pixels_.resize(n);
        }
    } catch (const std::bad_alloc&) {
        throw EPictureError("Not enough memory for a picture of " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels");
    }
    width_ = width;
    height_ = height;
}

void TBitmap32::CopyFrom(const TBitmap32* source) {
    if (source == this) {
        return;
    }
    if (source == nullptr) {
        Resize(0, 0);
        return;
    }
    try {
        pixels_ = source->pixels_;
    } catch (const std::bad_alloc&) {
        throw EPictureError("Not enough memory to copy a picture of " +
                            std::to_string(source->width_) + " x " +
                            std::to_string(source->height_) + " pixels");
    }
    width_ = source->width_;
    height_ = source->height_;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

} // namespace

void TBitmap32::ReadPictureFile(const std::string& path, bool lowColorDisplay, TPictureInfo* info) {
    if (info != nullptr) {
        *info = TPictureInfo();
    }
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw EPictureError("Cannot open picture file " + QuotedPath(path) + ": " +
                            ErrnoText(errno));
    }
    unsigned char header[kBmpHeaderSize];
    errno = 0;
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
        if (std::ferror(file.get())) {
            throw EPictureError("Cannot read picture file " + QuotedPath(path) + ": " +
                                ErrnoText(errno));
        }
        throw EPictureError("Picture file " + QuotedPath(path) + " is too short");
    }
    if (header[0] == 'B' && header[1] == 'M') {
        DecodeBmp(file.get(), header, path, *this);
        return;
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        throw EPictureError("Cannot read picture file " + QuotedPath(path) + ": " +
                            ErrnoText(errno));
    }
    DecodeJpeg(file.get(), path, lowColorDisplay, *this, info);
}

void TBitmap32::ReadPictureHeader(const std::string& path, long long& width, long long& height,
                                  TPictureInfo* info) {
    if (info != nullptr) {
        *info = TPictureInfo();
    }
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw EPictureError("Cannot open picture file " + QuotedPath(path) + ": " +
                            ErrnoText(errno));
    }
    unsigned char h[kBmpHeaderSize];
    if (std::fread(h, 1, sizeof h, file.get()) != sizeof h) {
        throw EPictureError("Picture file " + QuotedPath(path) + " is too short");
    }
    if (h[0] == 'B' && h[1] == 'M') {
        auto u16 = [&h](int at) { return h[at] | h[at + 1] << 8; };
        auto i32 = [&](int at) {
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(u16(at)) |
                                             static_cast<std::uint32_t>(u16(at + 2)) << 16);
        };
        if (i32(14) == 12) {
            width = u16(18);
            height = u16(20);
        } else {
            width = i32(18);
            height = std::llabs(static_cast<long long>(i32(22)));
        }
        return;
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        throw EPictureError("Cannot read picture file " + QuotedPath(path) + ": " +
                            ErrnoText(errno));
    }
    const TJpegReader reader(file.get(), path, false);
    width = reader.Width();
    height = reader.Height();
    if (info != nullptr) {
        info->metadata = reader.Metadata();
        info->warnings = reader.Warnings();
    }
}

// The picture goes to a temporary file beside the target, renamed over it only when complete,
// so a failed write never leaves a truncated picture or destroys the previous one.
void TBitmap32::WriteJpegFile(const std::string& path, const TPictureMetadata* metadata) const {
    try {
        base::FileReplacement file(path);
        EncodeJpeg(*this, file.Stream(), path, kDefaultJpegQuality, metadata);
        file.Commit();
    } catch (const base::IoError& e) {
        throw EPictureError(
            std::string(e.Step() == base::IoStep::Create ? "Cannot create" : "Cannot write") +
            " JPEG file " + QuotedPath(path) + ": " + e.Reason());
    }
}
