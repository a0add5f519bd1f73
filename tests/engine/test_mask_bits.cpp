// The one-bit mask and the filter on it, against FilterMask on the same masks as pixels.
#include "engine/filter.h"
#include "engine/mask_bits.h"
#include "masks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TMaskBits ToBits(const TBitmap32& mask) {
    TMaskBits bits;
    bits.Resize(mask.Width(), mask.Height());
    for (int y = 0; y < mask.Height(); ++y) {
        bits.SetRow(y, mask.Row(y));
    }
    return bits;
}

TBitmap32 FromBits(const TMaskBits& bits) {
    TBitmap32 mask;
    mask.Resize(bits.Width(), bits.Height());
    for (int y = 0; y < bits.Height(); ++y) {
        bits.GetRow(y, mask.Row(y));
    }
    return mask;
}

TBitmap32 Noise(int w, int h, std::uint32_t seed, unsigned whitePercent) {
    TBitmap32 m;
    m.Resize(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            m.SetPixelAt(x, y, (seed >> 8) % 100 < whitePercent ? kMaskWhite : kMaskBlack);
        }
    }
    return m;
}

TEST(MaskBits, RowsRoundTripAndOnlyMaskBlackIsBlack) {
    // Widths around the 64-bit words.
    for (const int w : {1, 63, 64, 65, 130}) {
        SCOPED_TRACE(w);
        const TBitmap32 mask = Noise(w, 3, 7, 50);
        const TMaskBits bits = ToBits(mask);
        EXPECT_EQ(FromBits(bits), mask);
        // Nothing beyond the width is set.
        if (w % 64 != 0) {
            EXPECT_EQ(bits.Row(2)[bits.WordsPerRow() - 1] >> (w % 64), 0u);
        }
    }
    TBitmap32 other;
    other.Resize(3, 1);
    other.SetPixelAt(0, 0, 0x00000000u); // not mask black: it is not alpha 255
    other.SetPixelAt(1, 0, kMaskBlack);
    other.SetPixelAt(2, 0, 0xFF102030u);
    TColor32 row[3];
    ToBits(other).GetRow(0, row);
    EXPECT_EQ(row[0], kMaskWhite);
    EXPECT_EQ(row[1], kMaskBlack);
    EXPECT_EQ(row[2], kMaskWhite);
    TMaskBits huge;
    EXPECT_THROW(huge.Resize(1 << 15, (1 << 13) + 1), EPictureError);
}

TEST(MaskBits, FilterEqualsTheFilterOnPixels) {
    struct Case {
        std::string name;
        TBitmap32 mask;
    };
    std::vector<Case> cases = {
        {"noise_197x131", Noise(197, 131, 1, 50)}, {"sparse_64x64", Noise(64, 64, 2, 20)},
        {"dense_100x9", Noise(100, 9, 3, 75)},     {"narrow_2x50", Noise(2, 50, 4, 50)},
        {"low_40x2", Noise(40, 2, 5, 50)},         {"thin_3x3", Noise(3, 3, 6, 50)},
        {"snake_161x97", SnakeMask(161, 97)},      {"chains_150x70", ChainMask(150, 70)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 expected = c.mask;
        FilterMask(expected);
        TMaskBits bits = ToBits(c.mask);
        FilterMaskBits(bits);
        EXPECT_EQ(FromBits(bits), expected);
    }
}

} // namespace
