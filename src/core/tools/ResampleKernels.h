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

using RowsDone = std::function<void(int rows)>;

// Source rows (any pixel format, read as 24-bit) resampled across into the intermediate image.
void resampleRows(const Bitmap& source, const FlatWeights& columns, PixelBuffer& intermediate,
                  const RowsDone& done);
// Intermediate columns resampled down into the 24-bit result, one destination row at a time.
void resampleColumns(PixelBuffer& intermediate, const FlatWeights& rows, Bitmap& result,
                     const RowsDone& done);

} // namespace kestrix
