#include "engine/bitmap32.h"
#include "engine/geometry.h"

#include <gtest/gtest.h>

namespace {

struct FitCase {
    int viewW, viewH, w, h;
    TSize expected;
};

class FittedSizeTest : public testing::TestWithParam<FitCase> {};

TEST_P(FittedSizeTest, FitsAndRounds) {
    const FitCase& c = GetParam();
    EXPECT_EQ(FittedSize(c.viewW, c.viewH, c.w, c.h), c.expected)
        << c.viewW << "x" << c.viewH << " <- " << c.w << "x" << c.h;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FittedSizeTest,
    testing::Values(
        // Shrinking keeps the aspect; one side always fills the view.
        FitCase{400, 300, 800, 600, {400, 300}}, FitCase{400, 300, 300, 600, {150, 300}},
        FitCase{400, 300, 1000, 500, {400, 200}},
        // Small pictures are enlarged too.
        FitCase{400, 300, 100, 100, {300, 300}},
        // Exact halves go to the even neighbour: 2.5 -> 2, 3.5 -> 4, in either direction.
        FitCase{5, 2, 5, 4, {2, 2}}, FitCase{7, 2, 7, 4, {4, 2}}, FitCase{2, 5, 4, 5, {2, 2}},
        FitCase{2, 7, 4, 7, {2, 4}},
        // The scale is single precision: 91 * (1 / 14 in float) is 6.5000005, so 7, not 6.
        FitCase{1000, 1, 91, 14, {7, 1}}, FitCase{1000, 1, 175, 14, {13, 1}},
        // A side rounding below 1 is 0.
        FitCase{1000, 1, 10, 3000, {0, 1}},
        // Nothing to show.
        FitCase{400, 300, 0, 600, {0, 0}}, FitCase{400, 300, 600, 0, {0, 0}},
        FitCase{0, 300, 600, 600, {0, 0}}, FitCase{400, 0, 600, 600, {0, 0}},
        FitCase{-5, 300, 600, 600, {0, 0}}));

TEST(DisplayedRect, TopLeftPlacement) {
    TBitmap32 picture;
    EXPECT_EQ(DisplayedRect(400, 300, picture), (TRect{0, 0, 0, 0}));
    picture.Resize(300, 600);
    EXPECT_EQ(DisplayedRect(400, 300, picture), (TRect{0, 0, 150, 300}));
    EXPECT_EQ(DisplayedRect(0, 300, picture), (TRect{0, 0, 0, 0}));
    EXPECT_EQ(DisplayedRect(400, 0, picture), (TRect{0, 0, 0, 0}));
    EXPECT_EQ(DisplayedRect(1000, 1, picture), (TRect{0, 0, 0, 0}));
}

struct MapCase {
    int displayed, source;
    std::vector<int> expected;
};

class NearestSourceMapTest : public testing::TestWithParam<MapCase> {};

TEST_P(NearestSourceMapTest, PicksNearestSource) {
    const MapCase& c = GetParam();
    EXPECT_EQ(NearestSourceMap(c.displayed, c.source), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, NearestSourceMapTest,
                         testing::Values(MapCase{4, 2, {0, 0, 1, 1}}, MapCase{2, 4, {0, 2}},
                                         MapCase{3, 1, {0, 0, 0}}, MapCase{3, 10, {0, 3, 6}},
                                         MapCase{5, 5, {0, 1, 2, 3, 4}},
                                         MapCase{5, 3, {0, 0, 1, 1, 2}}, MapCase{0, 5, {}},
                                         MapCase{5, 0, {}}, MapCase{-1, 5, {}}));

// The ratio is single precision: 7 * (62 / 14 in float) truncates to 30 where 7 * 62 / 14 is 31.
TEST(NearestSourceMap, SinglePrecisionRatio) {
    const std::vector<int> map = NearestSourceMap(14, 62);
    ASSERT_EQ(map.size(), 14u);
    EXPECT_EQ(map[7], 30);
}

// Float rounding never indexes past the source, and the map never goes backwards.
TEST(NearestSourceMap, StaysInsideTheSource) {
    for (int displayed = 1; displayed <= 700; displayed += 3)
        for (int source = 1; source <= 5000; source += 37) {
            const std::vector<int> map = NearestSourceMap(displayed, source);
            ASSERT_EQ(map.size(), static_cast<size_t>(displayed));
            ASSERT_EQ(map.front(), 0);
            for (size_t d = 0; d < map.size(); ++d) {
                ASSERT_LT(map[d], source) << displayed << " " << source;
                if (d > 0) {
                    ASSERT_GE(map[d], map[d - 1]);
                }
            }
        }
}

} // namespace
