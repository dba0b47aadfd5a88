// One image fetched and decoded from memory: a still over HTTP, or a picture of a camera stream
// (RTSP, HLS) that then goes on as a still does.
#pragma once

#include "core/image/Bitmap.h"

#include <string>

namespace kestrix {

class BitmapList;
class HttpClient;

// Gets `address` with the client (waiting with its pump) and decodes the body into `bitmap`;
// a GIF also fills `frames`. Client and decoder failures raise with their texts. An image the
// server reports unchanged (client.notModified()) is not decoded. A stream's address gives its
// picture (see fetchStreamPicture).
bool downloadImage(HttpClient& client, const std::string& address, Bitmap& bitmap,
                   BitmapList* frames);

// True for the addresses of camera streams that fetchStreamPicture takes.
bool isStreamAddress(const std::string& address);

// A camera stream's first complete picture, with the client's trust settings, time-out (none:
// an hour), pump and Cancel; the client's body becomes the picture as a JPEG of its stream
// quality (the original a watch archives).
void fetchStreamPicture(HttpClient& client, const std::string& address, Bitmap& picture);

} // namespace kestrix
