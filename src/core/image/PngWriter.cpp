// PNG files through libpng. Library errors come back to the one frame that called the library by
// its longjmp; that frame holds no objects with destructors.
#include "core/image/ImageFile.h"
#include "core/util/AtomicFile.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <algorithm>
#include <array>
#include <png.h>
#include <vector>

namespace kestrix {

namespace {

struct PngOutput {
    PieceWriter* pieces;
    std::array<char, 200> message;
};

void onPngError(png_structp png, png_const_charp text) {
    auto* out = static_cast<PngOutput*>(png_get_error_ptr(png));
    const size_t length = std::min(std::char_traits<char>::length(text), out->message.size() - 1);
    std::copy_n(text, length, out->message.data());
    out->message[length] = '\0';
    // Returning lets libpng jump back to the caller's setjmp.
}

void onPngWarning(png_structp, png_const_charp) {}

void writePngData(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<PngOutput*>(png_get_io_ptr(png));
    out->pieces->append(data, length);
    if (out->pieces->error() != 0)
        png_error(png, "write failed");
}

void flushPngData(png_structp) {}

struct PngImage {
    const Bitmap& bitmap;
    int depth;
    int colorType;
    const std::vector<png_color>& palette;
    std::vector<uint8_t>& row; // for rows converted to 24 bits
};

// Answers false when libpng failed; the reason is in out.message.
bool compressPng(PngOutput& out, const PngImage& image) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, onPngError, onPngWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const Bitmap& bitmap = image.bitmap;
    png_set_write_fn(png, &out, writePngData, flushPngData);
    // Sub and Up filters with zlib's level 3: files as small as the default adaptive filtering at
    // level 6 gives camera pictures, written about four times faster. Palette rows stay
    // unfiltered, as libpng leaves them.
    if (image.colorType == PNG_COLOR_TYPE_RGB)
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB | PNG_FILTER_UP);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.width()),
                 static_cast<png_uint_32>(bitmap.height()), image.depth, image.colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, image.palette.data(), static_cast<int>(image.palette.size()));
    png_write_info(png, info);
    if (image.colorType == PNG_COLOR_TYPE_RGB)
        png_set_bgr(png);
    const bool direct =
        image.colorType == PNG_COLOR_TYPE_PALETTE || bitmap.pixelFormat() == PixelFormat::Bit24;
    for (int y = 0; y < bitmap.height(); ++y) {
        if (direct) {
            png_write_row(png, bitmap.scanLine(y));
        } else {
            bitmap.readRow24(y, image.row.data());
            png_write_row(png, image.row.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void savePngFile(const Bitmap& bitmap, const std::string& path) {
    checkImageSize(bitmap.width(), bitmap.height());
    const PixelFormat format = bitmap.pixelFormat();
    const bool indexed = isPaletteFormat(format);
    std::vector<png_color> palette;
    std::vector<uint8_t> row;
    if (indexed) {
        // Every index a row can hold needs an entry.
        palette.resize(size_t{1} << bitsPerPixel(format));
        const std::vector<Color>& colors = bitmap.palette();
        for (size_t i = 0; i < std::min(colors.size(), palette.size()); ++i)
            palette[i] = {colors[i].r, colors[i].g, colors[i].b};
    } else if (format != PixelFormat::Bit24) {
        row.resize(static_cast<size_t>(bitmap.width()) * 3);
    }
    AtomicFile file;
    throwIfFailed(file.create(path), path);
    PieceWriter pieces(file);
    PngOutput out{&pieces, {}};
    const PngImage image{bitmap, indexed ? bitsPerPixel(format) : 8,
                         indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, palette, row};
    const bool written = compressPng(out, image);
    throwIfFailed(pieces.finish(), path);
    if (!written)
        throw Error("Cannot write PNG file \"" + path + "\". " + out.message.data());
    throwIfFailed(file.commit(), path);
}

} // namespace kestrix
