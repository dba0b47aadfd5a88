// One image fetched over HTTP and decoded from memory.
#pragma once

#include "core/image/Bitmap.h"

#include <string>

namespace kestrix {

class BitmapList;
class HttpClient;

// Gets `address` with the client (waiting with its pump) and decodes the body into `bitmap`;
// a GIF also fills `frames`. Client and decoder failures raise with their texts. An image the
// server reports unchanged (client.notModified()) is not decoded.
bool downloadImage(HttpClient& client, const std::string& address, Bitmap& bitmap,
                   BitmapList* frames);

} // namespace kestrix
