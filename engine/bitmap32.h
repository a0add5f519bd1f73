#pragma once
#include "engine/color.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Raised when a picture file cannot be read, decoded or written.
class EPictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TPictureInfo;
class TPictureMetadata;

// Largest picture the decoders accept (width x height); larger ones are refused before allocating.
constexpr long long kMaxPicturePixels = 1LL << 28;

// 32-bit picture buffer: row-major, top row first, pixel (x, y) at x + y * width.
class TBitmap32 {
  public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // Negative sizes count as 0. Content after a size change is unspecified.
    void Resize(int width, int height);

    // No bounds check: callers guarantee 0 <= x < Width(), 0 <= y < Height().
    TColor32 PixelAt(int x, int y) const { return pixels_[x + static_cast<size_t>(y) * width_]; }
    void SetPixelAt(int x, int y, TColor32 c) { pixels_[x + static_cast<size_t>(y) * width_] = c; }

    TColor32* Bits() { return pixels_.data(); }
    const TColor32* Bits() const { return pixels_.data(); }
    TColor32* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
    const TColor32* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }

    // An exact copy of source; a null source leaves this buffer empty.
    void CopyFrom(const TBitmap32* source);

    // Replaces size and content with the picture in the file ("BM" bitmap or JPEG).
    // lowColorDisplay: decode every JPEG through the 236-level quantiser (8-bit displays).
    // info, when given, receives the metadata worth keeping and the warnings (none for bitmaps).
    // Throws EPictureError; the content is then undefined.
    void ReadPictureFile(const std::string& path, bool lowColorDisplay = false,
                         TPictureInfo* info = nullptr);

    // The width and height a picture file announces, without decoding its pixels; info, when
    // given, receives the metadata and the header's warnings.
    // Throws EPictureError when the file cannot be read or its header is not a picture's.
    static void ReadPictureHeader(const std::string& path, long long& width, long long& height,
                                  TPictureInfo* info = nullptr);

    // Writes baseline JPEG, quality 90, with the metadata if given, creating or replacing path.
    // Throws EPictureError.
    void WriteJpegFile(const std::string& path, const TPictureMetadata* metadata = nullptr) const;

    bool operator==(const TBitmap32& other) const = default;

  private:
    // Pixels are left uninitialised, so memory is only touched where a picture is written.
    template <typename T> struct TUninitialised : std::allocator<T> {
        template <typename U> struct rebind { using other = TUninitialised<U>; };
        TUninitialised() = default;
        template <typename U> TUninitialised(const TUninitialised<U>&) noexcept {}
        template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
        template <typename U, typename... A> void construct(U* p, A&&... args) {
            ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
        }
    };

    int width_ = 0;
    int height_ = 0;
    std::vector<TColor32, TUninitialised<TColor32>> pixels_;
};
