#include "engine/filter.h"
#include "tests/engine/masks.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Masks drawn as text: '#' mask white, '.' mask black, one string per row.
TBitmap32 MaskOf(const std::vector<std::string>& rows) {
    TBitmap32 m;
    m.Resize(rows.empty() ? 0 : static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x)
            m.SetPixelAt(x, y,
                         rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#' ? kMaskWhite
                                                                                     : kMaskBlack);
    return m;
}

std::string TextOf(const TBitmap32& m) {
    std::string s;
    for (int y = 0; y < m.Height(); ++y) {
        for (int x = 0; x < m.Width(); ++x) {
            const TColor32 c = m.PixelAt(x, y);
            s += c == kMaskWhite ? '#' : c == kMaskBlack ? '.' : '?';
        }
        s += '\n';
    }
    return s;
}

struct FilterCase {
    const char* what;
    std::vector<std::string> in, out;
};

class FilterCaseTest : public testing::TestWithParam<FilterCase> {};

TEST_P(FilterCaseTest, BothFiltersGiveTheCleanedMask) {
    const FilterCase& c = GetParam();
    TBitmap32 fast = MaskOf(c.in), sweeps = MaskOf(c.in);
    FilterMask(fast);
    FilterMaskBySweeps(sweeps);
    EXPECT_EQ(TextOf(fast), TextOf(MaskOf(c.out))) << c.what;
    EXPECT_EQ(TextOf(sweeps), TextOf(MaskOf(c.out))) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterCaseTest,
    testing::Values(
        FilterCase{"lone white pixel",
                   {".....", ".....", "..#..", ".....", "....."},
                   {".....", ".....", ".....", ".....", "....."}},
        FilterCase{"2x2 block has 3 white neighbours each and stays",
                   {"......", "......", "..##..", "..##..", "......", "......"},
                   {"......", "......", "..##..", "..##..", "......", "......"}},
        FilterCase{"horizontal line: interior erodes, border ends stay",
                   {".......", ".......", "#######", ".......", "......."},
                   {".......", ".......", "#.....#", ".......", "......."}},
        FilterCase{"vertical line",
                   {"..#..", "..#..", "..#..", "..#..", "..#.."},
                   {"..#..", ".....", ".....", ".....", "..#.."}},
        FilterCase{"diagonal line",
                   {"#.....", ".#....", "..#...", "...#..", "....#.", ".....#"},
                   {"#.....", "......", "......", "......", "......", ".....#"}},
        FilterCase{"a room inside a white frame fills from its corners",
                   {"#####", "#...#", "#...#", "#...#", "#####"},
                   {"#####", "#####", "#####", "#####", "#####"}},
        FilterCase{"hole in a white field fills",
                   {"#####", "#####", "##.##", "#####", "#####"},
                   {"#####", "#####", "#####", "#####", "#####"}},
        FilterCase{"a hole next to a black border fills; the border stays",
                   {".......", ".#####.", ".#####.", "..####.", ".#####.", ".#####.", "......."},
                   {".......", ".#####.", ".#####.", ".#####.", ".#####.", ".#####.", "......."}},
        FilterCase{
            "black with 4 white neighbours stays", {"##.", "#..", "#.."}, {"##.", "#..", "#.."}},
        FilterCase{
            "black with 5 white neighbours fills", {"###", "#..", "#.."}, {"###", "##.", "#.."}},
        FilterCase{
            "white with 3 white neighbours stays", {"##.", "##.", "..."}, {"##.", "##.", "..."}},
        FilterCase{
            "white with 2 white neighbours erodes", {"#..", "##.", "..."}, {"#..", "#..", "..."}},
        // Erosion runs first: the speck at (3, 3) goes, and the hole at (2, 2) is left with 4
        // white neighbours instead of 5, so it is not filled.
        FilterCase{"erosion before filling",
                   {"######", "######", "##....", "...#..", "......", "......"},
                   {"######", "######", "##....", "......", "......", "......"}},
        // Filling spreads back to the right and down, through a corner, into a part the
        // filter had already finished with.
        FilterCase{"late fill through a corner",
                   {"..#..#.#.##..##.#.#.", "##.#.#.#.#####..#..#", "#...#...#..#..#.#..#",
                    "####.####..###.###.#", ".#######.####..#.#..", ".##.##.###.#...###.#",
                    ".##.##.##.##.###....", "###.##.#..#.#.#..#..", ".##.#..#..###...##..",
                    "##....###..#...#.##.", "...###...#.###..###.", "...#####....#.###.#.",
                    "#...#....####..#...#"},
                   {"..#..#.#.##..##.#.#.", "##......########...#", "###....##########..#",
                    "##################.#", ".#################..", ".################..#",
                    ".###############....", "######...#######....", ".##.......#######...",
                    "##.........########.", "...###.....########.", "...###....#########.",
                    "#...#....####..#...#"}},
        FilterCase{"narrow masks have no interior", {"#.#.#", ".#.#."}, {"#.#.#", ".#.#."}},
        FilterCase{"one column", {"#", ".", "#"}, {"#", ".", "#"}}, FilterCase{"empty", {}, {}}));

// For 3x3 masks only the centre can change, so all 512 masks check the two thresholds.
TEST(FilterMask, EveryThreeByThreeMask) {
    for (int bits = 0; bits < 512; ++bits) {
        TBitmap32 m;
        m.Resize(3, 3);
        int whiteNeighbours = 0;
        for (int i = 0; i < 9; ++i) {
            const bool white = (bits >> i) & 1;
            m.SetPixelAt(i % 3, i / 3, white ? kMaskWhite : kMaskBlack);
            if (white && i != 4)
                ++whiteNeighbours;
        }
        bool centre = (bits >> 4) & 1;
        if (centre && whiteNeighbours < 3)
            centre = false;
        else if (!centre && whiteNeighbours > 4)
            centre = true;
        TBitmap32 expected = m;
        expected.SetPixelAt(1, 1, centre ? kMaskWhite : kMaskBlack);
        TBitmap32 fast = m, sweeps = m;
        FilterMask(fast);
        FilterMaskBySweeps(sweeps);
        EXPECT_EQ(fast, expected) << bits;
        EXPECT_EQ(sweeps, expected) << bits;
    }
}

// Neighbours count by weighted intensity and black is the exact value 0xFF000000.
TEST(FilterMask, ArbitraryPixelValues) {
    const TColor32 red = 0xFFFF0000;   // intensity 60
    const TColor32 green = 0xFF00FF00; // intensity 173
    TBitmap32 m;
    m.Resize(5, 5);
    auto fill = [&](TColor32 c) {
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                m.SetPixelAt(x, y, c);
    };
    // Eight red neighbours weigh 480 < 765: a white pixel among them erodes.
    fill(red);
    m.SetPixelAt(2, 2, kMaskWhite);
    TBitmap32 fast = m, sweeps = m;
    FilterMask(fast);
    FilterMaskBySweeps(sweeps);
    EXPECT_EQ(fast.PixelAt(2, 2), kMaskBlack);
    EXPECT_EQ(fast, sweeps);

    // A transparent black pixel is not mask black: white neighbours keep it, nothing fills it.
    fill(kMaskWhite);
    m.SetPixelAt(2, 2, 0x00000000);
    fast = m;
    FilterMask(fast);
    EXPECT_EQ(fast, m);

    // Six green neighbours on the border sum 1038 > 1020: the black centre turns white.
    TBitmap32 small;
    small.Resize(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            small.SetPixelAt(x, y, y == 1 ? kMaskBlack : green);
    fast = small;
    sweeps = small;
    FilterMask(fast);
    FilterMaskBySweeps(sweeps);
    EXPECT_EQ(fast, sweeps);
    EXPECT_EQ(fast.PixelAt(1, 1), kMaskWhite);
}

// ---- differential tests against the sweeps ----

TBitmap32 RandomMask(std::mt19937& rng, int w, int h, double whiteShare) {
    std::bernoulli_distribution white(whiteShare);
    TBitmap32 m;
    m.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.SetPixelAt(x, y, white(rng) ? kMaskWhite : kMaskBlack);
    return m;
}

void ExpectSameAsSweeps(const TBitmap32& m, const std::string& what) {
    TBitmap32 fast = m, sweeps = m;
    FilterMask(fast);
    FilterMaskBySweeps(sweeps);
    ASSERT_EQ(fast.Width(), m.Width());
    ASSERT_EQ(fast.Height(), m.Height());
    EXPECT_TRUE(fast == sweeps) << what;
}

TEST(FilterMaskDifferential, RandomSpeckled) {
    std::mt19937 rng(1);
    for (double share : {0.05, 0.3, 0.5, 0.7, 0.95})
        for (int round = 0; round < 6; ++round) {
            const int w = 1 + static_cast<int>(rng() % 90), h = 1 + static_cast<int>(rng() % 70);
            ExpectSameAsSweeps(RandomMask(rng, w, h, share), "share " + std::to_string(share) +
                                                                 " " + std::to_string(w) + "x" +
                                                                 std::to_string(h));
        }
}

TEST(FilterMaskDifferential, TinyMasks) {
    std::mt19937 rng(2);
    for (int w = 0; w <= 4; ++w)
        for (int h = 0; h <= 4; ++h)
            for (int round = 0; round < 20; ++round)
                ExpectSameAsSweeps(RandomMask(rng, w, h, 0.5),
                                   std::to_string(w) + "x" + std::to_string(h));
}

TBitmap32 Transposed(const TBitmap32& m) {
    TBitmap32 t;
    t.Resize(m.Height(), m.Width());
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x)
            t.SetPixelAt(y, x, m.PixelAt(x, y));
    return t;
}

// Changes travel across the filter's cells in every direction, also through their corners;
// only some arrangements need each way, so try many.
TEST(FilterMaskDifferential, ManyRandom) {
    std::mt19937 rng(6);
    for (double share : {0.3, 0.5, 0.6})
        ExpectSameAsSweeps(RandomMask(rng, 203, 150, share), "share " + std::to_string(share));
    for (int round = 0; round < 3000; ++round) {
        const int w = 17 + static_cast<int>(rng() % 40), h = 9 + static_cast<int>(rng() % 30);
        const double share = 0.3 + static_cast<double>(rng() % 50) / 100;
        ExpectSameAsSweeps(RandomMask(rng, w, h, share), "round " + std::to_string(round));
    }
}

TEST(FilterMaskDifferential, Adversarial) {
    ExpectSameAsSweeps(SnakeMask(64, 66), "snake");
    ExpectSameAsSweeps(SnakeMask(31, 120), "tall snake");
    ExpectSameAsSweeps(ChainMask(80, 40), "chains");
    ExpectSameAsSweeps(Transposed(SnakeMask(70, 50)), "upright snake");
    ExpectSameAsSweeps(Transposed(ChainMask(90, 45)), "hanging chains");
    // The snake fills completely; the chains erode down to their border anchors.
    TBitmap32 snake = SnakeMask(64, 66), chains = ChainMask(80, 40);
    FilterMask(snake);
    FilterMask(chains);
    EXPECT_TRUE(snake == Filled(kMaskWhite, 64, 66));
    for (int y = 0; y < 40; ++y)
        for (int x = 1; x < 80; ++x)
            ASSERT_EQ(chains.PixelAt(x, y), kMaskBlack) << x << "," << y;
}

// A black-and-white mask is filtered as cells of bits; one other value, wherever it is found
// (in a block of 16 pixels, in the last few of a row, on the last row), must leave the mask
// untouched to the general filter.
TEST(FilterMaskDifferential, OneOtherValueInABlackAndWhiteMask) {
    std::mt19937 rng(5);
    const int w = 45, h = 30;
    for (const auto& [x, y] : {std::pair{44, 29}, std::pair{20, 29}, std::pair{3, 17}}) {
        TBitmap32 m = RandomMask(rng, w, h, 0.5);
        m.SetPixelAt(x, y, 0xFF808080);
        ExpectSameAsSweeps(m, std::to_string(x) + "," + std::to_string(y));
    }
}

TEST(FilterMaskDifferential, ArbitraryValues) {
    std::mt19937 rng(4);
    const TColor32 palette[] = {kMaskBlack, kMaskWhite, 0x00000000, 0xFE000000, 0xFFFF0000,
                                0xFF00FF00, 0xFF0000FF, 0x80808080, 0xFFFFFFFE, 0x7FFFFFFF};
    for (int round = 0; round < 40; ++round) {
        const int w = 1 + static_cast<int>(rng() % 50), h = 1 + static_cast<int>(rng() % 50);
        TBitmap32 m;
        m.Resize(w, h);
        const bool anyValue = round % 4 == 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                m.SetPixelAt(x, y, anyValue ? rng() : palette[rng() % std::size(palette)]);
        ExpectSameAsSweeps(m, "round " + std::to_string(round));
    }
}

} // namespace
