// The picture shown before the first image arrives.
#pragma once

#include "core/image/Bitmap.h"

namespace kestrix::gui {

constexpr int kStartPictureWidth = 639;
constexpr int kStartPictureHeight = 433;

// A 639 x 433, 24-bit picture: a volcano at dusk with the product name.
Bitmap startPicture();

} // namespace kestrix::gui
