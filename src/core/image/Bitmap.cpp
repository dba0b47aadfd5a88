#include "core/image/Bitmap.h"

#include "core/util/Error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <type_traits>

namespace kestrix {

// The vector must build its elements through PixelAllocator, not through a plain allocator that
// a rebind could put in its place.
static_assert(std::is_same_v<std::allocator_traits<PixelAllocator<uint8_t>>::rebind_alloc<uint8_t>,
                             PixelAllocator<uint8_t>>);

int bitsPerPixel(PixelFormat format) {
    switch (format) {
    case PixelFormat::Bit1:
        return 1;
    case PixelFormat::Bit4:
        return 4;
    case PixelFormat::Bit8:
        return 8;
    case PixelFormat::Bit15:
    case PixelFormat::Bit16:
        return 16;
    case PixelFormat::Bit24:
        return 24;
    case PixelFormat::Bit32:
        return 32;
    case PixelFormat::Device:
    case PixelFormat::Custom:
        return 0;
    }
    return 0;
}

bool isPaletteFormat(PixelFormat format) {
    return format == PixelFormat::Bit1 || format == PixelFormat::Bit4 ||
           format == PixelFormat::Bit8;
}

void checkImageSize(int64_t width, int64_t height) {
    if (width < 0 || height < 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        throw Error("Image too large: " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels");
}

size_t strideFor(int width, int bpp) {
    // Device and custom bitmaps are held as 24-bit rows.
    int bits = bpp == 0 ? 24 : bpp;
    return ((static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32) * 4;
}

Bitmap::Bitmap(int width, int height, PixelFormat format) {
    allocate(width, height, format, true);
}

void Bitmap::allocate(int width, int height, PixelFormat format, bool black) {
    checkImageSize(width, height);
    const size_t stride = strideFor(width, bitsPerPixel(format));
    const size_t bytes = stride * static_cast<size_t>(height);
    if (black) {
        pixels_.assign(bytes, 0);
    } else {
        if (bytes > pixels_.capacity()) {
            // Fresh memory, without copying the old bytes over, which are not wanted.
            PixelBytes fresh;
            fresh.resize(bytes);
            pixels_.swap(fresh);
        } else {
            pixels_.resize(bytes);
        }
        // The padding is written out with the rows (BMP, frames files), so it is never left
        // to chance.
        const int bits = bitsPerPixel(format) == 0 ? 24 : bitsPerPixel(format);
        const size_t used = (static_cast<size_t>(width) * static_cast<size_t>(bits) + 7) / 8;
        if (used < stride)
            for (size_t row = 0; row < bytes; row += stride)
                std::memset(pixels_.data() + row + used, 0, stride - used);
    }
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = stride;
    if (isPaletteFormat(format) && palette_.empty())
        palette_ = defaultPalette(bitsPerPixel(format));
}

void Bitmap::recreate(int width, int height, PixelFormat format, bool black) {
    palette_.clear();
    transparent_ = false;
    transparentColor_ = Color();
    allocate(width, height, format, black);
}

void Bitmap::setSize(int width, int height) {
    if (width == width_ && height == height_)
        return;
    PixelBytes old = std::move(pixels_);
    size_t oldStride = stride_;
    int oldHeight = height_;
    allocate(width, height, format_, true);
    size_t rowBytes = std::min(oldStride, stride_);
    for (int y = 0; y < std::min(oldHeight, height); ++y)
        std::memcpy(scanLine(y), old.data() + static_cast<size_t>(y) * oldStride, rowBytes);
}

void Bitmap::setPalette(std::vector<Color> palette) {
    if (palette.size() > 256)
        palette.resize(256);
    palette_ = std::move(palette);
}

namespace {

inline uint8_t expand5(unsigned v) {
    return static_cast<uint8_t>((v << 3) | (v >> 2));
}
inline uint8_t expand6(unsigned v) {
    return static_cast<uint8_t>((v << 2) | (v >> 4));
}

// The colour table expanded to 256 entries; indexes beyond the table read as black.
std::array<Color, 256> fullTable(const std::vector<Color>& palette) {
    std::array<Color, 256> t{};
    for (size_t i = 0; i < palette.size() && i < 256; ++i)
        t[i] = palette[i];
    return t;
}

} // namespace

void Bitmap::readRow24(int y, uint8_t* out) const {
    const uint8_t* row = scanLine(y);
    const int w = width_;
    switch (format_) {
    case PixelFormat::Bit24:
    case PixelFormat::Device:
    case PixelFormat::Custom:
        std::memcpy(out, row, static_cast<size_t>(w) * 3);
        return;
    case PixelFormat::Bit32:
        for (int x = 0; x < w; ++x) {
            out[3 * x] = row[4 * x];
            out[3 * x + 1] = row[4 * x + 1];
            out[3 * x + 2] = row[4 * x + 2];
        }
        return;
    case PixelFormat::Bit15:
    case PixelFormat::Bit16:
        for (int x = 0; x < w; ++x) {
            unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
            if (format_ == PixelFormat::Bit15) {
                out[3 * x] = expand5(v & 31);
                out[3 * x + 1] = expand5((v >> 5) & 31);
                out[3 * x + 2] = expand5((v >> 10) & 31);
            } else {
                out[3 * x] = expand5(v & 31);
                out[3 * x + 1] = expand6((v >> 5) & 63);
                out[3 * x + 2] = expand5((v >> 11) & 31);
            }
        }
        return;
    case PixelFormat::Bit1:
    case PixelFormat::Bit4:
    case PixelFormat::Bit8: {
        const auto table = fullTable(palette_);
        const int bpp = bitsPerPixel(format_);
        for (int x = 0; x < w; ++x) {
            unsigned index;
            if (bpp == 8)
                index = row[x];
            else if (bpp == 4)
                index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
            else
                index = (row[x >> 3] >> (7 - (x & 7))) & 1;
            const Color c = table[index];
            out[3 * x] = c.b;
            out[3 * x + 1] = c.g;
            out[3 * x + 2] = c.r;
        }
        return;
    }
    }
}

void Bitmap::writeRow24(int y, const uint8_t* in, PaletteMatcher* matcher) {
    uint8_t* row = scanLine(y);
    const int w = width_;
    switch (format_) {
    case PixelFormat::Bit24:
    case PixelFormat::Device:
    case PixelFormat::Custom:
        std::memcpy(row, in, static_cast<size_t>(w) * 3);
        return;
    case PixelFormat::Bit32:
        for (int x = 0; x < w; ++x) {
            row[4 * x] = in[3 * x];
            row[4 * x + 1] = in[3 * x + 1];
            row[4 * x + 2] = in[3 * x + 2];
            row[4 * x + 3] = 0;
        }
        return;
    case PixelFormat::Bit15:
    case PixelFormat::Bit16:
        for (int x = 0; x < w; ++x) {
            unsigned b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
            unsigned v = format_ == PixelFormat::Bit15
                             ? ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
                             : ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        }
        return;
    case PixelFormat::Bit1:
    case PixelFormat::Bit4:
    case PixelFormat::Bit8: {
        const int bpp = bitsPerPixel(format_);
        std::memset(row, 0, stride_);
        for (int x = 0; x < w; ++x) {
            unsigned i = matcher->nearest({in[3 * x + 2], in[3 * x + 1], in[3 * x]});
            if (bpp == 8)
                row[x] = static_cast<uint8_t>(i);
            else if (bpp == 4)
                row[x >> 1] |= static_cast<uint8_t>((i & 15) << ((x & 1) ? 0 : 4));
            else
                row[x >> 3] |= static_cast<uint8_t>((i & 1) << (7 - (x & 7)));
        }
        return;
    }
    }
}

void Bitmap::setPixelFormat(PixelFormat format) {
    if (format == format_)
        return;
    Bitmap converted;
    converted.palette_ = isPaletteFormat(format) ? palette_ : std::vector<Color>{};
    // writeRow24 writes every pixel byte of every row.
    converted.allocate(width_, height_, format, false);
    PaletteMatcher matcher(converted.palette_);
    std::vector<uint8_t> row(static_cast<size_t>(width_) * 3 + 4);
    for (int y = 0; y < height_; ++y) {
        readRow24(y, row.data());
        converted.writeRow24(y, row.data(), &matcher);
    }
    converted.transparent_ = transparent_;
    converted.transparentColor_ = transparentColor_;
    *this = std::move(converted);
}

Color Bitmap::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return {};
    std::vector<uint8_t> row(static_cast<size_t>(width_) * 3);
    readRow24(y, row.data());
    return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
}

void Bitmap::fillRect(const Rect& rect, Color color) {
    Rect r{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width_),
           std::min(rect.bottom, height_)};
    if (r.width() <= 0 || r.height() <= 0)
        return;
    Bitmap patch(r.width(), 1, PixelFormat::Bit24);
    for (int x = 0; x < r.width(); ++x) {
        patch.scanLine(0)[3 * x] = color.b;
        patch.scanLine(0)[3 * x + 1] = color.g;
        patch.scanLine(0)[3 * x + 2] = color.r;
    }
    for (int y = r.top; y < r.bottom; ++y)
        copyRect(r.left, y, patch, {0, 0, r.width(), 1});
}

void Bitmap::copyRect(int dstX, int dstY, const Bitmap& src, const Rect& srcRect,
                      bool useTransparency) {
    // Clip the source rectangle to the source, then the placement to this bitmap.
    int sx = std::max(srcRect.left, 0), sy = std::max(srcRect.top, 0);
    int ex = std::min(srcRect.right, src.width_), ey = std::min(srcRect.bottom, src.height_);
    dstX += sx - srcRect.left;
    dstY += sy - srcRect.top;
    if (dstX < 0) {
        sx -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        sy -= dstY;
        dstY = 0;
    }
    int w = std::min(ex - sx, width_ - dstX);
    int h = std::min(ey - sy, height_ - dstY);
    if (w <= 0 || h <= 0)
        return;
    const bool transparency = useTransparency && src.transparent_;
    const bool sameLayout =
        src.format_ == format_ && (!isPaletteFormat(format_) || src.palette_ == palette_);
    const int bpp = bitsPerPixel(format_);
    if (sameLayout && !transparency && (bpp >= 8 || bpp == 0)) {
        size_t bytes = bpp == 0 ? 3 : static_cast<size_t>(bpp / 8);
        for (int y = 0; y < h; ++y)
            std::memcpy(scanLine(dstY + y) + static_cast<size_t>(dstX) * bytes,
                        src.scanLine(sy + y) + static_cast<size_t>(sx) * bytes,
                        static_cast<size_t>(w) * bytes);
        return;
    }
    if (format_ == PixelFormat::Bit8) {
        copyInto8(dstX, dstY, src, sx, sy, w, h, transparency);
        return;
    }
    // General path: through 24-bit rows of both bitmaps.
    PaletteMatcher matcher(palette_);
    std::vector<uint8_t> srcRow(static_cast<size_t>(src.width_) * 3 + 4);
    std::vector<uint8_t> dstRow(static_cast<size_t>(width_) * 3 + 4);
    const Color tc = src.transparentColor_;
    for (int y = 0; y < h; ++y) {
        src.readRow24(sy + y, srcRow.data());
        readRow24(dstY + y, dstRow.data());
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = &srcRow[3 * static_cast<size_t>(sx + x)];
            if (transparency && s[0] == tc.b && s[1] == tc.g && s[2] == tc.r)
                continue;
            std::memcpy(&dstRow[3 * static_cast<size_t>(dstX + x)], s, 3);
        }
        writeRow24(dstY + y, dstRow.data(), &matcher);
    }
}

void Bitmap::copyInto8(int dstX, int dstY, const Bitmap& src, int sx, int sy, int w, int h,
                       bool transparency) {
    // Only the covered pixels are written, so untouched indexes never change.
    PaletteMatcher matcher(palette_);
    const Color tc = src.transparentColor_;
    if (src.format_ == PixelFormat::Bit8) {
        std::array<uint8_t, 256> remap{};
        std::array<bool, 256> skip{};
        const auto table = fullTable(src.palette_);
        for (int i = 0; i < 256; ++i) {
            remap[i] = matcher.nearest(table[i]);
            skip[i] = transparency && table[i] == tc;
        }
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src.scanLine(sy + y) + sx;
            uint8_t* d = scanLine(dstY + y) + dstX;
            for (int x = 0; x < w; ++x)
                if (!skip[s[x]])
                    d[x] = remap[s[x]];
        }
        return;
    }
    std::vector<uint8_t> srcRow(static_cast<size_t>(src.width_) * 3 + 4);
    for (int y = 0; y < h; ++y) {
        src.readRow24(sy + y, srcRow.data());
        uint8_t* d = scanLine(dstY + y) + dstX;
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = &srcRow[3 * static_cast<size_t>(sx + x)];
            Color c{s[2], s[1], s[0]};
            if (!(transparency && c == tc))
                d[x] = matcher.nearest(c);
        }
    }
}

} // namespace kestrix
