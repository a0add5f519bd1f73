#pragma once
#include "engine/bitmap32.h"

#include <cstdio>
#include <string>

// Decodes the JPEG stream read from file (positioned at its start) into bitmap: full size,
// accurate integer IDCT, block smoothing, every alpha 255. Greyscale streams, and every stream
// when quantize is true, go through the one-pass 236-colour quantiser.
// Warnings (truncated data) are ignored; fatal errors throw EPictureError naming path.
void DecodeJpeg(std::FILE* file, const std::string& path, bool quantize, TBitmap32& bitmap);

// Compresses bitmap as baseline colour JPEG, quality 90, into file (alpha dropped).
// Throws EPictureError naming path on any error, including a failed write or flush.
void EncodeJpeg(const TBitmap32& bitmap, std::FILE* file, const std::string& path);
