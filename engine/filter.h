#pragma once
#include "engine/bitmap32.h"
#include "engine/mask_bits.h"

// Cleans a selection mask in place: pass 1 blackens interior pixels with a neighbour
// intensity sum below 765 until nothing changes, pass 2 whitens black interior pixels
// with a sum above 1020 until nothing changes. The border is read, never changed.
// Linear time. Keeps per-thread scratch memory between calls: about 3 bits per pixel for masks
// of only mask black and mask white (what Render makes), 2 bytes per pixel for any other.
void FilterMask(TBitmap32& mask);

// The same on a mask of one bit per pixel; scratch memory about 3 bits per pixel.
void FilterMaskBits(TMaskBits& mask);

// The same result by repeated full sweeps; slow, kept as the reference for tests and benchmarks.
void FilterMaskBySweeps(TBitmap32& mask);
