// The Windows bitmap file form: reading every common variant, writing the uncompressed layout.
#pragma once

#include "core/image/Bitmap.h"

#include <string>
#include <string_view>

namespace kestrix {

// Reads a BMP file image (file header first) into `out`, keeping its pixel format where the
// bitmap has one (1, 4, 8, 15, 16, 24 or 32 bits); other bit-field layouts become 24-bit.
// Malformed data raises "Bitmap image is not valid"; data cut short raises "Stream read error".
// When it raises, `out` is left as it was.
void readBmp(std::string_view data, Bitmap& out);
// The same, decoding into the pixel memory `out` already holds when that is large enough (no
// fresh memory to clear and fault in), for loops that replace picture after picture. When it
// raises, `out` is left empty.
void readBmpInto(std::string_view data, Bitmap& out);

// Writes the bitmap as an uncompressed, bottom-up BMP file image in its own pixel format, with
// a colour table of as many entries as the bitmap has.
std::string writeBmp(const Bitmap& bitmap);
// The same BMP written to `path` crash-safely (an existing file stays as it was when writing
// fails), streamed from the bitmap's rows without a copy of the picture in memory.
void saveBmpFile(const Bitmap& bitmap, const std::string& path);

} // namespace kestrix
