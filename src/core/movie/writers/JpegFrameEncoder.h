// Motion JPEG frames: every frame a complete baseline JPEG with all its tables, encoded by libjpeg
// straight from blue-green-red rows into one reused buffer.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>
#include <span>
#include <vector>

namespace kestrix {

enum class JpegStatus { Ok, BadSize, OutOfMemory, Failed };

// The movie quality 0..10000 on libjpeg's scale 1..100: 10000 gives 100, 6500 gives 65.
int jpegQualityFor(int movieQuality);
// Subsampled chroma caps the fidelity of colourful detail whatever the quality, so the top of
// the range keeps chroma at full resolution.
bool fullChromaFor(int movieQuality);

class JpegFrameEncoder {
public:
    JpegFrameEncoder() = default;
    ~JpegFrameEncoder();
    JpegFrameEncoder(const JpegFrameEncoder&) = delete;
    JpegFrameEncoder& operator=(const JpegFrameEncoder&) = delete;

    // Prepares frames of width x height at a movie quality 0..10000.
    JpegStatus start(int width, int height, int movieQuality);
    // Encodes one frame of bottom-up rows `stride` bytes apart (at least 3 x width). The JPEG
    // stays in output() until the next call.
    JpegStatus encode(const uint8_t* bottomUpPixels, size_t stride);
    // The same for rows stored top row first.
    JpegStatus encodeTopDown(const uint8_t* topDownPixels, size_t stride);
    std::span<const uint8_t> output() const { return {buffer_.data(), used_}; }
    // Hands over the last JPEG; the encoder starts its next one in a new buffer.
    std::vector<uint8_t> takeOutput();

private:
    struct ErrorManager {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        JpegStatus status;
    };
    struct Destination {
        jpeg_destination_mgr pub;
        JpegFrameEncoder* owner;
    };

    // The frames that call libjpeg under setjmp hold no objects with destructors.
    JpegStatus configure(int width, int height, int movieQuality);
    JpegStatus compress();

    [[noreturn]] static void onError(j_common_ptr cinfo);
    static void onMessage(j_common_ptr cinfo);
    static void initDestination(j_compress_ptr cinfo);
    static boolean emptyDestination(j_compress_ptr cinfo);
    static void termDestination(j_compress_ptr cinfo);
    bool grow() noexcept;

    jpeg_compress_struct cinfo_{};
    ErrorManager errors_{};
    Destination destination_{};
    bool created_ = false;
    std::vector<JSAMPROW> rows_;
    std::vector<uint8_t> buffer_;
    size_t used_ = 0;
};

} // namespace kestrix
