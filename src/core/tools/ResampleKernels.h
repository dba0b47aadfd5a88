// The two passes of the resampler over flat weight arrays. Each destination value is the sum, in
// list order and in single precision, of weight x source byte; the loops are written so that the
// compiler can run many destination values side by side without changing any sum.
#pragma once

#include "core/image/Bitmap.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrix {

class PixelBuffer;

// Weight lists laid end to end: destination pixel i owns entries start[i] .. start[i + 1] - 1.
struct FlatWeights {
    std::vector<int32_t> start;
    std::vector<int32_t> index;
    std::vector<float> weight;
};

// Source rows are resampled this many at a time, one in each vector lane.
constexpr int kRowGroup = 16;

// Source rows [from, to) (any pixel format, read as 24-bit) resampled across into the same rows
// of the intermediate image. Each row comes out the same however the rows are split, so that
// threads can share them out.
void resampleRows(const Bitmap& source, const FlatWeights& columns, PixelBuffer& intermediate,
                  int from, int to);
// Intermediate columns resampled down into rows [from, to) of the 24-bit result.
void resampleColumns(PixelBuffer& intermediate, const FlatWeights& rows, Bitmap& result, int from,
                     int to);

} // namespace kestrix
