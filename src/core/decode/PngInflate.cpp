// Whole-buffer inflation with libdeflate: a fetched or read body is always whole, and libdeflate
// inflates a whole buffer about twice as fast as zlib's streaming inflate.
#include "core/decode/PngInflate.h"

#include "core/util/Error.h"

#include <cstring>
#include <libdeflate.h>
#include <memory>

namespace kestrix {

namespace {

// Deflate's densest form, a 258-byte match in two bits, bounds what a stream can inflate to.
// Image data that promises more cannot be whole, and no buffer is set aside for it.
constexpr size_t kMaxInflateRatio = 1032;
constexpr size_t kInflateSlack = 1024;
// Larger image data is left to zlib's step-by-step reading, which needs a block of rows where
// this needs all of them besides the bitmap: a picture of 40 megapixels would need 128 MiB more.
constexpr size_t kMaxWholeSize = size_t{128} << 20;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

} // namespace

PageBuffer inflateImageData(const std::vector<std::string_view>& chunks, size_t size) {
    size_t compressed = 0;
    for (const std::string_view chunk : chunks)
        compressed += chunk.size();
    if (compressed == 0 || size > kMaxWholeSize ||
        size > compressed * kMaxInflateRatio + kInflateSlack)
        return nullptr;
    // The stream split over several chunks is joined after the room for the output.
    const size_t joinedSize = chunks.size() > 1 ? compressed : 0;
    PageBuffer buffer = allocatePages(size + joinedSize);
    const uint8_t* input = reinterpret_cast<const uint8_t*>(chunks.front().data());
    if (joinedSize > 0) {
        uint8_t* joined = buffer.get() + size;
        for (const std::string_view chunk : chunks) {
            std::memcpy(joined, chunk.data(), chunk.size());
            joined += chunk.size();
        }
        input = buffer.get() + size;
    }
    const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor)
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    if (libdeflate_zlib_decompress(decompressor.get(), input, compressed, buffer.get(), size,
                                   nullptr) != LIBDEFLATE_SUCCESS)
        return nullptr;
    return buffer;
}

} // namespace kestrix
