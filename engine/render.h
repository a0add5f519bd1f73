#pragma once
#include "engine/bitmap32.h"

#include <cstdlib>
#include <functional>

// The Central Color and the per-channel thresholds of a selection.
struct TSelection {
    int rc = 0, gc = 0, bc = 0; // not clamped: values outside 0..255 simply match less
    int tr = 0, tg = 0, tb = 0; // inclusive
};

// The plain rule, one pixel at a time; 64-bit so that any int Central Color is safe.
inline bool IsSelected(TColor32 c, const TSelection& s) {
    return std::llabs(static_cast<long long>(RedOf(c)) - s.rc) <= s.tr &&
           std::llabs(static_cast<long long>(GreenOf(c)) - s.gc) <= s.tg &&
           std::llabs(static_cast<long long>(BlueOf(c)) - s.bc) <= s.tb;
}

// The grey an unselected pixel turns into: the plain mean of its channels, opaque.
inline TColor32 GreyedOut(TColor32 c) {
    return GreyColor((RedOf(c) + GreenOf(c) + BlueOf(c)) / 3, 255);
}

// One pass over picture: mask gets white/black, result the kept or greyed pixel.
// mask and result are resized to the picture's size, only when it differs: buffers kept from
// the previous render keep their memory, which saves more than the pass costs on big pictures.
// onRow(y) runs before each row.
void RenderSelection(const TBitmap32& picture, const TSelection& selection, TBitmap32& mask,
                     TBitmap32& result, const std::function<void(int)>& onRow = {});

// Rebuilds result from picture and mask; loop bounds come from the mask.
void ComposeResult(const TBitmap32& picture, const TBitmap32& mask, TBitmap32& result);

// One row of each, for pictures streamed row by row; the pixels equal those of the whole-picture
// forms. result may be src itself.
void RenderRow(const TColor32* src, const TSelection& selection, TColor32* mask, TColor32* result,
               int width);
void ComposeRow(const TColor32* src, const TColor32* mask, TColor32* result, int width);
