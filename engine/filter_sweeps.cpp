#include "engine/filter_rule.h"

#include <cstdint>

namespace filter {

namespace {

// The eight neighbours in reading order: left, upper left, up, upper right, right,
// lower right, down, lower left.
std::uint32_t NeighbourSum(const TBitmap32& m, int x, int y) {
    return IntensityOf(m.PixelAt(x - 1, y)) + IntensityOf(m.PixelAt(x - 1, y - 1)) +
           IntensityOf(m.PixelAt(x, y - 1)) + IntensityOf(m.PixelAt(x + 1, y - 1)) +
           IntensityOf(m.PixelAt(x + 1, y)) + IntensityOf(m.PixelAt(x + 1, y + 1)) +
           IntensityOf(m.PixelAt(x, y + 1)) + IntensityOf(m.PixelAt(x - 1, y + 1));
}

template <typename Rule> void SweepUntilStable(TBitmap32& mask) {
    const int w = mask.Width();
    const int h = mask.Height();
    long long changes;
    do {
        changes = 0;
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x)
                if (Rule::Candidate(mask.PixelAt(x, y)) &&
                    Rule::Qualifies(static_cast<std::int32_t>(NeighbourSum(mask, x, y)))) {
                    mask.SetPixelAt(x, y, Rule::kNewValue);
                    ++changes;
                }
    } while (changes != 0);
}

} // namespace

void FilterBySweeps(TBitmap32& mask) {
    SweepUntilStable<TErodeRule>(mask);
    SweepUntilStable<TFillRule>(mask);
}

} // namespace filter
