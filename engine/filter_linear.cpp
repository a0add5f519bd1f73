#include "engine/filter_rule.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace filter {

namespace {

// Both passes in time linear in the pixel count. A pixel that qualifies keeps qualifying until
// it changes (pass 1 only lowers intensities, pass 2 only raises them), so every order of
// changes reaches the same fixed point as repeated sweeps, whatever the pixel values.
// The neighbour sums of all pixels are computed once and kept exact as pixels change; one
// sweep per pass finds the qualifying pixels, and each change passes its intensity change on
// to its neighbours at once through a stack, instead of waiting for another sweep.
class TLinearFilter {
    struct TPending {
        std::uint32_t index;
        std::int32_t delta; // intensity change to add to every neighbour's sum
    };

    // Scratch memory is kept between calls: fresh pages for the sums of a big mask cost more
    // than the filtering itself. Uninitialised on purpose; see sums_.
    static std::int16_t* Scratch(size_t count) {
        thread_local std::unique_ptr<std::int16_t[]> buffer;
        thread_local size_t capacity = 0;
        if (count > capacity) {
            buffer.reset();
            buffer.reset(new std::int16_t[count]);
            capacity = count;
        }
        return buffer.get();
    }

    static std::vector<TPending>& PendingScratch() {
        thread_local std::vector<TPending> pending;
        pending.clear();
        return pending;
    }

  public:
    explicit TLinearFilter(TBitmap32& mask)
        : mask_(mask.Bits()), w_(mask.Width()), h_(mask.Height()),
          sums_(Scratch(static_cast<size_t>(w_) * static_cast<size_t>(h_))), offsets_{-1,  -w_ - 1,
                                                                                      -w_, -w_ + 1,
                                                                                      1,   w_ + 1,
                                                                                      w_,  w_ - 1} {
    }

    void Run() {
        if (w_ < 3 || h_ < 3)
            return;
        ComputeSums();
        // Border pixels never change: their sums are parked where no test can pass, and the
        // changes of their neighbours cannot move them back (at most 8 x 255 either way).
        SetBorderSums(kNeverBelow);
        Pass<TErodeRule>();
        SetBorderSums(kNeverAbove);
        Pass<TFillRule>();
    }

  private:
    static constexpr std::int16_t kNeverBelow = 0x4000;
    static constexpr std::int16_t kNeverAbove = -0x4000;

    size_t Index(int x, int y) const {
        return static_cast<size_t>(x) + static_cast<size_t>(y) * static_cast<size_t>(w_);
    }

    static void IntensityRow(const TColor32* src, std::int16_t* out, int w) {
        int x = 0;
#if defined(__SSE2__)
        const __m128i low = _mm_set1_epi32(0xFF);
        const __m128i wr = _mm_set1_epi32(61), wg = _mm_set1_epi32(174), wb = _mm_set1_epi32(21);
        auto four = [&](const TColor32* p) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            // Each product fits the low 16 bits of its lane and so does their sum (<= 65280).
            const __m128i r = _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(v, 16), low), wr);
            const __m128i g = _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(v, 8), low), wg);
            const __m128i b = _mm_mullo_epi16(_mm_and_si128(v, low), wb);
            return _mm_srli_epi32(_mm_add_epi16(_mm_add_epi16(r, g), b), 8);
        };
        for (; x + 8 <= w; x += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                             _mm_packs_epi32(four(src + x), four(src + x + 4)));
#endif
        for (; x < w; ++x)
            out[x] = static_cast<std::int16_t>(IntensityOf(src[x]));
    }

    // sums = the eight-neighbour intensity sum of every interior pixel, from three rolling rows.
    void ComputeSums() {
        std::vector<std::int16_t> rows[3] = {std::vector<std::int16_t>(w_),
                                             std::vector<std::int16_t>(w_),
                                             std::vector<std::int16_t>(w_)};
        std::vector<std::int16_t> column(w_);
        IntensityRow(mask_, rows[0].data(), w_);
        IntensityRow(mask_ + Index(0, 1), rows[1].data(), w_);
        for (int y = 1; y < h_ - 1; ++y) {
            const std::int16_t* up = rows[(y - 1) % 3].data();
            const std::int16_t* mid = rows[y % 3].data();
            std::int16_t* down = rows[(y + 1) % 3].data();
            IntensityRow(mask_ + Index(0, y + 1), down, w_);
            std::int16_t* col = column.data();
            for (int x = 0; x < w_; ++x)
                col[x] = static_cast<std::int16_t>(up[x] + mid[x] + down[x]);
            std::int16_t* out = sums_ + Index(0, y);
            for (int x = 1; x < w_ - 1; ++x)
                out[x] = static_cast<std::int16_t>(col[x - 1] + col[x] + col[x + 1] - mid[x]);
        }
    }

    void SetBorderSums(std::int16_t value) {
        std::fill_n(sums_, w_, value);
        std::fill_n(sums_ + Index(0, h_ - 1), w_, value);
        for (int y = 1; y < h_ - 1; ++y) {
            sums_[Index(0, y)] = value;
            sums_[Index(w_ - 1, y)] = value;
        }
    }

    template <typename Rule> bool Qualifies(size_t i) const {
        return Rule::Qualifies(sums_[i]) && Rule::Candidate(mask_[i]);
    }

    // Changes pixel i now; its neighbours' sums follow when the stack gets to it. Until then
    // those sums lag on the safe side (too high for pass 1, too low for pass 2), so no pixel
    // qualifies early.
    template <typename Rule> void Change(size_t i) {
        const std::int32_t delta = static_cast<std::int32_t>(IntensityOf(Rule::kNewValue)) -
                                   static_cast<std::int32_t>(IntensityOf(mask_[i]));
        mask_[i] = Rule::kNewValue;
        if (delta != 0)
            stack_.push_back({static_cast<std::uint32_t>(i), delta});
    }

    template <typename Rule> void Drain() {
        while (!stack_.empty()) {
            const TPending p = stack_.back();
            stack_.pop_back();
            for (const std::ptrdiff_t offset : offsets_) {
                const size_t q = static_cast<size_t>(static_cast<std::ptrdiff_t>(p.index) + offset);
                sums_[q] = static_cast<std::int16_t>(sums_[q] + p.delta);
                // Pixels ahead of the sweep are left to it: it meets them in memory order
                // with their sums complete, and they keep qualifying until then.
                if (q < cursor_ && Qualifies<Rule>(q))
                    Change<Rule>(q);
            }
        }
    }

    template <typename Rule> void Pass() {
        for (int y = 1; y < h_ - 1; ++y) {
            const size_t rowStart = Index(0, y);
            for (size_t i = rowStart + 1; i < rowStart + static_cast<size_t>(w_) - 1; ++i) {
                if (Qualifies<Rule>(i)) {
                    cursor_ = i;
                    Change<Rule>(i);
                    Drain<Rule>();
                }
            }
        }
    }

    TColor32* mask_;
    const int w_, h_;
    // Every entry is written before use: interior ones by ComputeSums, border ones by
    // SetBorderSums, which park them where no test can pass.
    std::int16_t* sums_;
    size_t cursor_ = 0; // the sweep's position: pixels after it are still to be visited
    const std::ptrdiff_t offsets_[8];
    std::vector<TPending>& stack_ = PendingScratch();
};

} // namespace

void FilterLinear(TBitmap32& mask) {
    TLinearFilter(mask).Run();
}

} // namespace filter
