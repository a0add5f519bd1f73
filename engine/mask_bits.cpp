#include "engine/mask_bits.h"

#include <algorithm>
#include <new>
#include <string>

void TMaskBits::Resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (static_cast<long long>(width) * height > kMaxPicturePixels) {
        throw EPictureError("Picture too large (" + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels)");
    }
    const int words = (width + 63) / 64;
    try {
        bits_.assign(static_cast<std::size_t>(words) * static_cast<std::size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        throw EPictureError("Not enough memory for a mask of " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels");
    }
    width_ = width;
    height_ = height;
    words_ = words;
}

void TMaskBits::SetRow(int y, const TColor32* mask) {
    std::uint64_t* out = Row(y);
    for (int w = 0; w < words_; ++w) {
        const int first = 64 * w;
        const int n = std::min(64, width_ - first);
        std::uint64_t bits = 0;
        for (int i = 0; i < n; ++i) {
            bits |= static_cast<std::uint64_t>(mask[first + i] != kMaskBlack) << i;
        }
        out[w] = bits;
    }
}

void TMaskBits::GetRow(int y, TColor32* mask) const {
    const std::uint64_t* in = Row(y);
    for (int x = 0; x < width_; ++x) {
        mask[x] = (in[x / 64] >> (x % 64)) & 1 ? kMaskWhite : kMaskBlack;
    }
}
