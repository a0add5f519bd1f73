#pragma once
#include "engine/bitmap32.h"

#include <string>

// Decoders refuse pictures above this many pixels before allocating anything large.
// Fuzz builds lower it so the fuzzer explores the decoders rather than huge allocations.
#ifdef HUELET_DECODE_MAX_PIXELS
constexpr long long kDecodeMaxPixels = HUELET_DECODE_MAX_PIXELS;
#else
constexpr long long kDecodeMaxPixels = kMaxPicturePixels;
#endif

// Throws EPictureError when width x height cannot be decoded into a TBitmap32.
void CheckDecodeSize(long long width, long long height, const std::string& path);

// "path" in double quotes, for error messages.
std::string QuotedPath(const std::string& path);
