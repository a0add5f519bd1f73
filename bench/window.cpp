// The Render command and one trackbar change on a 24-megapixel JPEG, driven through the
// offscreen main window, next to decoding the same file alone.
#include "engine/bitmap32.h"
#include "ui/U_MainDlg.h"
#include "ui/application.h"

#include <QLineEdit>
#include <QSlider>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace {

std::string g_picture;
TMainDlg* g_window = nullptr;

// A photograph-like 6000 x 4000 picture: smooth gradients with a little noise.
void WritePicture(const std::string& path) {
    TBitmap32 bmp;
    const int w = 6000, h = 4000;
    bmp.Resize(w, h);
    std::mt19937 noise(7);
    for (int y = 0; y < h; ++y) {
        TColor32* row = bmp.Row(y);
        for (int x = 0; x < w; ++x) {
            const int n = static_cast<int>(noise() % 16);
            const TColor32 r = static_cast<TColor32>((x * 255 / w + n) & 255);
            const TColor32 g = static_cast<TColor32>((y * 255 / h + n) & 255);
            const TColor32 b = static_cast<TColor32>(((x + y) * 255 / (w + h) + n) & 255);
            row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    bmp.WriteJpegFile(path);
}

void BM_DecodeAlone(benchmark::State& state) {
    TBitmap32 bmp;
    for (auto _ : state) {
        bmp.ReadPictureFile(g_picture);
        benchmark::DoNotOptimize(bmp.Bits());
    }
}
BENCHMARK(BM_DecodeAlone)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_RenderCommand(benchmark::State& state) {
    for (auto _ : state)
        g_window->process_btnClick();
}
BENCHMARK(BM_RenderCommand)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_TrackbarChange(benchmark::State& state) {
    int value = 40;
    for (auto _ : state) {
        value = value == 40 ? 41 : 40;
        g_window->dist_r->setValue(value); // renders once
    }
}
BENCHMARK(BM_TrackbarChange)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace

int main(int argc, char** argv) {
    char root[] = "/tmp/huelet-bench.XXXXXX";
    if (mkdtemp(root) == nullptr)
        return 2;
    const std::string base = root;
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (base + "/state").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("HUELET_UPDATE_URL", "http://127.0.0.1:9", 1); // the window's quiet check stays local

    int rc = 0;
    {
        THueletApp app(argc, argv);
        THueletApp::setApplicationName(QStringLiteral("Huelet"));
        g_picture = base + "/24mp.jpg";
        WritePicture(g_picture);

        TMainDlg window;
        if (!std::getenv("BENCH_HIDDEN"))
            window.show();
        window.AppEvtActivate();
        window.rbase_txt->setText(QStringLiteral("200"));
        window.OpenPicture(g_picture);
        THueletApp::processEvents();
        g_window = &window;

        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        g_window = nullptr;
    }
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
    return rc;
}
