#include "core/acquire/DownloadImage.h"

#include "core/decode/ImageDecoder.h"
#include "core/net/HttpClient.h"

namespace kestrix {

bool downloadImage(HttpClient& client, const std::string& address, Bitmap& bitmap,
                   BitmapList* frames) {
    client.get(address);
    // An unchanged image (a 304 to a conditional request) has no body to decode.
    if (client.notModified())
        return false;
    return decodeImage(client.body(), address, bitmap, frames);
}

} // namespace kestrix
