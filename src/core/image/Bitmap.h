// An image in memory: width, height, pixel format, colour table for formats of 8 bits or fewer,
// rows stored top-down and padded to 4 bytes, optional transparent colour. 24-bit pixels are
// stored blue, green, red.
#pragma once

#include "core/image/Color.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace kestrix {

enum class PixelFormat { Device, Bit1, Bit4, Bit8, Bit15, Bit16, Bit24, Bit32, Custom };

// Bits per pixel of a format; 0 for the device and custom tags.
int bitsPerPixel(PixelFormat format);
bool isPaletteFormat(PixelFormat format);

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Largest image the program accepts: per side and in total.
constexpr int kMaxImageSide = 32768;
constexpr int64_t kMaxImagePixels = 100'000'000;
// Raises an error unless width x height is a size the program can hold.
void checkImageSize(int64_t width, int64_t height);

// Allocates pixel memory without clearing it: an element made without a value is left as the
// memory holds it, so code that writes every pixel next does not pay for zeroing it first (and for
// touching every fresh page twice). Elements made with a value get that value.
template <class T> struct PixelAllocator : std::allocator<T> {
    PixelAllocator() = default;
    template <class U> PixelAllocator(const PixelAllocator<U>&) noexcept {}
    template <class U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <class U, class... Args> void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

using PixelBytes = std::vector<uint8_t, PixelAllocator<uint8_t>>;

class Bitmap {
public:
    Bitmap() = default;
    // A black bitmap: every pixel and padding byte 0.
    Bitmap(int width, int height, PixelFormat format = PixelFormat::Bit24);

    // Makes this a new width x height bitmap of `format` without colour table or transparent
    // colour (a palette format gets the default table), in the pixel memory it already holds when
    // that is large enough. With `black` every byte is 0. Without, only the row padding is: the
    // pixels hold whatever the memory held, and the caller must write every one of them next.
    void recreate(int width, int height, PixelFormat format, bool black);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    PixelFormat pixelFormat() const { return format_; }
    size_t stride() const { return stride_; }

    // New size; the overlapping top-left part of the old pixels is kept, the rest is black.
    void setSize(int width, int height);
    // Converts the pixels in place. Converting to a palette format without a colour table gives
    // the bitmap a default one.
    void setPixelFormat(PixelFormat format);
    void convertTo24() { setPixelFormat(PixelFormat::Bit24); }

    uint8_t* scanLine(int y) { return pixels_.data() + static_cast<size_t>(y) * stride_; }
    const uint8_t* scanLine(int y) const {
        return pixels_.data() + static_cast<size_t>(y) * stride_;
    }
    const PixelBytes& pixelBytes() const { return pixels_; }

    const std::vector<Color>& palette() const { return palette_; }
    void setPalette(std::vector<Color> palette);

    bool transparent() const { return transparent_; }
    Color transparentColor() const { return transparentColor_; }
    void setTransparentColor(Color color) {
        transparent_ = true;
        transparentColor_ = color;
    }
    void clearTransparent() { transparent_ = false; }

    Color pixel(int x, int y) const;
    // Expands row y to 24-bit blue, green, red triples (width x 3 bytes).
    void readRow24(int y, uint8_t* out) const;

    // Paints the rectangle (right and bottom exclusive), clipped to the bitmap.
    void fillRect(const Rect& rect, Color color);
    void fill(Color color) { fillRect({0, 0, width_, height_}, color); }

    // Copies the source rectangle unscaled to (dstX, dstY), clipped to both bitmaps, converting
    // colours to this bitmap's format (to a palette: the nearest colour). With `useTransparency`,
    // source pixels of the source's transparent colour leave this bitmap unchanged.
    void copyRect(int dstX, int dstY, const Bitmap& src, const Rect& srcRect,
                  bool useTransparency = false);
    // Draws all of `src` with its top-left corner at (x, y).
    void draw(int x, int y, const Bitmap& src, bool useTransparency) {
        copyRect(x, y, src, {0, 0, src.width(), src.height()}, useTransparency);
    }

private:
    void allocate(int width, int height, PixelFormat format, bool black);
    void writeRow24(int y, const uint8_t* bgr, PaletteMatcher* matcher);
    void copyInto8(int dstX, int dstY, const Bitmap& src, int sx, int sy, int w, int h,
                   bool transparency);

    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::Bit24;
    size_t stride_ = 0;
    PixelBytes pixels_;
    std::vector<Color> palette_;
    bool transparent_ = false;
    Color transparentColor_;
};

size_t strideFor(int width, int bitsPerPixel);

} // namespace kestrix
