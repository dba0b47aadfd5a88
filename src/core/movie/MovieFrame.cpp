#include "core/movie/MovieFrame.h"

#include "core/tools/Resampler.h"

namespace kestrix {

const Bitmap& movieFrame(const Bitmap& bitmap, int width, int height, Bitmap& storage) {
    if (bitmap.empty()) {
        storage = width > 0 && height > 0 ? Bitmap(width, height) : Bitmap();
        return storage;
    }
    const bool sized = width > 0 && height > 0;
    if (bitmap.pixelFormat() == PixelFormat::Bit24 &&
        (!sized || (bitmap.width() == width && bitmap.height() == height)))
        return bitmap;
    storage = bitmap;
    storage.convertTo24();
    if (sized && (storage.width() != width || storage.height() != height))
        resizeBitmap(storage, width, height, nullptr, ResampleFilter::Mitchell);
    return storage;
}

} // namespace kestrix
