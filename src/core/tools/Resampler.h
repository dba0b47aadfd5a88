// Filtered resampling: every destination pixel is a weighted sum of source pixels, with weights
// computed once per destination column and once per destination row; the rows are resampled into
// an intermediate image, then its columns into the result. All filter arithmetic and all sums are
// single precision; each sum is clamped to 0..255 and rounded half to even.
#pragma once

#include "image/Bitmap.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrix {

struct FilterEntry {
    const char* name;
    float (*filter)(float x);
    float support;
};

// Box, Triangle, Hermite, Bell, B-Spline, Mitchell, Lanczos3, in this order.
extern const FilterEntry FilterTable[7];
constexpr int kFilterCount = 7;

struct PixelWeight {
    int32_t pixel;
    float weight;
};

// The contributors of one destination pixel, in order.
struct WeightList {
    std::vector<PixelWeight> entries;
};

using ProgressCallback = std::function<void(int percent)>;

// The weights of `destCount` destination pixels over `sourceCount` source pixels. Indexes that
// fall outside the source are reflected at its edges and then kept inside it.
std::vector<WeightList> BuildWeights(int destCount, int sourceCount, float scale, float support,
                                     float (*filter)(float));

// The scale of one axis: corner pixels map to corner pixels. A 1-pixel source or destination
// scales by the plain ratio.
float axisScale(int destCount, int sourceCount);

// Resizes `bitmap` in place to newWidth x newHeight with the filter of that index; the bitmap keeps
// its pixel format (a palette bitmap gets the nearest colours of its table). An empty source
// raises "Source bitmap too small". `progress` receives rising percentages.
void ResizeBitmap(Bitmap& bitmap, int newWidth, int newHeight, const ProgressCallback& progress,
                  int filterIndex);

// A plain 3-bytes-per-pixel buffer without row padding.
class TPseudoBitmap {
public:
    TPseudoBitmap(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    size_t rowSize() const { return rowSize_; }
    // Rows 0 .. height; row `height` is just past the last one. Others raise
    // "Scanline out of range".
    uint8_t* ScanLine(int row);

private:
    int width_;
    int height_;
    size_t rowSize_;
    std::vector<uint8_t> pixels_;
};

} // namespace kestrix
