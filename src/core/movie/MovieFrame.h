// Frames as every movie stores them: 24 bits, the size of the movie's first frame.
#pragma once

#include "core/image/Bitmap.h"

namespace kestrix {

// The bitmap itself when it is a 24-bit frame of width x height; otherwise `storage`, made such
// a frame: converted to 24 bits and resampled (Mitchell) to the size. An empty bitmap gives a
// black frame, and an empty one when the size is not known yet (width or height 0).
const Bitmap& movieFrame(const Bitmap& bitmap, int width, int height, Bitmap& storage);

} // namespace kestrix
