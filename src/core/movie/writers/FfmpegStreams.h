// Camera streams behind the module's second entry: a one-picture grab and kept-open streams.
#pragma once

#include "core/stream/StreamProvider.h"

namespace kestrix {

// Connects, decodes the first good picture from a key frame on, and closes.
Bitmap grabFirstPicture(const std::string& address, const StreamOptions& options);

const StreamProvider& ffmpegStreamProvider();

} // namespace kestrix
