#pragma once
#include "engine/bitmap32.h"
#include "engine/picture_input.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The eight bytes every PNG file starts with.
constexpr std::size_t kPngSignatureSize = 8;
bool IsPngSignature(const unsigned char* bytes, std::size_t size);

// Decodes a PNG (any colour type and bit depth, interlaced or not) into bitmap. Colours are
// taken as stored (no gamma correction); 16-bit samples are rounded to 8 bits; the alpha of
// grey+alpha and RGBA files, and of colours made transparent by a tRNS chunk, stays as stored;
// every other pixel gets alpha 255. The input is read front to back once, so a pipe works.
// libpng's warnings go to warnings when given. Throws EPictureError naming path.
void DecodePng(const TPictureInput& input, const std::string& path, TBitmap32& bitmap,
               std::vector<std::string>* warnings = nullptr);

// Writes bitmap as an 8-bit RGB PNG (alpha dropped, as in a JPEG).
// Throws EPictureError naming path on any error, including a failed write or flush.
void EncodePng(const TBitmap32& bitmap, std::FILE* file, const std::string& path);

// Writes bitmap as an 8-bit greyscale PNG of the mean of each pixel's channels, exact for a
// selection mask and for greyed pixels.
void EncodePngGrey(const TBitmap32& bitmap, std::FILE* file, const std::string& path);
