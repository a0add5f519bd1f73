#pragma once
#include <cstdint>

// One pixel: alpha 31..24, red 23..16, green 15..8, blue 7..0.
using TColor32 = std::uint32_t;

constexpr std::uint32_t RedOf(TColor32 c) { return (c >> 16) & 255u; }
constexpr std::uint32_t GreenOf(TColor32 c) { return (c >> 8) & 255u; }
constexpr std::uint32_t BlueOf(TColor32 c) { return c & 255u; }

constexpr TColor32 GreyColor(std::uint32_t i, std::uint32_t a) {
    i &= 255u;
    a &= 255u;
    return (a << 24) | (i << 16) | (i << 8) | i;
}

// Weights sum to 256, so white is exactly 255.
constexpr std::uint32_t IntensityOf(TColor32 c) {
    return (61u * RedOf(c) + 174u * GreenOf(c) + 21u * BlueOf(c)) >> 8;
}

constexpr TColor32 kMaskBlack = GreyColor(0, 255);
constexpr TColor32 kMaskWhite = GreyColor(255, 255);
