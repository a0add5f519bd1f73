#pragma once
// Helpers shared by the codec tests: a private temporary folder, file bytes, PNM files and the
// command-line JPEG tools.
#include "engine/bitmap32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace codec_test {

using Bytes = std::vector<unsigned char>;

// Each test gets its own folder under the system temporary folder, removed afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "huelet-codec-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a shell command; true when it exits with status 0.
inline bool RunCommand(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// A deterministic picture with gradients, edges and noise, so every codec stage has work.
inline TBitmap32 TestPicture(int width, int height, bool randomAlpha = false) {
    TBitmap32 b;
    b.Resize(width, height);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const std::uint32_t noise = (seed >> 24) & 31;
            const std::uint32_t r = (x * 255 / std::max(1, width - 1) + noise) & 255;
            const std::uint32_t g = ((x / 8 + y / 8) % 2 ? 200 : 40) + noise;
            const std::uint32_t bl = (y * 255 / std::max(1, height - 1)) ^ (noise * 3);
            const std::uint32_t a = randomAlpha ? (seed >> 8) & 255 : 255;
            b.SetPixelAt(x, y, (a << 24) | ((r & 255) << 16) | ((g & 255) << 8) | (bl & 255));
        }
    }
    return b;
}

// Binary PPM (P6) of the red, green and blue bytes.
inline void WritePpm(const std::string& path, const TBitmap32& b) {
    Bytes out;
    const std::string head =
        "P6\n" + std::to_string(b.Width()) + " " + std::to_string(b.Height()) + "\n255\n";
    out.insert(out.end(), head.begin(), head.end());
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const TColor32 c = b.PixelAt(x, y);
            out.push_back(static_cast<unsigned char>(RedOf(c)));
            out.push_back(static_cast<unsigned char>(GreenOf(c)));
            out.push_back(static_cast<unsigned char>(BlueOf(c)));
        }
    }
    WriteBytes(path, out);
}

// Reads a binary PGM (P5) or PPM (P6) with maxval 255 into opaque pixels.
inline bool ReadPnm(const std::string& path, TBitmap32& b) {
    const Bytes data = ReadBytes(path);
    std::size_t pos = 0;
    auto token = [&]() {
        std::string t;
        while (pos < data.size()) {
            const char c = static_cast<char>(data[pos]);
            if (c == '#') {
                while (pos < data.size() && data[pos] != '\n') {
                    ++pos;
                }
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                if (!t.empty()) {
                    break;
                }
                ++pos;
            } else {
                t += c;
                ++pos;
            }
        }
        return t;
    };
    const std::string magic = token();
    const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    const int w = std::atoi(token().c_str());
    const int h = std::atoi(token().c_str());
    const int maxval = std::atoi(token().c_str());
    ++pos; // the single whitespace before the samples
    if (channels == 0 || maxval != 255 ||
        data.size() - pos != static_cast<std::size_t>(w) * h * channels) {
        return false;
    }
    b.Resize(w, h);
    const unsigned char* p = data.data() + pos;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, p += channels) {
            const TColor32 r = p[0];
            const TColor32 g = channels == 3 ? p[1] : p[0];
            const TColor32 bl = channels == 3 ? p[2] : p[0];
            b.SetPixelAt(x, y, 0xFF000000u | (r << 16) | (g << 8) | bl);
        }
    }
    return true;
}

// Number of pixels that differ, for a readable failure message.
inline long long DifferentPixels(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return -1;
    }
    long long n = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            n += a.PixelAt(x, y) != b.PixelAt(x, y);
        }
    }
    return n;
}

} // namespace codec_test
