#pragma once
#include "engine/bitmap32.h"

#include <cstddef>
#include <cstdio>
#include <string>

// Size of the file header plus the classic info header; every "BM" file starts with these.
constexpr std::size_t kBmpHeaderSize = 54;

// Decodes a "BM" file whose first kBmpHeaderSize bytes are header into bitmap.
// 32 bpp, 1 plane, uncompressed: rows taken raw (alpha as stored) from byte 54; other variants
// (1/4/8/16/24/32 bpp, bit fields, RLE4/RLE8) get alpha 255 unless they have 32 bpp.
// Throws EPictureError naming path on malformed, truncated or oversized files.
void DecodeBmp(std::FILE* file, const unsigned char (&header)[kBmpHeaderSize],
               const std::string& path, TBitmap32& bitmap);
