// The MP4 movie writer: one H.264 stream (High profile, 4:2:0) from FFmpeg's libx264 encoder in
// an MP4 file. A finished movie has its index before the pictures (fast start), so that it plays
// while it downloads; a live movie is fragmented, each fragment playable once written.
#pragma once

#include "core/movie/MovieWriter.h"
#include "core/movie/writers/FfmpegHolders.h"

#include <cstdint>

struct AVStream;

namespace kestrix {

class MovieOutput;

// The x264 constant rate factor of a movie quality 0..10000: 51 - 51 * quality / 10000, rounded
// and at least 1 (0 would be lossless, which needs another profile). 6500 gives 18.
int crfForQuality(int quality);

// Frames per second as an exact fraction (29.97 -> 2997/100, 0.5 -> 1/2); {0, 1} when the speed
// is not positive.
struct ExactRate {
    int num = 0;
    int den = 1;
};
ExactRate exactRateForFps(double fps);

// A key frame at least every 10 seconds of movie and at least every 250 frames.
int keyFrameInterval(ExactRate rate);

class Mp4Writer final : public MovieWriter {
public:
    explicit Mp4Writer(const MovieOptions& options);
    ~Mp4Writer() override;
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    void open(const Bitmap& first, const std::string& fileName) override;
    std::unique_ptr<PreparedFrame> prepare(const Bitmap& frame) const override;
    void write(PreparedFrame& frame) override;
    void close() override;
    void discard() noexcept override;

    // The picture size and the stored size (even).
    int width() const { return width_; }
    int height() const { return height_; }

private:
    void createFile(const std::string& fileName);
    void createEncoder();
    void writeHeader();
    // Sends a frame (nullptr: the end) and writes every packet the encoder gives back.
    void encode(const AVFrame* frame);
    void fail(const std::string& step, int result);
    void release() noexcept;

    MovieOptions options_;
    ExactRate rate_;
    int width_ = 0, height_ = 0;
    int codedWidth_ = 0, codedHeight_ = 0;
    int64_t position_ = 0;
    std::string fileName_;
    std::unique_ptr<MovieOutput> output_;
    FormatContextPtr movie_;
    CodecContextPtr encoder_;
    AVStream* stream_ = nullptr;
    PacketPtr packet_;
};

} // namespace kestrix
