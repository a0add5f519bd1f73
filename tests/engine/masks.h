#pragma once
// Adversarial masks for the mask filter, shared by its tests and its benchmark: each needs
// hundreds of plain sweeps (millions at photo size) to reach its fixed point.
#include "engine/bitmap32.h"

// A w x h mask of one value; the start of the masks below.
inline TBitmap32 Filled(TColor32 c, int w, int h) {
    TBitmap32 m;
    m.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.SetPixelAt(x, y, c);
    return m;
}

// A black corridor two pixels wide snaking through white: it fills from its dead ends only,
// one step per sweep against the sweep direction, so the sweeps need hundreds of rounds.
inline TBitmap32 SnakeMask(int w, int h) {
    TBitmap32 m = Filled(kMaskWhite, w, h);
    int lane = 0;
    for (int y = 2; y + 1 < h - 2; y += 4, ++lane) {
        for (int x = 2; x < w - 2; ++x) {
            m.SetPixelAt(x, y, kMaskBlack);
            m.SetPixelAt(x, y + 1, kMaskBlack);
        }
        // Join to the next lane at alternate ends.
        if (y + 5 < h - 2) {
            const int x0 = lane % 2 == 0 ? w - 4 : 2;
            for (int yy = y + 2; yy < y + 4; ++yy) {
                m.SetPixelAt(x0, yy, kMaskBlack);
                m.SetPixelAt(x0 + 1, yy, kMaskBlack);
            }
        }
    }
    return m;
}

// Zigzag chains of white anchored on the left border: every link has exactly 3 white
// neighbours until the link to its right goes, so erosion eats them from the free right end,
// one link per sweep against the sweep direction.
inline TBitmap32 ChainMask(int w, int h) {
    TBitmap32 m = Filled(kMaskBlack, w, h);
    for (int y = 1; y + 1 < h; y += 4)
        for (int x = 0; x < w - 2; ++x) {
            m.SetPixelAt(x, y, kMaskWhite);
            if (x % 2 == 0)
                m.SetPixelAt(x, y + 1, kMaskWhite);
        }
    return m;
}
