#include "engine/render.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace {

constexpr TColor32 Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a = 255) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// The picture holds the pixel at every position of a row wider than any vector step, so
// both the wide path and the leftover columns see it.
TBitmap32 Filled(TColor32 c, int width = 11, int height = 2) {
    TBitmap32 b;
    b.Resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixelAt(x, y, c);
    return b;
}

struct SelectCase {
    const char* what;
    TSelection selection;
    TColor32 pixel;
    bool selected;
};

class SelectionRuleTest : public testing::TestWithParam<SelectCase> {};

TEST_P(SelectionRuleTest, MaskAndResult) {
    const SelectCase& c = GetParam();
    const TBitmap32 picture = Filled(c.pixel);
    TBitmap32 mask, result;
    RenderSelection(picture, c.selection, mask, result);
    ASSERT_EQ(mask.Width(), picture.Width());
    ASSERT_EQ(mask.Height(), picture.Height());
    ASSERT_EQ(result.Width(), picture.Width());
    ASSERT_EQ(result.Height(), picture.Height());
    const TColor32 wantMask = c.selected ? kMaskWhite : kMaskBlack;
    const TColor32 wantResult = c.selected ? c.pixel : GreyedOut(c.pixel);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            ASSERT_EQ(mask.PixelAt(x, y), wantMask) << c.what << " at " << x;
            ASSERT_EQ(result.PixelAt(x, y), wantResult) << c.what << " at " << x;
        }
    EXPECT_EQ(IsSelected(c.pixel, c.selection), c.selected) << c.what;
}

const TSelection kMid{100, 150, 200, 30, 30, 30};

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectionRuleTest,
    testing::Values(
        SelectCase{"all differences exactly at threshold", kMid, Rgb(130, 120, 170), true},
        SelectCase{"other side of the box", kMid, Rgb(70, 180, 230), true},
        SelectCase{"red one past", kMid, Rgb(131, 150, 200), false},
        SelectCase{"green one past", kMid, Rgb(100, 119, 200), false},
        SelectCase{"blue one past", kMid, Rgb(100, 150, 231), false},
        // A box, not a sphere: every channel may use its whole threshold at once.
        SelectCase{"corner of the box", kMid, Rgb(70, 120, 230), true},
        SelectCase{"exact match at 0", {10, 20, 30, 0, 0, 0}, Rgb(10, 20, 30), true},
        SelectCase{"off by one at 0", {10, 20, 30, 0, 0, 0}, Rgb(10, 20, 31), false},
        SelectCase{"255 accepts anything", {0, 0, 0, 255, 255, 255}, Rgb(255, 255, 255), true},
        SelectCase{"255 accepts from the top", {255, 255, 255, 255, 255, 255}, Rgb(0, 0, 0), true},
        // Central Color values are not clamped.
        SelectCase{"centre above 255 reached", {300, 0, 0, 45, 255, 255}, Rgb(255, 9, 9), true},
        SelectCase{"centre above 255 missed", {300, 0, 0, 44, 255, 255}, Rgb(255, 9, 9), false},
        SelectCase{"negative centre reached", {-10, 0, 0, 10, 0, 0}, Rgb(0, 0, 0), true},
        SelectCase{"negative centre missed", {-10, 0, 0, 10, 0, 0}, Rgb(1, 0, 0), false},
        SelectCase{"negative threshold", {5, 5, 5, -1, 0, 0}, Rgb(5, 5, 5), false},
        SelectCase{
            "extreme ints do not overflow", {INT_MAX, 0, 0, INT_MAX, 255, 255}, Rgb(0, 7, 7), true},
        SelectCase{
            "extreme ints far below", {INT_MIN, 0, 0, INT_MAX, 255, 255}, Rgb(0, 7, 7), false},
        // Alpha takes no part in the test and is kept on selected pixels.
        SelectCase{"selected keeps alpha", kMid, Rgb(100, 150, 200, 0x12), true},
        SelectCase{"unselected becomes opaque", kMid, Rgb(0, 0, 0, 0), false}));

TEST(GreyedOut, MeanOfChannelsOpaque) {
    struct {
        TColor32 in, out;
    } cases[] = {{Rgb(10, 20, 31), 0xFF141414},
                 {Rgb(255, 255, 254), 0xFFFEFEFE},
                 {Rgb(255, 0, 0), 0xFF555555},
                 {Rgb(0, 0, 2), 0xFF000000},
                 {Rgb(255, 255, 255, 0), kMaskWhite}};
    for (const auto& c : cases) {
        EXPECT_EQ(GreyedOut(c.in), c.out);
        TBitmap32 mask, result;
        RenderSelection(Filled(c.in), {-1000, -1000, -1000, 0, 0, 0}, mask, result);
        EXPECT_EQ(result.PixelAt(9, 1), c.out);
        EXPECT_EQ(result.PixelAt(10, 1), c.out);
    }
}

// Every one of the 2^24 colours: the fast grey and the fast box test agree with the plain rule.
TEST(RenderSelection, EveryColourAgreesWithThePlainRule) {
    TBitmap32 picture;
    picture.Resize(4096, 4096);
    TColor32* bits = picture.Bits();
    for (std::uint32_t c = 0; c < (1u << 24); ++c)
        bits[c] = c | ((c * 7u) << 24); // varied alpha
    const TSelection selection{37, 250, -3, 20, 10, 8};
    TBitmap32 mask, result;
    RenderSelection(picture, selection, mask, result);
    const TColor32* m = mask.Bits();
    const TColor32* r = result.Bits();
    for (std::uint32_t i = 0; i < (1u << 24); ++i) {
        const bool sel = IsSelected(bits[i], selection);
        if (m[i] != (sel ? kMaskWhite : kMaskBlack) ||
            r[i] != (sel ? bits[i] : GreyedOut(bits[i]))) {
            FAIL() << std::hex << "colour 0x" << bits[i] << " mask 0x" << m[i] << " result 0x"
                   << r[i];
        }
    }
}

TEST(RenderSelection, RandomPicturesAndSelections) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        const int w = 1 + static_cast<int>(rng() % 37), h = 1 + static_cast<int>(rng() % 5);
        TBitmap32 picture;
        picture.Resize(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.SetPixelAt(x, y, rng());
        auto channel = [&] { return static_cast<int>(rng() % 400) - 70; };
        const TSelection s{channel(),
                           channel(),
                           channel(),
                           static_cast<int>(rng() % 300) - 20,
                           static_cast<int>(rng() % 300) - 20,
                           static_cast<int>(rng() % 300) - 20};
        TBitmap32 mask, result;
        RenderSelection(picture, s, mask, result);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const TColor32 c = picture.PixelAt(x, y);
                ASSERT_EQ(mask.PixelAt(x, y), IsSelected(c, s) ? kMaskWhite : kMaskBlack);
                ASSERT_EQ(result.PixelAt(x, y), IsSelected(c, s) ? c : GreyedOut(c));
            }
    }
}

TEST(RenderSelection, ThresholdsAtMaximumKeepThePicture) {
    std::mt19937 rng(3);
    TBitmap32 picture;
    picture.Resize(13, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            picture.SetPixelAt(x, y, rng() | 0xFF000000u);
    TBitmap32 mask, result;
    RenderSelection(picture, {12, 200, 255, 255, 255, 255}, mask, result);
    EXPECT_EQ(result, picture);
    EXPECT_EQ(mask, Filled(kMaskWhite, 13, 7));
}

TEST(RenderSelection, RowCallbackBeforeEachRowAndResizing) {
    const TBitmap32 picture = Filled(Rgb(1, 2, 3), 5, 4);
    TBitmap32 mask, result;
    mask.Resize(50, 50); // stale sizes from an earlier picture
    std::vector<int> rows;
    RenderSelection(picture, {1, 2, 3, 0, 0, 0}, mask, result, [&](int y) {
        rows.push_back(y);
        // Rows below y are not written yet when onRow(y) runs; row y - 1 is.
        if (y > 0) {
            EXPECT_EQ(mask.PixelAt(0, y - 1), kMaskWhite);
        }
    });
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(mask, Filled(kMaskWhite, 5, 4));

    TBitmap32 empty;
    rows.clear();
    RenderSelection(empty, {}, mask, result, [&](int y) { rows.push_back(y); });
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(mask.Empty());
    EXPECT_TRUE(result.Empty());
}

TEST(ComposeResult, FollowsTheMask) {
    std::mt19937 rng(11);
    TBitmap32 picture;
    picture.Resize(9, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            picture.SetPixelAt(x, y, rng());
    picture.SetPixelAt(4, 1, Rgb(255, 0, 0, 0x40));

    TBitmap32 result;
    ComposeResult(picture, Filled(kMaskWhite, 9, 3), result);
    EXPECT_EQ(result, picture);

    ComposeResult(picture, Filled(kMaskBlack, 9, 3), result);
    EXPECT_EQ(result.PixelAt(4, 1), 0xFF555555u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(result.PixelAt(x, y), GreyedOut(picture.PixelAt(x, y)));

    // Only the exact mask black greys out; any other value keeps the pixel.
    TBitmap32 mask = Filled(0xFE000000u, 9, 3);
    mask.SetPixelAt(8, 2, kMaskBlack);
    mask.SetPixelAt(0, 0, 0x00000000u);
    ComposeResult(picture, mask, result);
    EXPECT_EQ(result.PixelAt(0, 0), picture.PixelAt(0, 0));
    EXPECT_EQ(result.PixelAt(7, 2), picture.PixelAt(7, 2));
    EXPECT_EQ(result.PixelAt(8, 2), GreyedOut(picture.PixelAt(8, 2)));
}

TEST(ComposeResult, RenderedMaskComposesToTheRenderedResult) {
    std::mt19937 rng(5);
    TBitmap32 picture;
    picture.Resize(31, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 31; ++x)
            picture.SetPixelAt(x, y, rng());
    TBitmap32 mask, rendered, composed;
    RenderSelection(picture, {128, 128, 128, 90, 100, 110}, mask, rendered);
    ComposeResult(picture, mask, composed);
    EXPECT_EQ(composed, rendered);
}

TEST(ComposeResult, EmptyMaskWritesNothing) {
    const TBitmap32 picture = Filled(Rgb(1, 2, 3), 4, 4);
    TBitmap32 mask, result;
    ComposeResult(picture, mask, result);
    EXPECT_TRUE(result.Empty());
}

TEST(ComposeResult, RefusesAPictureSmallerThanTheMask) {
    const TBitmap32 picture = Filled(Rgb(1, 2, 3), 4, 4);
    TBitmap32 result;
    EXPECT_THROW(ComposeResult(picture, Filled(kMaskBlack, 5, 4), result), std::invalid_argument);
    EXPECT_THROW(ComposeResult(picture, Filled(kMaskBlack, 4, 5), result), std::invalid_argument);
}

} // namespace
