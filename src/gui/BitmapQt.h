// Copies between the core's Bitmap and Qt's QImage.
#pragma once

#include "core/image/Bitmap.h"

#include <QImage>

namespace kestrix::gui {

// A 24-bit bitmap with the image's pixels.
Bitmap bitmapFromImage(const QImage& image);
// A deep copy of the bitmap as an image.
QImage imageFromBitmap(const Bitmap& bitmap);

} // namespace kestrix::gui
