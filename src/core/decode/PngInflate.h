// A PNG's image data inflated in one call.
#pragma once

#include "core/decode/PageBuffer.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace kestrix {

// The zlib stream split over `chunks` (an image's IDAT data, in order), inflated into exactly
// `size` bytes; null when the stream is broken, holds less or more than that, cannot hold that
// much, or `size` is more than is inflated at once. Which it was is not told: zlib's
// step-by-step reading tells it, as it always has.
PageBuffer inflateImageData(const std::vector<std::string_view>& chunks, size_t size);

} // namespace kestrix
