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
// the count of white neighbours. Such a mask is filtered in cells of 16 x 8 pixels, one bit
// each (1 for white), kept as two 64-bit words of 8 x 8 pixels (bit 8r + c is pixel (c, r) of
// a half), so one round of word operations applies a rule to 128 pixels at once. A cell is
// stepped until it stops changing, and the neighbouring cells its changes touch are looked at
// again. Any order of changes reaches the same fixed point, so this equals the sweeps. Every
// step but a visit's last changes a pixel, and a visit that changes one queues at most eight
// cells, so the work stays linear in the pixel count.
class TCellFilter {
    static constexpr std::uint64_t kColumn0 = 0x0101010101010101ull;
    static constexpr std::uint64_t kColumn7 = kColumn0 << 7;
    static constexpr std::uint64_t kRow0 = 0xFF;
    static constexpr int kRows = 8, kColumns = 16;

    struct TCell {
        std::uint64_t left, right;
        TCell operator^(const TCell& o) const { return {left ^ o.left, right ^ o.right}; }
        TCell operator&(const TCell& o) const { return {left & o.left, right & o.right}; }
        TCell operator~() const { return {~left, ~right}; }
        bool Any() const { return (left | right) != 0; }
    };

    // The box sum of the 3 x 3 pixels around each pixel, itself included, as bit planes:
    // low + 2 x (one + carry) + 4 x two.
    struct TBoxSum {
        std::uint64_t low, one, two, carry;
        std::uint64_t AtLeast4() const { return two | (one & carry); }
        std::uint64_t AtLeast5() const { return (two & (one | carry)) | (AtLeast4() & low); }
    };

    // Pass 1: a white pixel whose box sum is below 4 has fewer than 3 white neighbours.
    struct TErode {
        static std::uint64_t Next(std::uint64_t half, const TBoxSum& s, std::uint64_t changeable) {
            return half & (s.AtLeast4() | ~changeable);
        }
        static TCell Candidates(const TCell& cell) { return cell; }
    };
    // Pass 2: a black pixel whose box sum is 5 or more has more than 4 white neighbours.
    struct TFill {
        static std::uint64_t Next(std::uint64_t half, const TBoxSum& s, std::uint64_t changeable) {
            return half | (s.AtLeast5() & changeable);
        }
        static TCell Candidates(const TCell& cell) { return ~cell; }
    };

    // Kept between calls: fresh pages cost more than the filtering of a big mask.
    template <typename T, int Which = 0> static std::vector<T>& ScratchVector() {
        thread_local std::vector<T> v;
        return v;
    }

  public:
    explicit TCellFilter(TBitmap32& mask)
        : mask_(mask.Bits()), w_(mask.Width()), h_(mask.Height()),
          gw_((w_ + kColumns - 1) / kColumns + 2), gh_((h_ + kRows - 1) / kRows + 2) {}
    explicit TCellFilter(TMaskBits& bits)
        : mask_(nullptr), bits_(&bits), w_(bits.Width()), h_(bits.Height()),
          gw_((w_ + kColumns - 1) / kColumns + 2), gh_((h_ + kRows - 1) / kRows + 2) {}

    // False, with the mask untouched, if it holds any other value than mask black and white.
    bool Run() {
        if (!Load())
            return false;
        Pass<TErode>();
        Pass<TFill>();
        Store();
        return true;
    }

    void RunOnBits() {
        LoadBits();
        Prepare();
        Pass<TErode>();
        Pass<TFill>();
        StoreBits();
    }

  private:
    // The cells of the picture sit inside a ring of empty cells, so every cell has eight
    // neighbours; ring cells and border pixels never change.
    size_t Cell(int cx, int cy) const {
        return static_cast<size_t>(cy + 1) * static_cast<size_t>(gw_) + static_cast<size_t>(cx + 1);
    }

    // Bit x set for each mask white pixel of p[0..n); false at any value but mask white and
    // mask black.
    static bool WhiteBits(const TColor32* p, int n, unsigned& bits) {
#if defined(__SSE2__)
        if (n == kColumns) {
            const __m128i white = _mm_set1_epi32(-1);
            const __m128i black = _mm_set1_epi32(static_cast<int>(kMaskBlack));
            __m128i isWhite[4], known = white;
            for (int k = 0; k < 4; ++k) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
                isWhite[k] = _mm_cmpeq_epi32(v, white);
                known = _mm_and_si128(known, _mm_or_si128(isWhite[k], _mm_cmpeq_epi32(v, black)));
            }
            bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(
                _mm_packs_epi32(isWhite[0], isWhite[1]), _mm_packs_epi32(isWhite[2], isWhite[3]))));
            return _mm_movemask_epi8(known) == 0xFFFF;
        }
#endif
        bits = 0;
        for (int x = 0; x < n; ++x) {
            if (p[x] != kMaskWhite && p[x] != kMaskBlack)
                return false;
            bits |= static_cast<unsigned>(p[x] == kMaskWhite) << x;
        }
        return true;
    }

    bool Load() {
        const size_t count = static_cast<size_t>(gw_) * static_cast<size_t>(gh_);
        grid_.assign(count, TCell{});
        for (int y = 0; y < h_; ++y) {
            const TColor32* row = mask_ + static_cast<size_t>(y) * static_cast<size_t>(w_);
            TCell* cells = grid_.data() + Cell(0, y / kRows);
            const int shift = 8 * (y % kRows);
            for (int x = 0; x < w_; x += kColumns) {
                unsigned bits;
                if (!WhiteBits(row + x, std::min(kColumns, w_ - x), bits))
                    return false;
                cells[x / kColumns].left |= static_cast<std::uint64_t>(bits & 0xFF) << shift;
                cells[x / kColumns].right |= static_cast<std::uint64_t>(bits >> 8) << shift;
            }
        }
        original_ = grid_;
        Prepare();
        return true;
    }

    void LoadBits() {
        grid_.assign(static_cast<size_t>(gw_) * static_cast<size_t>(gh_), TCell{});
        for (int y = 0; y < h_; ++y) {
            const std::uint64_t* row = bits_->Row(y);
            TCell* cells = grid_.data() + Cell(0, y / kRows);
            const int shift = 8 * (y % kRows);
            for (int x = 0; x < w_; x += kColumns) {
                const std::uint64_t bits = (row[x / 64] >> (x % 64)) & 0xFFFF;
                cells[x / kColumns].left |= (bits & 0xFF) << shift;
                cells[x / kColumns].right |= (bits >> 8) << shift;
            }
        }
    }

    // Which pixels of each cell may change: the interior of the picture.
    void Prepare() {
        const size_t count = static_cast<size_t>(gw_) * static_cast<size_t>(gh_);
        changeable_.assign(count, TCell{});
        std::vector<TCell> columns(static_cast<size_t>(gw_ - 2), TCell{});
        for (int x = 1; x <= w_ - 2; ++x) {
            TCell& c = columns[static_cast<size_t>(x / kColumns)];
            (x % kColumns < 8 ? c.left : c.right) |= kColumn0 << (x % 8);
        }
        for (int cy = 0; cy < gh_ - 2; ++cy) {
            std::uint64_t rows = 0;
            for (int r = 0; r < kRows; ++r)
                if (const int y = kRows * cy + r; y >= 1 && y <= h_ - 2)
                    rows |= kRow0 << (8 * r);
            TCell* out = changeable_.data() + Cell(0, cy);
            for (size_t cx = 0; cx < columns.size(); ++cx)
                out[cx] = columns[cx] & TCell{rows, rows};
        }
        queued_.resize(count);
    }

    // The left and the right neighbour of every pixel of a half, from the half and the
    // halves beside it.
    static std::uint64_t WestOf(std::uint64_t left, std::uint64_t half) {
        return ((half << 1) & ~kColumn0) | ((left >> 7) & kColumn0);
    }
    static std::uint64_t EastOf(std::uint64_t half, std::uint64_t right) {
        return ((half >> 1) & ~kColumn7) | ((right << 7) & kColumn7);
    }

    // Each pixel plus its left and right neighbours, as a 2-bit number in two planes.
    struct TRowSum {
        std::uint64_t bit0, bit1;
        static TRowSum Of(std::uint64_t w, std::uint64_t c, std::uint64_t e) {
            return {w ^ c ^ e, (w & c) | (e & (w ^ c))};
        }
    };

    // One step of a half: its new value from its left and right neighbour planes and the
    // row sums just above and below it (in rows -1 and 8, shifted to rows 0 and 7).
    template <typename Rule>
    static std::uint64_t Step(std::uint64_t half, std::uint64_t w, std::uint64_t e,
                              const TRowSum& above, const TRowSum& below,
                              std::uint64_t changeable) {
        const TRowSum mid = TRowSum::Of(w, half, e);
        const std::uint64_t n0 = (mid.bit0 << 8) | above.bit0, n1 = (mid.bit1 << 8) | above.bit1;
        const std::uint64_t s0 = (mid.bit0 >> 8) | below.bit0, s1 = (mid.bit1 >> 8) | below.bit1;
        // Box sum = (n0 + mid0 + s0) + 2 x (n1 + mid1 + s1), added up bit by bit.
        const std::uint64_t half0 = n0 ^ mid.bit0, ones = n1 ^ mid.bit1;
        const TBoxSum sum{half0 ^ s0, ones ^ s1, (n1 & mid.bit1) | (s1 & ones),
                          (n0 & mid.bit0) | (s0 & half0)};
        return Rule::Next(half, sum, changeable);
    }

    // The row sums of both halves of a cell, with the cells before and after it.
    static std::array<TRowSum, 2> RowSumsOf(const TCell& before, const TCell& cell,
                                            const TCell& after) {
        return {
            TRowSum::Of(WestOf(before.right, cell.left), cell.left, EastOf(cell.left, cell.right)),
            TRowSum::Of(WestOf(cell.left, cell.right), cell.right, EastOf(cell.right, after.left))};
    }

    // Steps cell t until it stops changing; returns its new value.
    template <typename Rule> TCell Settle(size_t t) const {
        const TCell* g = grid_.data();
        const size_t gw = static_cast<size_t>(gw_);
        // The rows just above and below the cell do not change while it settles: row 7 of the
        // cell above moves to row 0, row 0 of the cell below to row 7.
        auto above = RowSumsOf(g[t - gw - 1], g[t - gw], g[t - gw + 1]);
        auto below = RowSumsOf(g[t + gw - 1], g[t + gw], g[t + gw + 1]);
        for (int k = 0; k < 2; ++k) {
            above[k] = {above[k].bit0 >> 56, above[k].bit1 >> 56};
            below[k] = {below[k].bit0 << 56, below[k].bit1 << 56};
        }
        const std::uint64_t leftEdge = (g[t - 1].right >> 7) & kColumn0;
        const std::uint64_t rightEdge = (g[t + 1].left << 7) & kColumn7;
        const TCell changeable = changeable_[t];
        std::uint64_t l = g[t].left, r = g[t].right;
        // A half is stepped again only after a change in it or in the column of the other half
        // beside it: a front creeping through one half leaves the other alone.
        std::uint64_t changedL = ~0ull, changedR = ~0ull;
        for (;;) {
            const std::uint64_t nextL =
                changedL | (changedR & kColumn0)
                    ? Step<Rule>(l, ((l << 1) & ~kColumn0) | leftEdge, EastOf(l, r), above[0],
                                 below[0], changeable.left)
                    : l;
            const std::uint64_t nextR =
                changedR | (changedL & kColumn7)
                    ? Step<Rule>(r, WestOf(l, r), ((r >> 1) & ~kColumn7) | rightEdge, above[1],
                                 below[1], changeable.right)
                    : r;
            changedL = nextL ^ l;
            changedR = nextR ^ r;
            if ((changedL | changedR) == 0)
                return {l, r};
            l = nextL;
            r = nextR;
        }
    }

    // touched: the pixels of cell t next to a change. Only cells the sweep has passed are
    // queued, and only if one of those pixels may now change.
    template <typename Rule> void Queue(size_t t, const TCell& touched) {
        if (t <= cursor_ && !queued_[t] &&
            (touched & Rule::Candidates(grid_[t]) & changeable_[t]).Any()) {
            queued_[t] = 1;
            stack_.push_back(static_cast<std::uint32_t>(t));
        }
    }

    // A row of 16 pixels with their left and right neighbours, split into the two halves.
    static TCell Spread(std::uint64_t row, int toRow) {
        row |= (row << 1) | (row >> 1);
        return {(row & 0xFF) << (8 * toRow), ((row >> 8) & 0xFF) << (8 * toRow)};
    }
    // A column of 8 pixels with their upper and lower neighbours.
    static std::uint64_t Spread(std::uint64_t column) {
        return column | (column << 8) | (column >> 8);
    }

    template <typename Rule> void Visit(size_t t) {
        const TCell old = grid_[t];
        if (!(Rule::Candidates(old) & changeable_[t]).Any())
            return;
        const TCell changed = Settle<Rule>(t) ^ old;
        if (!changed.Any())
            return;
        grid_[t] = old ^ changed;
        const size_t gw = static_cast<size_t>(gw_);
        if (const std::uint64_t top = (changed.left & kRow0) | (changed.right & kRow0) << 8) {
            Queue<Rule>(t - gw, Spread(top, 7));
            Queue<Rule>(t - gw - 1, {0, (top & 1) << 63});
            Queue<Rule>(t - gw + 1, {(top >> 15) << 56, 0});
        }
        if (const std::uint64_t bottom = (changed.left >> 56) | (changed.right >> 56) << 8) {
            Queue<Rule>(t + gw, Spread(bottom, 0));
            Queue<Rule>(t + gw - 1, {0, (bottom & 1) << 7});
            Queue<Rule>(t + gw + 1, {bottom >> 15, 0});
        }
        if (const std::uint64_t left = changed.left & kColumn0)
            Queue<Rule>(t - 1, {0, Spread(left) << 7});
        if (const std::uint64_t right = changed.right & kColumn7)
            Queue<Rule>(t + 1, {Spread(right) >> 7, 0});
    }

    // One sweep settles every cell in memory order; the stack takes the cells behind it that
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

    // Writes back the rows of cells that changed.
    void Store() {
        static constexpr auto kPixels = [] {
            std::array<std::array<TColor32, 8>, 256> pixels{};
            for (unsigned bits = 0; bits < 256; ++bits)
                for (unsigned c = 0; c < 8; ++c)
                    pixels[bits][c] = (bits >> c) & 1 ? kMaskWhite : kMaskBlack;
            return pixels;
        }();
        for (int cy = 0; cy < gh_ - 2; ++cy)
            for (int cx = 0; cx < gw_ - 2; ++cx) {
                const size_t t = Cell(cx, cy);
                const TCell cell = grid_[t];
                const std::uint64_t changedRows =
                    (cell ^ original_[t]).left | (cell ^ original_[t]).right;
                if (changedRows == 0)
                    continue;
                const int width = std::min(kColumns, w_ - kColumns * cx);
                TColor32* out = mask_ + static_cast<size_t>(kRows * cy) * static_cast<size_t>(w_) +
                                kColumns * cx;
                for (int r = 0; r < std::min(kRows, h_ - kRows * cy); ++r, out += w_) {
                    if (((changedRows >> (8 * r)) & 0xFF) == 0)
                        continue;
                    const TColor32* left = kPixels[(cell.left >> (8 * r)) & 0xFF].data();
                    const TColor32* right = kPixels[(cell.right >> (8 * r)) & 0xFF].data();
                    if (width == kColumns) {
                        std::memcpy(out, left, 8 * sizeof(TColor32));
                        std::memcpy(out + 8, right, 8 * sizeof(TColor32));
                    } else {
                        std::memcpy(out, left,
                                    static_cast<size_t>(std::min(8, width)) * sizeof(TColor32));
                        if (width > 8)
                            std::memcpy(out + 8, right,
                                        static_cast<size_t>(width - 8) * sizeof(TColor32));
                    }
                }
            }
    }

    // Writes every row back into the bits.
    void StoreBits() {
        for (int y = 0; y < h_; ++y) {
            std::uint64_t* row = bits_->Row(y);
            const TCell* cells = grid_.data() + Cell(0, y / kRows);
            const int shift = 8 * (y % kRows);
            std::fill_n(row, bits_->WordsPerRow(), 0);
            for (int x = 0; x < w_; x += kColumns) {
                const TCell c = cells[x / kColumns];
                const std::uint64_t bits = ((c.left >> shift) & 0xFF) | ((c.right >> shift) & 0xFF)
                                                                            << 8;
                row[x / 64] |= bits << (x % 64);
            }
        }
    }

    TColor32* mask_;
    TMaskBits* bits_ = nullptr;
    const int w_, h_;
    const int gw_, gh_; // the grid of cells, ring included
    size_t cursor_ = 0; // the sweep's cell
    std::vector<TCell>& grid_ = ScratchVector<TCell>();
    std::vector<TCell>& original_ = ScratchVector<TCell, 1>();
    std::vector<TCell>& changeable_ = ScratchVector<TCell, 2>();
    std::vector<std::uint8_t>& queued_ = ScratchVector<std::uint8_t>();
    std::vector<std::uint32_t>& stack_ = ScratchVector<std::uint32_t>();
};

} // namespace

void FilterMask(TBitmap32& mask) {
    if (mask.Width() < 3 || mask.Height() < 3)
        return;
    if (!TCellFilter(mask).Run())
        TLinearFilter(mask).Run();
}

void FilterMaskBits(TMaskBits& mask) {
    if (mask.Width() < 3 || mask.Height() < 3)
        return;
    TCellFilter(mask).RunOnBits();
}

void FilterMaskBySweeps(TBitmap32& mask) {
    SweepUntilStable<TErodeRule>(mask);
    SweepUntilStable<TFillRule>(mask);
}
