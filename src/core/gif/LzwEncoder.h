// GIF's variable-length LZW coding of one image's colour indexes into data sub-blocks.
#pragma once

#include <cstdint>
#include <string>

namespace kestrix {

// Appends to `out` the minimum code size byte and the data sub-blocks (at most 255 bytes each)
// of `width` x `height` indexes, rows `stride` bytes apart. The block terminator is the caller's.
// An index not below `colourCount` raises "Color not in color table".
void encodeImageData(std::string& out, int bitsPerPixel, int colourCount, const uint8_t* indexes,
                     int width, int height, size_t stride);

} // namespace kestrix
