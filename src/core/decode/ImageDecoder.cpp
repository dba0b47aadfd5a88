// Decoder selection by signature and extension, the BMP path, and the exact bitmap comparison.
#include "core/decode/ImageDecoder.h"

#include "core/image/BmpCodec.h"
#include "core/util/Error.h"

#include <array>
#include <cstring>

namespace kestrix {

namespace {

struct Signature {
    std::string_view bytes;
    ImageKind kind;
};

constexpr std::array<Signature, 4> kSignatures{{
    {"BM", ImageKind::Bmp},
    {"GIF8", ImageKind::Gif},
    {"\xFF\xD8\xFF", ImageKind::Jpeg},
    {"\x89PNG\r\n\x1A\n", ImageKind::Png},
}};

constexpr size_t kSignatureLength = 10;

} // namespace

const char* imageKindName(ImageKind kind) {
    switch (kind) {
    case ImageKind::Bmp:
        return "Bmp";
    case ImageKind::Gif:
        return "Gif";
    case ImageKind::Jpeg:
        return "Jpeg";
    case ImageKind::Png:
        return "Png";
    case ImageKind::Unsupported:
        break;
    }
    return "Unsupported";
}

ImageKind imageKindFromSignature(std::string_view body) {
    if (body.size() < kSignatureLength)
        throwStreamRead();
    for (const Signature& s : kSignatures)
        if (body.substr(0, s.bytes.size()) == s.bytes)
            return s.kind;
    return ImageKind::Unsupported;
}

std::string addressExtension(const std::string& address) {
    const size_t at = address.find_last_of(".\\:");
    if (at == std::string::npos || address[at] != '.')
        return {};
    std::string extension = address.substr(at + 1);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

ImageKind imageKindFromExtension(const std::string& address) {
    const std::string extension = addressExtension(address);
    if (extension == "bmp")
        return ImageKind::Bmp;
    if (extension == "gif")
        return ImageKind::Gif;
    if (extension == "jpg" || extension == "jpeg")
        return ImageKind::Jpeg;
    if (extension == "png")
        return ImageKind::Png;
    return ImageKind::Unsupported;
}

bool decodeImage(std::string_view body, const std::string& address, Bitmap& bitmap,
                 BitmapList* frames, bool requireComplete) {
    ImageKind kind = imageKindFromSignature(body);
    if (kind == ImageKind::Unsupported)
        kind = imageKindFromExtension(address);
    switch (kind) {
    case ImageKind::Bmp:
        decodeBmp(body, bitmap);
        break;
    case ImageKind::Gif:
        decodeGif(body, bitmap, frames);
        break;
    case ImageKind::Jpeg:
        decodeJpeg(body, bitmap, requireComplete);
        break;
    case ImageKind::Png:
        decodePng(body, bitmap);
        break;
    case ImageKind::Unsupported:
        throw Error("Unsupport Image Type: " + addressExtension(address), ErrorKind::InvalidImage);
    }
    return true;
}

void decodeBmp(std::string_view body, Bitmap& bitmap) {
    Bitmap decoded;
    readBmp(body, decoded);
    decoded.convertTo24();
    bitmap = std::move(decoded);
}

int rowByteCount(const Bitmap& bitmap) {
    const int w = bitmap.width();
    switch (bitmap.pixelFormat()) {
    case PixelFormat::Bit1:
        return w / 8;
    case PixelFormat::Bit4:
        return w / 2;
    case PixelFormat::Bit8:
        return w;
    case PixelFormat::Bit15:
    case PixelFormat::Bit16:
        return w * 2;
    case PixelFormat::Bit24:
        return w * 3;
    case PixelFormat::Bit32:
        return w * 4;
    case PixelFormat::Device:
    case PixelFormat::Custom:
        break;
    }
    return 0;
}

namespace {

// What a row holds beyond rowByteCount: the pixels of a partial last byte (1 and 4 bits) are
// compared under a mask, and device and custom bitmaps, held as 24-bit rows, are compared in
// full. Comparing less would call different frames equal, and the duplicate finder would then
// delete one of them.
struct RowExtent {
    size_t wholeBytes;
    uint8_t lastByteMask;
};

RowExtent rowExtent(const Bitmap& bitmap) {
    const int w = bitmap.width();
    switch (bitmap.pixelFormat()) {
    case PixelFormat::Bit1:
        return {static_cast<size_t>(w / 8), static_cast<uint8_t>(0xFF00 >> (w % 8))};
    case PixelFormat::Bit4:
        return {static_cast<size_t>(w / 2), static_cast<uint8_t>(w % 2 ? 0xF0 : 0)};
    case PixelFormat::Device:
    case PixelFormat::Custom:
        return {static_cast<size_t>(w) * 3, 0};
    default:
        return {static_cast<size_t>(rowByteCount(bitmap)), 0};
    }
}

} // namespace

bool bitmapsEqual(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.pixelFormat() != b.pixelFormat())
        return false;
    if (a.empty())
        return true;
    const RowExtent extent = rowExtent(a);
    // Rows without padding or partial bytes lie back to back: one comparison covers them all.
    if (extent.lastByteMask == 0 && extent.wholeBytes == a.stride() && a.stride() == b.stride())
        return std::memcmp(a.scanLine(0), b.scanLine(0),
                           a.stride() * static_cast<size_t>(a.height())) == 0;
    for (int y = 0; y < a.height(); ++y) {
        const uint8_t* ra = a.scanLine(y);
        const uint8_t* rb = b.scanLine(y);
        if (std::memcmp(ra, rb, extent.wholeBytes) != 0)
            return false;
        if (extent.lastByteMask != 0 &&
            ((ra[extent.wholeBytes] ^ rb[extent.wholeBytes]) & extent.lastByteMask) != 0)
            return false;
    }
    return true;
}

} // namespace kestrix
