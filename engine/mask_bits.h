#pragma once
#include "engine/bitmap32.h"

#include <cstdint>
#include <vector>

// A selection mask at one bit per pixel, 1 for mask white: what a mask of only mask black and
// mask white needs, a 32nd of a TBitmap32. Rows of 64-bit words, pixel x in bit x % 64 of word
// x / 64; the bits past the width stay 0.
class TMaskBits {
  public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    int WordsPerRow() const { return words_; }

    // Every pixel mask black. Throws EPictureError above kMaxPicturePixels or out of memory.
    void Resize(int width, int height);

    std::uint64_t* Row(int y) { return bits_.data() + static_cast<std::size_t>(y) * words_; }
    const std::uint64_t* Row(int y) const {
        return bits_.data() + static_cast<std::size_t>(y) * words_;
    }

    // Row y from Width() mask pixels: white for every value but mask black, as ComposeResult
    // reads a mask.
    void SetRow(int y, const TColor32* mask);
    // Row y as Width() pixels of mask white and mask black.
    void GetRow(int y, TColor32* mask) const;

  private:
    int width_ = 0, height_ = 0, words_ = 0;
    std::vector<std::uint64_t> bits_;
};
