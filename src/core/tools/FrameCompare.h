// Comparing frames with each other: the per-pixel difference behind the motion view.
#pragma once

#include "image/Bitmap.h"

namespace kestrix {

// Both bitmaps become 24-bit; every byte of the common top-left area of `target` becomes the
// absolute difference of its byte and the same byte of `other`. The rest of `target` stays.
void DifferenceInto(Bitmap& target, Bitmap& other);

} // namespace kestrix
