// Fuzzes the GIF decoder and the frame composition: any input must end in an image with its
// frames or a kestrix::Error.
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/Error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::Bitmap bitmap;
    kestrix::BitmapList frames;
    try {
        kestrix::decodeGif({reinterpret_cast<const char*>(data), size}, bitmap, &frames);
    } catch (const kestrix::Error&) {
    }
    return 0;
}
