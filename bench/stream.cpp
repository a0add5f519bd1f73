// One route of a JPEG-to-JPEG splash per run, timed inside the process, with its peak memory;
// bench/stream.sh runs the routes side by side. Not a Google Benchmark program: peak memory
// needs one process per route.
//
//   bench_stream ROUTE IN.jpg OUT.jpg R,G,B TR,TG,TB
//   ROUTE: decode | encode | stream | whole | filter-stream | filter-whole
#include "engine/bitmap32.h"
#include "engine/filter.h"
#include "engine/jpeg_codec.h"
#include "engine/render.h"
#include "engine/splash_stream.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <sys/resource.h>

namespace {

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

bool ParseTriple(const char* text, int (&v)[3]) {
    return std::sscanf(text, "%d,%d,%d", &v[0], &v[1], &v[2]) == 3;
}

struct TFile {
    std::FILE* f;
    explicit TFile(const char* path, const char* mode) : f(std::fopen(path, mode)) {}
    ~TFile() {
        if (f != nullptr)
            std::fclose(f);
    }
};

} // namespace

int main(int argc, char** argv) {
    int c[3], t[3];
    if (argc != 6 || !ParseTriple(argv[4], c) || !ParseTriple(argv[5], t)) {
        std::fprintf(stderr, "usage: %s ROUTE IN.jpg OUT.jpg R,G,B TR,TG,TB\n", argv[0]);
        return 2;
    }
    const std::string route = argv[1];
    const TSelection selection{c[0], c[1], c[2], t[0], t[1], t[2]};
    try {
        TFile in(argv[2], "rb");
        TFile out(argv[3], "wb");
        if (in.f == nullptr || out.f == nullptr) {
            std::perror("open");
            return 1;
        }
        TBitmap32 preloaded;
        if (route == "encode") {
            // Untimed: the result to encode, as the other routes make it.
            TBitmap32 picture, mask;
            DecodeJpeg(in.f, argv[2], false, picture);
            RenderSelection(picture, selection, mask, preloaded);
        }
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = CpuMs();
        if (route == "decode") {
            TJpegReader reader(in.f, argv[2], false);
            std::vector<TColor32> strip(static_cast<std::size_t>(reader.Width()) * 16);
            TColor32* rows[16];
            for (int i = 0; i < 16; ++i)
                rows[i] = strip.data() + static_cast<std::size_t>(reader.Width()) * i;
            reader.Start();
            while (reader.ReadRows(rows, 16) > 0) {
            }
            reader.Finish();
        } else if (route == "encode") {
            EncodeJpeg(preloaded, out.f, argv[3]);
        } else if (route == "stream") {
            SplashJpegStream({in.f}, argv[2], selection, out.f, argv[3]);
        } else if (route == "whole") {
            TBitmap32 picture, mask, result;
            DecodeJpeg(in.f, argv[2], false, picture);
            RenderSelection(picture, selection, mask, result);
            EncodeJpeg(result, out.f, argv[3]);
        } else if (route == "filter-stream") {
            SplashJpegStreamFiltered({in.f}, argv[2], selection, out.f, argv[3]);
        } else if (route == "filter-whole") {
            TBitmap32 picture, mask, result;
            DecodeJpeg(in.f, argv[2], false, picture);
            RenderSelection(picture, selection, mask, result);
            FilterMask(mask);
            ComposeResult(picture, mask, result);
            EncodeJpeg(result, out.f, argv[3]);
        } else {
            std::fprintf(stderr, "unknown route %s\n", route.c_str());
            return 2;
        }
        const double cpu = CpuMs() - cpu0;
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0)
                .count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%s wall_ms %.1f cpu_ms %.1f maxrss_kib %ld\n", route.c_str(), wall, cpu,
                    usage.ru_maxrss);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
