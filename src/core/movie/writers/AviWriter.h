// The AVI movie writer: one Motion JPEG video stream, every frame a key frame, muxed by FFmpeg's
// AVI muxer (with OpenDML indexes, so movies over 1 GiB stay valid). The movie's size comes from
// its first frame; every frame is converted to 24 bits and resampled to that size.
#pragma once

#include "core/image/Bitmap.h"
#include "core/movie/writers/FfmpegHolders.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct AVStream;

namespace kestrix {

class JpegFrameEncoder;
class MovieOutput;

// Result codes of the movie steps; checkResult turns them into messages.
constexpr uint32_t kAviOk = 0;
constexpr uint32_t kAviClassNotRegistered = 0x80040154;
constexpr uint32_t kAviErrUnsupported = 0x80044065;
constexpr uint32_t kAviErrBadFormat = 0x80044066;
constexpr uint32_t kAviErrMemory = 0x80044067;
constexpr uint32_t kAviErrInternal = 0x80044068;
constexpr uint32_t kAviErrBadFlags = 0x80044069;
constexpr uint32_t kAviErrBadParam = 0x8004406A;
constexpr uint32_t kAviErrBadSize = 0x8004406B;
constexpr uint32_t kAviErrBadHandle = 0x8004406C;
constexpr uint32_t kAviErrFileRead = 0x8004406D;
constexpr uint32_t kAviErrFileWrite = 0x8004406E;
constexpr uint32_t kAviErrFileOpen = 0x8004406F;
constexpr uint32_t kAviErrCompressor = 0x80044070;
constexpr uint32_t kAviErrNoCompressor = 0x80044071;
constexpr uint32_t kAviErrReadOnly = 0x80044072;
constexpr uint32_t kAviErrNoData = 0x80044073;
constexpr uint32_t kAviErrBufferTooSmall = 0x80044074;
constexpr uint32_t kAviErrCantCompress = 0x80044075;
constexpr uint32_t kAviErrUserAbort = 0x800440C6;
constexpr uint32_t kAviErrError = 0x800440C7;

constexpr uint32_t fourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// Frames per second as rate / scale.
struct MovieRate {
    int32_t rate = 0;
    int32_t scale = 1;
};

// Whole frames per second, truncated (10 -> 10/1, 2.9 -> 2/1); below 1 FPS the exact fraction
// (0.5 -> 1/2), never a rate of 0. A speed that is not positive gives rate 0, which Open refuses.
MovieRate movieRateForFps(double fps);

// The description of the video stream.
struct AviStreamInfo {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwSuggestedBufferSize = 0;
    Rect rcFrame;
};

// The compressor's settings.
struct AviCompressOptions {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwKeyFrameEvery = 0;
    uint32_t dwQuality = 0;
};

class AviWriter {
public:
    AviWriter();
    // Removes a movie that was opened and never closed.
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates the movie for frames the size of `first`. The movie is written under a temporary
    // name beside `fileName` until Close. A failing step raises its message with the text of its
    // code and leaves nothing open and no file behind.
    void open(const Bitmap& first, const std::string& fileName);
    // Appends the bitmap as the next frame; answers FrameStep. Raises "File not open" when no
    // movie is open. A failing step discards the movie.
    int32_t addFrame(const Bitmap& bitmap);
    // Completes the movie and puts it in place of any file of its name; does nothing when no
    // movie is open. Raises when the movie cannot be completed, which discards it.
    void close();
    // Releases the movie without writing it; an existing file of its name stays as it was (a
    // movie written in place keeps the frames written so far).
    void discard() noexcept;

    // The frame as the compressor makes it, for an open movie. It uses nothing that addFrame or
    // other calls of it change, so frames can be compressed on several threads at once.
    std::vector<uint8_t> compressFrame(const Bitmap& bitmap) const;
    // Appends a frame that compressFrame made, as addFrame does.
    int32_t addCompressedFrame(std::span<const uint8_t> jpeg);
    bool isOpen() const { return compressedStream != nullptr; }

    // DIBBuffer := the bitmap as a 24-bit BMP file image, resampled to the movie's frame size
    // once the movie has one (an empty bitmap becomes a black frame); FrameHeader := its info
    // header.
    void convertFrame(const Bitmap& bitmap);
    // Returns for code 0; otherwise raises the message followed by the code's text.
    static void checkResult(uint32_t code, const std::string& message);

    AviStreamInfo streamInfo;
    AviCompressOptions compressOptions;
    const uint8_t* frameHeader = nullptr;
    std::string dibBuffer;
    uint32_t lastResult = kAviOk;
    int32_t position = 0;
    int32_t frameRate = 0;
    int32_t frameScale = 1;
    int32_t frameStep = 1;
    int32_t quality = 6500;
    // Set before Open: the movie goes straight into its file, every frame flushed and synced
    // regularly, so that a killed program leaves the frames written so far.
    bool inPlace = false;

private:
    void createFile(const std::string& fileName);
    void createStream();
    void createCompressor();
    void setFormat();
    void writeFrame();
    void writePacket(std::span<const uint8_t> jpeg);
    void release() noexcept;

    std::unique_ptr<MovieOutput> output_;
    FormatContextPtr movieFile;
    AVStream* rawStream = nullptr;
    std::unique_ptr<JpegFrameEncoder> compressedStream;
    PacketPtr packet_;
    std::string fileMessage_;
};

} // namespace kestrix
