// Fuzzes the GIF decoder and the frame composition: any input must end in an image with its
// frames or a kestrix::Error.
#include "decode/ImageDecoder.h"
#include "frames/BitmapList.h"
#include "util/Error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::Bitmap bitmap;
    kestrix::TBitmapList frames;
    try {
        kestrix::DecodeGif({reinterpret_cast<const char*>(data), size}, bitmap, &frames);
    } catch (const kestrix::Error&) {
    }
    return 0;
}
