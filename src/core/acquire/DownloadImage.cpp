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
    // A body cut short is a failed fetch, not a new picture with a grey end.
    return decodeImage(client.body(), address, bitmap, frames, true);
}

} // namespace kestrix
