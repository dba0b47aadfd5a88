// Pictures written to files in the format their name asks for: BMP, PNG or JPEG. Every writer is
// crash-safe (see AtomicFile): a failed save leaves an existing file as it was.
#pragma once

#include "core/image/Bitmap.h"

#include <string>

namespace kestrix {

enum class ImageFileType { Bmp, Png, Jpeg };

constexpr int kDefaultJpegQuality = 90;

// The type for the file name's extension (".bmp", ".png", ".jpg" or ".jpeg", any case); any other
// raises "Unknown image file type: .EXT (use .bmp, .png or .jpg)".
ImageFileType imageFileTypeFor(const std::string& path);

// Writes a PNG: palette bitmaps keep their colour table and bit depth, all others become 8-bit
// RGB.
void savePngFile(const Bitmap& bitmap, const std::string& path);
// Writes a baseline JPEG at libjpeg's quality 1..100 (clamped).
void saveJpegFile(const Bitmap& bitmap, const std::string& path, int quality);
// The same JPEG in memory.
std::string encodeJpeg(const Bitmap& bitmap, int quality);

void saveImageFile(const Bitmap& bitmap, const std::string& path, ImageFileType type,
                   int jpegQuality = kDefaultJpegQuality);
// The same with the type taken from the name; an unknown type is refused before anything is
// written.
void saveImageFile(const Bitmap& bitmap, const std::string& path,
                   int jpegQuality = kDefaultJpegQuality);

} // namespace kestrix
