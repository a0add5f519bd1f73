#include "engine/render.h"

#include <algorithm>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The accepted values of one channel form the interval [lo, hi] within 0..255; an empty
// interval is lo = 255, hi = 0, which no byte satisfies (lo <= v && v <= hi).
struct TChannelRange {
    std::uint32_t lo = 255, hi = 0;
};

TChannelRange RangeOf(int central, int threshold) {
    // 64-bit: the Central Color may be any int, and |v - central| <= threshold must not overflow.
    const long long lo = static_cast<long long>(central) - threshold;
    const long long hi = static_cast<long long>(central) + threshold;
    if (threshold < 0 || hi < 0 || lo > 255)
        return {};
    return {static_cast<std::uint32_t>(std::max(lo, 0LL)),
            static_cast<std::uint32_t>(std::min(hi, 255LL))};
}

struct TPixelRanges {
    TChannelRange r, g, b;
};

inline bool InRange(std::uint32_t v, TChannelRange range) {
    return v - range.lo <= range.hi - range.lo && range.lo <= range.hi;
}

// (R + G + B) / 3 exactly for every sum up to 765, without a division.
inline std::uint32_t MeanOf(TColor32 c) {
    return ((RedOf(c) + GreenOf(c) + BlueOf(c)) * 21846u) >> 16;
}

inline TColor32 GreyOf(TColor32 c) {
    return GreyColor(MeanOf(c), 255);
}

#if defined(__SSE2__)
// Per-byte bounds of a pixel in memory order (blue, green, red, alpha); alpha accepts anything.
inline __m128i BytesOf(std::uint32_t b, std::uint32_t g, std::uint32_t r, std::uint32_t a) {
    return _mm_set1_epi32(static_cast<int>(b | (g << 8) | (r << 16) | (a << 24)));
}

inline __m128i GreyOf4(__m128i v) {
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i sum = _mm_add_epi32(
        _mm_add_epi32(_mm_and_si128(v, low), _mm_and_si128(_mm_srli_epi32(v, 8), low)),
        _mm_and_si128(_mm_srli_epi32(v, 16), low));
    // The sum sits in the low 16 bits of each lane; the high halves multiply by 0.
    const __m128i mean = _mm_mulhi_epu16(sum, _mm_set1_epi32(21846));
    const __m128i grey =
        _mm_or_si128(mean, _mm_or_si128(_mm_slli_epi32(mean, 8), _mm_slli_epi32(mean, 16)));
    return _mm_or_si128(grey, _mm_set1_epi32(static_cast<int>(kMaskBlack)));
}
#endif

void SelectRow(const TColor32* src, TColor32* mask, TColor32* result, int width,
               const TPixelRanges& ranges) {
    int x = 0;
#if defined(__SSE2__)
    const bool empty =
        ranges.r.lo > ranges.r.hi || ranges.g.lo > ranges.g.hi || ranges.b.lo > ranges.b.hi;
    const __m128i lo =
        empty ? _mm_set1_epi32(-1) : BytesOf(ranges.b.lo, ranges.g.lo, ranges.r.lo, 0);
    const __m128i hi =
        empty ? _mm_setzero_si128() : BytesOf(ranges.b.hi, ranges.g.hi, ranges.r.hi, 255);
    const __m128i black = _mm_set1_epi32(static_cast<int>(kMaskBlack));
    const __m128i ones = _mm_set1_epi32(-1);
    for (; x + 4 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        const __m128i ok = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, lo), v),
                                         _mm_cmpeq_epi8(_mm_min_epu8(v, hi), v));
        const __m128i sel = _mm_cmpeq_epi32(ok, ones);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mask + x), _mm_or_si128(sel, black));
        const __m128i res = _mm_or_si128(_mm_and_si128(sel, v), _mm_andnot_si128(sel, GreyOf4(v)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(result + x), res);
    }
#endif
    for (; x < width; ++x) {
        const TColor32 c = src[x];
        const bool selected = InRange(RedOf(c), ranges.r) && InRange(GreenOf(c), ranges.g) &&
                              InRange(BlueOf(c), ranges.b);
        mask[x] = selected ? kMaskWhite : kMaskBlack;
        result[x] = selected ? c : GreyOf(c);
    }
}

void ComposeRowOf(const TColor32* src, const TColor32* mask, TColor32* result, int width) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i black = _mm_set1_epi32(static_cast<int>(kMaskBlack));
    for (; x + 4 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + x));
        const __m128i grey = _mm_cmpeq_epi32(m, black);
        const __m128i res =
            _mm_or_si128(_mm_andnot_si128(grey, v), _mm_and_si128(grey, GreyOf4(v)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(result + x), res);
    }
#endif
    for (; x < width; ++x)
        result[x] = mask[x] == kMaskBlack ? GreyOf(src[x]) : src[x];
}

} // namespace

void RenderSelection(const TBitmap32& picture, const TSelection& selection, TBitmap32& mask,
                     TBitmap32& result, const std::function<void(int)>& onRow) {
    const int w = picture.Width();
    const int h = picture.Height();
    if (mask.Width() != w || mask.Height() != h)
        mask.Resize(w, h);
    if (result.Width() != w || result.Height() != h)
        result.Resize(w, h);
    const TPixelRanges ranges{RangeOf(selection.rc, selection.tr),
                              RangeOf(selection.gc, selection.tg),
                              RangeOf(selection.bc, selection.tb)};
    for (int y = 0; y < h; ++y) {
        if (onRow)
            onRow(y);
        SelectRow(picture.Row(y), mask.Row(y), result.Row(y), w, ranges);
    }
}

void ComposeResult(const TBitmap32& picture, const TBitmap32& mask, TBitmap32& result) {
    const int w = mask.Width();
    const int h = mask.Height();
    // Every caller passes a picture of the mask's size; a smaller one would be read out of bounds.
    if (picture.Width() < w || picture.Height() < h)
        throw std::invalid_argument("ComposeResult: picture smaller than mask");
    if (result.Width() != w || result.Height() != h)
        result.Resize(w, h);
    for (int y = 0; y < h; ++y)
        ComposeRowOf(picture.Row(y), mask.Row(y), result.Row(y), w);
}

void RenderRow(const TColor32* src, const TSelection& selection, TColor32* mask, TColor32* result,
               int width) {
    const TPixelRanges ranges{RangeOf(selection.rc, selection.tr),
                              RangeOf(selection.gc, selection.tg),
                              RangeOf(selection.bc, selection.tb)};
    SelectRow(src, mask, result, width, ranges);
}

void ComposeRow(const TColor32* src, const TColor32* mask, TColor32* result, int width) {
    ComposeRowOf(src, mask, result, width);
}
