#pragma once
#include <vector>

class TBitmap32;

struct TSize {
    int width = 0;
    int height = 0;
    bool operator==(const TSize&) const = default;
};

struct TRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const TRect&) const = default;
};

// Displayed size of a width x height picture fitted into a view (aspect kept, ties to even).
TSize FittedSize(int viewWidth, int viewHeight, int width, int height);

// The view rectangle covered by the picture, placed top-left; empty for an empty picture or view.
TRect DisplayedRect(int viewWidth, int viewHeight, const TBitmap32& picture);

// Nearest-neighbour source index for each of `displayed` columns (or rows) showing `source` ones:
// floor(d * (source / displayed)), the ratio taken once in single precision.
std::vector<int> NearestSourceMap(int displayed, int source);

// The picture turned and flipped as an EXIF orientation (1 to 8) says, so that it shows upright
// with orientation 1; other values leave it as it is.
void ApplyOrientation(const TBitmap32& source, int orientation, TBitmap32& target);
