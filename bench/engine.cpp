// Picture engine speed on a 24-megapixel photo-like JPEG that the benchmark makes itself.
// Compare within one run: DecodeAndSelect against Decode, Filter against Select.
#include "engine/bitmap32.h"
#include "engine/filter.h"
#include "engine/render.h"
#include "tests/engine/masks.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kWidth = 6000, kHeight = 4000; // 24 megapixels

// The selection used throughout: a mid orange with moderate thresholds, which on the test
// picture gives a speckled mask with large areas on both sides.
const TSelection kSelection{200, 120, 80, 40, 40, 40};

std::uint32_t Noise(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 24;
}

// Smooth gradients and soft blobs with grain, so the JPEG compresses like a photograph.
TBitmap32 PhotoLike(int w, int h) {
    TBitmap32 b;
    b.Resize(w, h);
    std::uint32_t state = 12345;
    for (int y = 0; y < h; ++y) {
        TColor32* row = b.Row(y);
        const float fy = static_cast<float>(y) / static_cast<float>(h);
        for (int x = 0; x < w; ++x) {
            const float fx = static_cast<float>(x) / static_cast<float>(w);
            const float blob = 0.5f + 0.5f * std::sin(fx * 17.0f) * std::cos(fy * 11.0f);
            auto channel = [&](float base) {
                const int v =
                    static_cast<int>(base * 255.0f) + static_cast<int>(Noise(state) % 25) - 12;
                return static_cast<std::uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            };
            row[x] = 0xFF000000u | (channel(0.3f + 0.6f * fx * blob) << 16) |
                     (channel(0.2f + 0.5f * fy * (1 - blob) + 0.2f * blob) << 8) |
                     channel(0.15f + 0.4f * (1 - fx) * fy);
        }
    }
    return b;
}

struct TData {
    std::filesystem::path folder;
    std::string jpeg;
    TBitmap32 picture, mask, result;
    TBitmap32 snake, chains, noise;

    TData() {
        char name[] = "/tmp/huelet-bench-XXXXXX";
        if (!mkdtemp(name))
            std::abort();
        folder = name;
        jpeg = (folder / "photo24.jpg").string();
        PhotoLike(kWidth, kHeight).WriteJpegFile(jpeg);
        picture.ReadPictureFile(jpeg);
        RenderSelection(picture, kSelection, mask, result);
        snake = SnakeMask(kWidth, kHeight);
        chains = ChainMask(kWidth, kHeight);
        noise.Resize(kWidth, kHeight);
        std::uint32_t state = 99;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                noise.SetPixelAt(x, y, (Noise(state) & 1) ? kMaskWhite : kMaskBlack);
    }
    ~TData() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

TData& Data() {
    static TData data;
    return data;
}

void SetPixels(benchmark::State& state) {
    state.counters["MPix/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Decode(benchmark::State& state) {
    TData& d = Data();
    TBitmap32 picture;
    for (auto _ : state) {
        picture.ReadPictureFile(d.jpeg);
        benchmark::DoNotOptimize(picture.Bits());
    }
    SetPixels(state);
}

// What one Render costs: decode, then the selection pass. Arg 1: new mask and result buffers
// every time (as a fresh render allocates them); arg 0: buffers reused.
void BM_DecodeAndSelect(benchmark::State& state) {
    TData& d = Data();
    TBitmap32 picture, mask, result;
    RenderSelection(d.picture, kSelection, mask, result); // reused buffers start sized
    for (auto _ : state) {
        picture.ReadPictureFile(d.jpeg);
        if (state.range(0) != 0) {
            TBitmap32 freshMask, freshResult;
            RenderSelection(picture, kSelection, freshMask, freshResult);
            benchmark::DoNotOptimize(freshResult.Bits());
        } else {
            RenderSelection(picture, kSelection, mask, result);
            benchmark::DoNotOptimize(result.Bits());
        }
    }
    SetPixels(state);
}

void BM_Select(benchmark::State& state) {
    TData& d = Data();
    TBitmap32 mask, result;
    RenderSelection(d.picture, kSelection, mask, result);
    for (auto _ : state) {
        if (state.range(0) != 0) {
            TBitmap32 freshMask, freshResult;
            RenderSelection(d.picture, kSelection, freshMask, freshResult);
            benchmark::DoNotOptimize(freshResult.Bits());
        } else {
            RenderSelection(d.picture, kSelection, mask, result);
            benchmark::DoNotOptimize(result.Bits());
        }
    }
    SetPixels(state);
}

void BM_Compose(benchmark::State& state) {
    TData& d = Data();
    TBitmap32 result;
    ComposeResult(d.picture, d.mask, result);
    for (auto _ : state) {
        ComposeResult(d.picture, d.mask, result);
        benchmark::DoNotOptimize(result.Bits());
    }
    SetPixels(state);
}

// Speckled: the selection mask of the test picture. Noise: every pixel white or black at
// random, half and half, the most changes and the least predictable branches.
enum TMaskKind { kSpeckled, kNoise, kSnake, kChains };

const TBitmap32& MaskOfKind(int kind) {
    TData& d = Data();
    switch (kind) {
    case kSpeckled:
        return d.mask;
    case kNoise:
        return d.noise;
    case kSnake:
        return d.snake;
    default:
        return d.chains;
    }
}

template <void (*Filter)(TBitmap32&)> void BM_Filter(benchmark::State& state) {
    const TBitmap32& source = MaskOfKind(static_cast<int>(state.range(0)));
    TBitmap32 work;
    for (auto _ : state) {
        state.PauseTiming();
        work.CopyFrom(&source);
        state.ResumeTiming();
        Filter(work);
        benchmark::DoNotOptimize(work.Bits());
    }
    SetPixels(state);
}

} // namespace

BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeAndSelect)
    ->ArgName("fresh_buffers")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Select)
    ->ArgName("fresh_buffers")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Compose)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Filter<FilterMask>)
    ->Name("BM_FilterMask")
    ->ArgName("mask")
    ->Arg(kSpeckled)
    ->Arg(kNoise)
    ->Arg(kSnake)
    ->Arg(kChains)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Repeated sweeps finish in reasonable time only on the speckled mask; the snake and the
// chains would need about a million sweeps of the whole picture.
BENCHMARK(BM_Filter<FilterMaskBySweeps>)
    ->Name("BM_FilterMaskBySweeps")
    ->ArgName("mask")
    ->Arg(kSpeckled)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
