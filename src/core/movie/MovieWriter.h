// The movie writers behind one interface: Motion JPEG in AVI and H.264 in MP4. A frame is first
// prepared (converted, resampled, compressed as far as the format allows), which may run on
// several threads at once, then written in order.
#pragma once

#include "core/image/Bitmap.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrix {

enum class MovieFormat { Avi, Mp4 };

// The format a movie file name's extension asks for (.avi, .mp4, any case); none for others.
std::optional<MovieFormat> movieFormatForFile(const std::string& fileName);

// The MP4 quality when nothing sets it: CRF 18 (see crfForQuality).
constexpr int kDefaultMp4Quality = 6500;

struct MovieOptions {
    double fps = 10;
    // 0..10000, higher is better.
    int quality = 10000;
    // Written while frames arrive: straight into the file, which always holds a playable movie
    // of the frames synced so far (AVI: every 10 frames; MP4: a fragment every 10 frames).
    bool live = false;
};

// A frame made ready for one open movie.
class PreparedFrame {
public:
    virtual ~PreparedFrame() = default;
};

class MovieWriter {
public:
    virtual ~MovieWriter() = default;

    // Creates the movie; its size comes from `first`. Raises with the reason when the file
    // cannot be made, and then leaves nothing open.
    virtual void open(const Bitmap& first, const std::string& fileName) = 0;
    // Converts a frame for the open movie; frames of other sizes are resampled to the movie's.
    // Safe to call from several threads at once.
    virtual std::unique_ptr<PreparedFrame> prepare(const Bitmap& frame) const = 0;
    // Appends a prepared frame. A failure raises and discards the movie.
    virtual void write(PreparedFrame& frame) = 0;
    void addFrame(const Bitmap& frame) { write(*prepare(frame)); }
    // Completes the movie and puts it in place; a failure raises and discards it.
    virtual void close() = 0;
    // Gives the movie up: an existing file of its name stays as it was, or, for a live movie,
    // keeps the frames written so far.
    virtual void discard() noexcept = 0;
};

std::unique_ptr<MovieWriter> makeMovieWriter(MovieFormat format, const MovieOptions& options);

} // namespace kestrix
