#pragma once
// The cleaning rule FilterMask applies, shared by its three implementations, and those
// implementations, for the dispatch in filter.cpp.
#include "engine/bitmap32.h"

#include <cstdint>

namespace filter {

// Of a pixel's eight neighbours, counted as mask white: a white pixel with fewer than this many
// erodes to black, a black pixel with more than that many fills to white.
constexpr int kErodeBelowWhite = 3;
constexpr int kFillAboveWhite = 4;

// The same thresholds as sums of neighbour intensities, for masks of any pixel values.
constexpr std::int32_t kErodeBelow = kErodeBelowWhite * IntensityOf(kMaskWhite); // 765
constexpr std::int32_t kFillAbove = kFillAboveWhite * IntensityOf(kMaskWhite);   // 1020

// Pass 1 blackens speckles: only lowers intensities, so neighbour sums only fall.
struct TErodeRule {
    static bool Candidate(TColor32 v) { return v != kMaskBlack; }
    static bool Qualifies(std::int32_t sum) { return sum < kErodeBelow; }
    static constexpr TColor32 kNewValue = kMaskBlack;
};

// Pass 2 fills holes: only raises intensities, so neighbour sums only rise.
struct TFillRule {
    static bool Candidate(TColor32 v) { return v == kMaskBlack; }
    static bool Qualifies(std::int32_t sum) { return sum > kFillAbove; }
    static constexpr TColor32 kNewValue = kMaskWhite;
};

// Repeated full sweeps until nothing changes: the reference the others must equal.
void FilterBySweeps(TBitmap32& mask);

// Linear time for any pixel values.
void FilterLinear(TBitmap32& mask);

// Linear time in bit cells, for masks of at least 3 x 3 pixels of only mask black and mask
// white; false, with the mask untouched, for any other.
bool FilterByCells(TBitmap32& mask);

} // namespace filter
