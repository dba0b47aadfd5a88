// One image fetched over HTTP and decoded from memory.
#pragma once

#include "image/Bitmap.h"

#include <string>

namespace kestrix {

class TBitmapList;
class THttpClient;

// Gets `address` with the client (waiting with its pump) and decodes the body into `bitmap`;
// a GIF also fills `frames`. Client and decoder failures raise with their texts.
bool DownloadImage(THttpClient& client, const std::string& address, Bitmap& bitmap,
                   TBitmapList* frames);

} // namespace kestrix
