#include "core/acquire/DownloadImage.h"

#include "core/decode/ImageDecoder.h"
#include "core/net/HttpClient.h"
#include "core/util/Error.h"

namespace kestrix {

bool downloadImage(HttpClient& client, const std::string& address, Bitmap& bitmap,
                   BitmapList* frames) {
    client.get(address);
    // An error page is no picture, even when its body is one (a camera's "offline" image).
    if (client.statusCode() >= 400)
        throw Error(httpErrorText(client));
    // An unchanged image (a 304 to a conditional request) has no body to decode.
    if (client.notModified())
        return false;
    // A body cut short is a failed fetch, not a new picture with a grey end.
    return decodeImage(client.body(), address, bitmap, frames, true);
}

} // namespace kestrix
