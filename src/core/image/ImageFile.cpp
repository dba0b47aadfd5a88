#include "core/image/ImageFile.h"

#include "core/image/BmpCodec.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix {

ImageFileType imageFileTypeFor(const std::string& path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    const std::string lower = toLowerAscii(extension);
    if (lower == ".bmp")
        return ImageFileType::Bmp;
    if (lower == ".png")
        return ImageFileType::Png;
    if (lower == ".jpg" || lower == ".jpeg")
        return ImageFileType::Jpeg;
    throw Error("Unknown image file type: " + extension + " (use .bmp, .png or .jpg)");
}

void saveImageFile(const Bitmap& bitmap, const std::string& path, ImageFileType type,
                   int jpegQuality) {
    switch (type) {
    case ImageFileType::Bmp:
        saveBmpFile(bitmap, path);
        return;
    case ImageFileType::Png:
        savePngFile(bitmap, path);
        return;
    case ImageFileType::Jpeg:
        saveJpegFile(bitmap, path, jpegQuality);
        return;
    }
}

void saveImageFile(const Bitmap& bitmap, const std::string& path, int jpegQuality) {
    saveImageFile(bitmap, path, imageFileTypeFor(path), jpegQuality);
}

} // namespace kestrix
