#include "engine/filter.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::int32_t kErodeBelow = 3 * IntensityOf(kMaskWhite); // 765
constexpr std::int32_t kFillAbove = 4 * IntensityOf(kMaskWhite);  // 1020

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

// Masks from Render hold only mask black and mask white; their neighbour sums are 255 times
// the count of white neighbours. Such a mask is filtered as 8 x 8 tiles of bits, each tile one
// 64-bit word (bit 8r + c is pixel (c, r) of the tile, 1 for white), so one round of word
// operations applies a rule to 64 pixels at once. A tile is stepped until it stops changing,
// and the neighbours its changes touch are looked at again. Any order of changes reaches the
// same fixed point, so this equals the sweeps.
class TTileFilter {
    static constexpr std::uint64_t kColumn0 = 0x0101010101010101ull;
    static constexpr std::uint64_t kColumn7 = kColumn0 << 7;
    static constexpr std::uint64_t kRow0 = 0xFF;
    static constexpr std::uint64_t kRow7 = kRow0 << 56;

    // The box sum of the 3 x 3 pixels around each pixel, itself included, as bit planes:
    // low + 2 x (one + carry) + 4 x two.
    struct TBoxSum {
        std::uint64_t low, one, two, carry;
        std::uint64_t AtLeast4() const { return two | (one & carry); }
        std::uint64_t AtLeast5() const { return (two & (one | carry)) | (AtLeast4() & low); }
    };

    // Pass 1: a white pixel whose box sum is below 4 has fewer than 3 white neighbours.
    struct TErode {
        static std::uint64_t Next(std::uint64_t tile, const TBoxSum& s, std::uint64_t changeable) {
            return tile & (s.AtLeast4() | ~changeable);
        }
        static std::uint64_t Candidates(std::uint64_t tile) { return tile; }
    };
    // Pass 2: a black pixel whose box sum is 5 or more has more than 4 white neighbours.
    struct TFill {
        static std::uint64_t Next(std::uint64_t tile, const TBoxSum& s, std::uint64_t changeable) {
            return tile | (s.AtLeast5() & changeable);
        }
        static std::uint64_t Candidates(std::uint64_t tile) { return ~tile; }
    };

    // Kept between calls: fresh pages cost more than the filtering of a big mask.
    template <typename T, int Which = 0> static std::vector<T>& ScratchVector() {
        thread_local std::vector<T> v;
        return v;
    }

  public:
    explicit TTileFilter(TBitmap32& mask)
        : mask_(mask.Bits()), w_(mask.Width()), h_(mask.Height()), gw_((w_ + 7) / 8 + 2),
          gh_((h_ + 7) / 8 + 2) {}

    // False, with the mask untouched, if it holds any other value than mask black and white.
    bool Run() {
        if (!Load())
            return false;
        Pass<TErode>();
        Pass<TFill>();
        Store();
        return true;
    }

  private:
    // The tiles of the picture sit inside a ring of empty tiles, so every tile has eight
    // neighbours; ring tiles and border pixels never change.
    size_t Tile(int tx, int ty) const {
        return static_cast<size_t>(ty + 1) * static_cast<size_t>(gw_) + static_cast<size_t>(tx + 1);
    }

    bool Load() {
        const size_t count = static_cast<size_t>(gw_) * static_cast<size_t>(gh_);
        grid_.assign(count, 0);
        for (int y = 0; y < h_; ++y) {
            const TColor32* row = mask_ + static_cast<size_t>(y) * static_cast<size_t>(w_);
            std::uint64_t* tiles = grid_.data() + Tile(0, y / 8);
            const int shift = 8 * (y % 8);
            int x = 0;
#if defined(__SSE2__)
            const __m128i white = _mm_set1_epi32(-1);
            const __m128i black = _mm_set1_epi32(static_cast<int>(kMaskBlack));
            __m128i other = _mm_setzero_si128();
            for (; x + 8 <= w_; x += 8) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 4));
                const __m128i wa = _mm_cmpeq_epi32(a, white), wb = _mm_cmpeq_epi32(b, white);
                const __m128i known = _mm_and_si128(_mm_or_si128(wa, _mm_cmpeq_epi32(a, black)),
                                                    _mm_or_si128(wb, _mm_cmpeq_epi32(b, black)));
                other = _mm_or_si128(other, _mm_andnot_si128(known, white));
                const unsigned bits = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(wa))) |
                                      static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(wb)))
                                          << 4;
                tiles[x / 8] |= static_cast<std::uint64_t>(bits) << shift;
            }
            if (_mm_movemask_epi8(other) != 0)
                return false;
#endif
            for (; x < w_; ++x) {
                if (row[x] != kMaskWhite && row[x] != kMaskBlack)
                    return false;
                tiles[x / 8] |= static_cast<std::uint64_t>(row[x] == kMaskWhite) << (shift + x % 8);
            }
        }
        original_ = grid_;

        // Which pixels of each tile may change: the interior of the picture.
        changeable_.assign(count, 0);
        std::vector<std::uint64_t> columns(static_cast<size_t>(gw_ - 2), 0);
        for (int x = 1; x <= w_ - 2; ++x)
            columns[static_cast<size_t>(x / 8)] |= kColumn0 << (x % 8);
        for (int ty = 0; ty < gh_ - 2; ++ty) {
            std::uint64_t rows = 0;
            for (int r = 0; r < 8; ++r)
                if (const int y = 8 * ty + r; y >= 1 && y <= h_ - 2)
                    rows |= kRow0 << (8 * r);
            std::uint64_t* out = changeable_.data() + Tile(0, ty);
            for (size_t tx = 0; tx < columns.size(); ++tx)
                out[tx] = rows & columns[tx];
        }
        queued_.resize(count);
        return true;
    }

    // The left and the right neighbour of every pixel of a tile.
    static std::uint64_t WestOf(std::uint64_t left, std::uint64_t tile) {
        return ((tile << 1) & ~kColumn0) | ((left >> 7) & kColumn0);
    }
    static std::uint64_t EastOf(std::uint64_t tile, std::uint64_t right) {
        return ((tile >> 1) & ~kColumn7) | ((right << 7) & kColumn7);
    }

    // Each pixel plus its left and right neighbours, as a 2-bit number in two planes.
    static void RowSums(std::uint64_t w, std::uint64_t c, std::uint64_t e, std::uint64_t& bit0,
                        std::uint64_t& bit1) {
        bit0 = w ^ c ^ e;
        bit1 = (w & c) | (e & (w ^ c));
    }

    // Steps tile t until it stops changing; returns its new value.
    template <typename Rule> std::uint64_t Settle(size_t t) const {
        const std::uint64_t* g = grid_.data();
        const size_t gw = static_cast<size_t>(gw_);
        // The rows just above and below the tile do not change while it settles.
        std::uint64_t above0, above1, below0, below1;
        const std::uint64_t up = g[t - gw], down = g[t + gw];
        RowSums(WestOf(g[t - gw - 1], up), up, EastOf(up, g[t - gw + 1]), above0, above1);
        RowSums(WestOf(g[t + gw - 1], down), down, EastOf(down, g[t + gw + 1]), below0, below1);
        above0 >>= 56;
        above1 >>= 56;
        below0 <<= 56;
        below1 <<= 56;
        const std::uint64_t left = g[t - 1], right = g[t + 1], changeable = changeable_[t];
        std::uint64_t tile = g[t];
        for (;;) {
            std::uint64_t mid0, mid1;
            RowSums(WestOf(left, tile), tile, EastOf(tile, right), mid0, mid1);
            const std::uint64_t n0 = (mid0 << 8) | above0, n1 = (mid1 << 8) | above1;
            const std::uint64_t s0 = (mid0 >> 8) | below0, s1 = (mid1 >> 8) | below1;
            // Box sum = (n0 + mid0 + s0) + 2 x (n1 + mid1 + s1), added up bit by bit.
            const std::uint64_t half = n0 ^ mid0, ones = n1 ^ mid1;
            const TBoxSum sum{half ^ s0, ones ^ s1, (n1 & mid1) | (s1 & ones),
                              (n0 & mid0) | (s0 & half)};
            const std::uint64_t next = Rule::Next(tile, sum, changeable);
            if (next == tile)
                return tile;
            tile = next;
        }
    }

    // touched: the pixels of tile t next to a change. Only tiles the sweep has passed are
    // queued, and only if one of those pixels may now change.
    template <typename Rule> void Queue(size_t t, std::uint64_t touched) {
        if (t <= cursor_ && !queued_[t] &&
            (touched & Rule::Candidates(grid_[t]) & changeable_[t])) {
            queued_[t] = 1;
            stack_.push_back(static_cast<std::uint32_t>(t));
        }
    }

    template <typename Rule> void Visit(size_t t) {
        const std::uint64_t old = grid_[t];
        if ((Rule::Candidates(old) & changeable_[t]) == 0)
            return;
        const std::uint64_t changed = Settle<Rule>(t) ^ old;
        if (changed == 0)
            return;
        grid_[t] = old ^ changed;
        const size_t gw = static_cast<size_t>(gw_);
        if (const std::uint64_t top = changed & kRow0) {
            Queue<Rule>(t - gw, ((top | (top << 1) | (top >> 1)) & kRow0) << 56);
            Queue<Rule>(t - gw - 1, (changed & 1) << 63);
            Queue<Rule>(t - gw + 1, (changed & 0x80) << 49);
        }
        if (const std::uint64_t bottom = changed >> 56) {
            Queue<Rule>(t + gw, (bottom | (bottom << 1) | (bottom >> 1)) & kRow0);
            Queue<Rule>(t + gw - 1, (bottom & 1) << 7);
            Queue<Rule>(t + gw + 1, bottom >> 7);
        }
        if (const std::uint64_t left = changed & kColumn0)
            Queue<Rule>(t - 1, (left | (left << 8) | (left >> 8)) << 7);
        if (const std::uint64_t right = changed & kColumn7)
            Queue<Rule>(t + 1, (right | (right << 8) | (right >> 8)) >> 7);
    }

    // One sweep settles every tile in memory order; the stack takes the tiles behind it that
    // a change touched, and those ahead of it are settled when the sweep gets there.
    template <typename Rule> void Pass() {
        std::fill(queued_.begin(), queued_.end(), 0);
        stack_.clear();
        for (cursor_ = 0; cursor_ < grid_.size(); ++cursor_) {
            Visit<Rule>(cursor_);
            while (!stack_.empty()) {
                const size_t t = stack_.back();
                stack_.pop_back();
                queued_[t] = 0;
                Visit<Rule>(t);
            }
        }
    }

    // Writes back the tiles that changed.
    void Store() {
        static constexpr auto kPixels = [] {
            std::array<std::array<TColor32, 8>, 256> pixels{};
            for (unsigned bits = 0; bits < 256; ++bits)
                for (unsigned c = 0; c < 8; ++c)
                    pixels[bits][c] = (bits >> c) & 1 ? kMaskWhite : kMaskBlack;
            return pixels;
        }();
        for (int ty = 0; ty < gh_ - 2; ++ty)
            for (int tx = 0; tx < gw_ - 2; ++tx) {
                const size_t t = Tile(tx, ty);
                const std::uint64_t tile = grid_[t];
                if (tile == original_[t])
                    continue;
                const size_t width = static_cast<size_t>(std::min(8, w_ - 8 * tx));
                TColor32* out =
                    mask_ + static_cast<size_t>(8 * ty) * static_cast<size_t>(w_) + 8 * tx;
                for (int r = 0; r < std::min(8, h_ - 8 * ty); ++r, out += w_) {
                    const TColor32* pixels = kPixels[(tile >> (8 * r)) & 0xFF].data();
                    if (width == 8)
                        std::memcpy(out, pixels, 8 * sizeof(TColor32));
                    else
                        std::memcpy(out, pixels, width * sizeof(TColor32));
                }
            }
    }

    TColor32* mask_;
    const int w_, h_;
    const int gw_, gh_; // the grid of tiles, ring included
    size_t cursor_ = 0; // the sweep's tile
    std::vector<std::uint64_t>& grid_ = ScratchVector<std::uint64_t>();
    std::vector<std::uint64_t>& original_ = ScratchVector<std::uint64_t, 1>();
    std::vector<std::uint64_t>& changeable_ = ScratchVector<std::uint64_t, 2>();
    std::vector<std::uint8_t>& queued_ = ScratchVector<std::uint8_t>();
    std::vector<std::uint32_t>& stack_ = ScratchVector<std::uint32_t>();
};

} // namespace

void FilterMask(TBitmap32& mask) {
    if (mask.Width() < 3 || mask.Height() < 3)
        return;
    if (!TTileFilter(mask).Run())
        TLinearFilter(mask).Run();
}

void FilterMaskBySweeps(TBitmap32& mask) {
    SweepUntilStable<TErodeRule>(mask);
    SweepUntilStable<TFillRule>(mask);
}
