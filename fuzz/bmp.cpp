// Fuzzes the BMP reader: any input must end in an image or a kestrix::Error.
#include "core/image/BmpCodec.h"
#include "core/util/Error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::Bitmap b;
    try {
        kestrix::readBmp({reinterpret_cast<const char*>(data), size}, b);
        b.convertTo24();
    } catch (const kestrix::Error&) {
    }
    return 0;
}
