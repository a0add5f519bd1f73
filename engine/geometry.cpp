#include "engine/geometry.h"

#include "engine/bitmap32.h"

#include <cmath>

namespace {

// Nearest integer, ties to even (the default rounding mode); below 1 counts as nothing.
int RoundDimension(float value) {
    const float r = std::nearbyint(value);
    if (!(r >= 1.0f))
        return 0;
    return static_cast<int>(r);
}

} // namespace

TSize FittedSize(int viewWidth, int viewHeight, int width, int height) {
    if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0)
        return {};
    const float sx = static_cast<float>(viewWidth) / static_cast<float>(width);
    const float sy = static_cast<float>(viewHeight) / static_cast<float>(height);
    if (sx >= sy)
        return {RoundDimension(static_cast<float>(width) * sy), viewHeight};
    return {viewWidth, RoundDimension(static_cast<float>(height) * sx)};
}

TRect DisplayedRect(int viewWidth, int viewHeight, const TBitmap32& picture) {
    const TSize size = FittedSize(viewWidth, viewHeight, picture.Width(), picture.Height());
    if (size.width == 0 || size.height == 0)
        return {};
    return {0, 0, size.width, size.height};
}

std::vector<int> NearestSourceMap(int displayed, int source) {
    if (displayed <= 0 || source <= 0)
        return {};
    std::vector<int> map(static_cast<size_t>(displayed));
    const float ratio = static_cast<float>(source) / static_cast<float>(displayed);
    for (int d = 0; d < displayed; ++d) {
        const int s = static_cast<int>(static_cast<float>(d) * ratio);
        // Float rounding must never index past the picture: the map feeds unchecked reads.
        map[static_cast<size_t>(d)] = s < source ? s : source - 1;
    }
    return map;
}

void ApplyOrientation(const TBitmap32& source, int orientation, TBitmap32& target) {
    if (orientation < 2 || orientation > 8) {
        target.CopyFrom(&source);
        return;
    }
    const int w = source.Width();
    const int h = source.Height();
    const bool swap = orientation >= 5;
    target.Resize(swap ? h : w, swap ? w : h);
    for (int y = 0; y < h; ++y) {
        const TColor32* row = source.Row(y);
        for (int x = 0; x < w; ++x) {
            int tx = x, ty = y;
            switch (orientation) {
            case 2:
                tx = w - 1 - x;
                break; // mirrored
            case 3:
                tx = w - 1 - x;
                ty = h - 1 - y;
                break; // upside down
            case 4:
                ty = h - 1 - y;
                break; // mirrored upside down
            case 5:
                tx = y;
                ty = x;
                break; // transposed
            case 6:
                tx = h - 1 - y;
                ty = x;
                break; // turned a quarter clockwise
            case 7:
                tx = h - 1 - y;
                ty = w - 1 - x;
                break; // transversed
            default:
                tx = y;
                ty = w - 1 - x;
                break; // a quarter counter-clockwise
            }
            target.SetPixelAt(tx, ty, row[x]);
        }
    }
}
