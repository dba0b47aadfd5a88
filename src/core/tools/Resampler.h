// Filtered resampling: every destination pixel is a weighted sum of source pixels, with weights
// computed once per destination column and once per destination row; the rows are resampled into
// an intermediate image, then its columns into the result. All filter arithmetic and all sums are
// single precision; each sum is clamped to 0..255 and rounded half to even.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/image/Bitmap.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrix {

// The resampling filters, in the order of the filter table.
enum class ResampleFilter { Box, Triangle, Hermite, Bell, BSpline, Mitchell, Lanczos3 };
constexpr int kFilterCount = 7;

struct FilterEntry {
    const char* name;
    float (*filter)(float x);
    float support;
};

extern const FilterEntry kFilterTable[kFilterCount];

// Every filter, in table order.
constexpr ResampleFilter kAllFilters[kFilterCount] = {
    ResampleFilter::Box,     ResampleFilter::Triangle, ResampleFilter::Hermite,
    ResampleFilter::Bell,    ResampleFilter::BSpline,  ResampleFilter::Mitchell,
    ResampleFilter::Lanczos3};

inline const FilterEntry& filterEntry(ResampleFilter filter) {
    return kFilterTable[static_cast<int>(filter)];
}

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
std::vector<WeightList> buildWeights(int destCount, int sourceCount, float scale, float support,
                                     float (*filter)(float));

// The scale of one axis: corner pixels map to corner pixels. A 1-pixel source or destination
// scales by the plain ratio.
float axisScale(int destCount, int sourceCount);

// Resizes `bitmap` in place to newWidth x newHeight with `filter`; the bitmap keeps its pixel
// format (a palette bitmap gets the nearest colours of its table). An empty source raises
// "Source bitmap too small". `progress` receives rising percentages.
void resizeBitmap(Bitmap& bitmap, int newWidth, int newHeight, const ProgressCallback& progress,
                  ResampleFilter filter);

// "Resize All": every frame resized as resizeBitmap does, frames on every worker thread;
// `progress` gets each frame's index in order (and may be null).
void resizeFrames(BitmapList& frames, int newWidth, int newHeight, ResampleFilter filter,
                  const std::function<void(int)>& progress);

// A plain 3-bytes-per-pixel buffer without row padding.
class PixelBuffer {
public:
    PixelBuffer(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    size_t rowSize() const { return rowSize_; }
    // Rows 0 .. height; row `height` is just past the last one. Others raise
    // "Scanline out of range".
    uint8_t* scanLine(int row);

private:
    int width_;
    int height_;
    size_t rowSize_;
    std::vector<uint8_t> pixels_;
};

} // namespace kestrix
