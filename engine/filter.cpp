#include "engine/filter.h"

#include <cstdint>
#include <vector>

namespace {

constexpr std::uint32_t kErodeBelow = 3 * IntensityOf(kMaskWhite); // 765
constexpr std::uint32_t kFillAbove = 4 * IntensityOf(kMaskWhite);  // 1020

// Pass 1 blackens speckles: only lowers intensities, so neighbour sums only fall.
struct TErodeRule {
    static bool Candidate(TColor32 v) { return v != kMaskBlack; }
    static bool Qualifies(std::uint32_t sum) { return sum < kErodeBelow; }
    static constexpr TColor32 kNewValue = kMaskBlack;
};

// Pass 2 fills holes: only raises intensities, so neighbour sums only rise.
struct TFillRule {
    static bool Candidate(TColor32 v) { return v == kMaskBlack; }
    static bool Qualifies(std::uint32_t sum) { return sum > kFillAbove; }
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
                    Rule::Qualifies(NeighbourSum(mask, x, y))) {
                    mask.SetPixelAt(x, y, Rule::kNewValue);
                    ++changes;
                }
    } while (changes != 0);
}

// One pass in time linear in the pixel count. A pixel that qualifies keeps qualifying until it
// changes (sums move only one way), so every order of changes reaches the same fixed point as
// repeated sweeps, whatever the pixel values. One sweep visits every pixel; each change then
// rechecks its neighbours at once through a stack, instead of waiting for another sweep.
template <typename Rule> class TLinearPass {
  public:
    explicit TLinearPass(TBitmap32& mask)
        : mask_(mask), w_(mask.Width()),
          h_(mask.Height()), rows_{std::vector<std::uint32_t>(w_), std::vector<std::uint32_t>(w_),
                                   std::vector<std::uint32_t>(w_)} {}

    void Run() {
        if (w_ < 3 || h_ < 3)
            return;
        LoadRow(up(), 0);
        LoadRow(mid(), 1);
        for (scanY_ = 1; scanY_ < h_ - 1; ++scanY_) {
            LoadRow(down(), scanY_ + 1);
            TColor32* row = mask_.Row(scanY_);
            const std::uint32_t* u = up().data();
            const std::uint32_t* m = mid().data();
            const std::uint32_t* d = down().data();
            for (int x = 1; x < w_ - 1; ++x) {
                if (!Rule::Candidate(row[x]))
                    continue;
                const std::uint32_t sum =
                    m[x - 1] + u[x - 1] + u[x] + u[x + 1] + m[x + 1] + d[x + 1] + d[x] + d[x - 1];
                if (Rule::Qualifies(sum)) {
                    Change(x, scanY_);
                    Drain();
                }
            }
            ++first_; // rotate: mid becomes up, down becomes mid
        }
    }

  private:
    std::vector<std::uint32_t>& up() { return rows_[first_ % 3]; }
    std::vector<std::uint32_t>& mid() { return rows_[(first_ + 1) % 3]; }
    std::vector<std::uint32_t>& down() { return rows_[(first_ + 2) % 3]; }

    void LoadRow(std::vector<std::uint32_t>& buffer, int y) {
        const TColor32* row = mask_.Row(y);
        for (int x = 0; x < w_; ++x)
            buffer[static_cast<size_t>(x)] = IntensityOf(row[x]);
    }

    // Sets the pixel, keeps the three cached intensity rows exact, and queues its neighbours.
    void Change(int x, int y) {
        mask_.SetPixelAt(x, y, Rule::kNewValue);
        const int dy = y - scanY_;
        if (dy >= -1 && dy <= 1)
            rows_[(first_ + 1 + dy) % 3][static_cast<size_t>(x)] = IntensityOf(Rule::kNewValue);
        stack_.push_back(static_cast<std::uint32_t>(x) +
                         static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(w_));
    }

    void Drain() {
        while (!stack_.empty()) {
            const std::uint32_t index = stack_.back();
            stack_.pop_back();
            const int cx = static_cast<int>(index % static_cast<std::uint32_t>(w_));
            const int cy = static_cast<int>(index / static_cast<std::uint32_t>(w_));
            for (int ny = cy - 1; ny <= cy + 1; ++ny) {
                if (ny < 1 || ny > h_ - 2)
                    continue;
                for (int nx = cx - 1; nx <= cx + 1; ++nx) {
                    if (nx < 1 || nx > w_ - 2 || (nx == cx && ny == cy))
                        continue;
                    if (Rule::Candidate(mask_.PixelAt(nx, ny)) &&
                        Rule::Qualifies(NeighbourSum(mask_, nx, ny)))
                        Change(nx, ny);
                }
            }
        }
    }

    TBitmap32& mask_;
    const int w_, h_;
    std::vector<std::uint32_t> rows_[3];
    unsigned first_ = 0;
    int scanY_ = 1;
    std::vector<std::uint32_t> stack_;
};

} // namespace

void FilterMask(TBitmap32& mask) {
    TLinearPass<TErodeRule>(mask).Run();
    TLinearPass<TFillRule>(mask).Run();
}

void FilterMaskBySweeps(TBitmap32& mask) {
    SweepUntilStable<TErodeRule>(mask);
    SweepUntilStable<TFillRule>(mask);
}
