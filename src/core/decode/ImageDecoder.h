// Decoding of a fetched body held in memory: the decoder is chosen by the body's signature, then
// by the address's extension. Also the exact bitmap comparison behind the duplicate tests.
#pragma once

#include "image/Bitmap.h"

#include <string>
#include <string_view>

namespace kestrix {

class TBitmapList;

enum class ImageKind { Unsupported, Bmp, Gif, Jpeg, Png };

// "Unsupported", "Bmp", "Gif", "Jpeg" or "Png".
const char* imageKindName(ImageKind kind);

// The kind named by the first bytes; a body shorter than 10 bytes raises "Stream read error".
ImageKind ImageKindFromSignature(std::string_view body);
// The lower-cased text after the address's last '.', when no '\' or ':' follows that dot.
std::string AddressExtension(const std::string& address);
ImageKind ImageKindFromExtension(const std::string& address);

// Decodes `body` into a 24-bit `bitmap`; a GIF also refills `frames` (when given) with its
// composited 8-bit frames. Failures raise errors and leave `bitmap` and `frames` unchanged.
bool DecodeImage(std::string_view body, const std::string& address, Bitmap& bitmap,
                 TBitmapList* frames);

// Each decoder replaces `bitmap` with the 24-bit image only once decoding has succeeded.
void DecodeBmp(std::string_view body, Bitmap& bitmap);
void DecodeJpeg(std::string_view body, Bitmap& bitmap);
void DecodePng(std::string_view body, Bitmap& bitmap);
void DecodeGif(std::string_view body, Bitmap& bitmap, TBitmapList* frames);

// Pixel bytes per row that hold whole pixels: 0 for the device and custom tags.
int RowByteCount(const Bitmap& bitmap);
// Exact comparison of size, pixel format and every pixel; row padding is never compared.
bool BitmapsEqual(const Bitmap& a, const Bitmap& b);

} // namespace kestrix
