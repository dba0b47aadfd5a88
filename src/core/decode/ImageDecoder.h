// Decoding of a fetched body held in memory: the decoder is chosen by the body's signature, then
// by the address's extension. Also the exact bitmap comparison behind the duplicate tests.
#pragma once

#include "core/image/Bitmap.h"

#include <string>
#include <string_view>

namespace kestrix {

class BitmapList;

enum class ImageKind { Unsupported, Bmp, Gif, Jpeg, Png };

// "Unsupported", "Bmp", "Gif", "Jpeg" or "Png".
const char* imageKindName(ImageKind kind);

// The kind named by the first bytes; a body shorter than 10 bytes raises "Stream read error".
ImageKind imageKindFromSignature(std::string_view body);
// The lower-cased text after the address's last '.', when no '\' or ':' follows that dot.
std::string addressExtension(const std::string& address);
ImageKind imageKindFromExtension(const std::string& address);

// Decodes `body` into a 24-bit `bitmap`; a GIF also refills `frames` (when given) with its
// composited frames (8 bits with the first sub-image's table while it holds every colour drawn,
// 24 bits from the first sub-image that draws another). Failures raise errors and leave `bitmap`
// and `frames` unchanged. With `requireComplete` (a fetched body), a JPEG whose data ends before
// its picture does raises "Image data is incomplete" instead of showing the rest grey.
bool decodeImage(std::string_view body, const std::string& address, Bitmap& bitmap,
                 BitmapList* frames, bool requireComplete = false);

// Each decoder replaces `bitmap` with the 24-bit image only once decoding has succeeded.
void decodeBmp(std::string_view body, Bitmap& bitmap);
void decodeJpeg(std::string_view body, Bitmap& bitmap, bool requireComplete = false);
void decodePng(std::string_view body, Bitmap& bitmap);
void decodeGif(std::string_view body, Bitmap& bitmap, BitmapList* frames);

struct ImageSize {
    int width = 0;
    int height = 0;
};
// A JPEG's size from its header, without decoding the picture; a bad header raises what
// decodeJpeg would raise.
ImageSize readJpegSize(std::string_view body);

// Pixel bytes per row that hold whole pixels: 0 for the device and custom tags.
int rowByteCount(const Bitmap& bitmap);
// Exact comparison of size, pixel format and every pixel; row padding is never compared.
bool bitmapsEqual(const Bitmap& a, const Bitmap& b);

} // namespace kestrix
