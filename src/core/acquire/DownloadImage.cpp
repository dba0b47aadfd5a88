#include "acquire/DownloadImage.h"

#include "decode/ImageDecoder.h"
#include "net/HttpClient.h"

namespace kestrix {

bool DownloadImage(THttpClient& client, const std::string& address, Bitmap& bitmap,
                   TBitmapList* frames) {
    client.Get(address);
    return DecodeImage(client.Body(), address, bitmap, frames);
}

} // namespace kestrix
