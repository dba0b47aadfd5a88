#include "gui/BitmapQt.h"

#include <cstring>

namespace kestrix::gui {

Bitmap bitmapFromImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap b(bgr.width(), bgr.height(), PixelFormat::Bit24);
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(b.scanLine(y), bgr.constScanLine(y), static_cast<size_t>(bgr.width()) * 3);
    return b;
}

QImage imageFromBitmap(const Bitmap& bitmap) {
    if (bitmap.empty())
        return {};
    Bitmap b24 = bitmap;
    b24.convertTo24();
    return QImage(b24.scanLine(0), b24.width(), b24.height(), static_cast<qsizetype>(b24.stride()),
                  QImage::Format_BGR888)
        .copy();
}

} // namespace kestrix::gui
