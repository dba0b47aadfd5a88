#include "core/acquire/DownloadImage.h"

#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/net/HttpClient.h"
#include "core/stream/CameraStream.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

namespace kestrix {

namespace {

// A stream that the client gives no time-out of its own still ends: the owner's Cancel (the
// window's stall count) usually comes first.
constexpr std::chrono::hours kLongestStreamWait{1};

} // namespace

bool isStreamAddress(const std::string& address) {
    return streamKindOf(address) != StreamKind::None;
}

void fetchStreamPicture(HttpClient& client, const std::string& address, Bitmap& picture) {
    if (toLowerAscii(address.substr(0, 8)) == "https://" && !client.tlsOptions().allowHttps)
        throw Error(client.tlsOptions().httpsOffMessage);
    StreamOptions options;
    options.rtspOverUdp = client.streamSettings().rtspOverUdp;
    options.caFile = client.tlsOptions().certificateFile;
    options.pinned = !client.tlsOptions().pins.empty();
    options.timeout = client.timeOut() > 0 ? std::chrono::milliseconds(client.timeOut())
                                           : std::chrono::milliseconds(kLongestStreamWait);
    client.beginOtherWait();
    options.cancelled = [&client] { return client.pollOtherWait(); };
    picture = grabStreamPicture(address, options);
    client.takePictureBody(encodeJpeg(picture, client.streamSettings().jpegQuality));
}

bool downloadImage(HttpClient& client, const std::string& address, Bitmap& bitmap,
                   BitmapList* frames) {
    if (isStreamAddress(address)) {
        fetchStreamPicture(client, address, bitmap);
        return true;
    }
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
