// Movies from many frames: frames are loaded and prepared on every core a few groups ahead of
// the one being written, and written in order on the calling thread, so that memory holds only
// the frames in flight.
#pragma once

#include "core/movie/MovieWriter.h"

#include <cstddef>
#include <functional>
#include <string>

namespace kestrix {

class BitmapList;

using FrameVisitor = std::function<void(const Bitmap&)>;

// Frames in groups that can be loaded independently: the inputs of a command (one input may hold
// many frames), or the frames of a list.
struct MovieSource {
    size_t groups = 0;
    // Hands every frame of one group, in order, to `each`; called on several threads at once.
    std::function<void(size_t group, const FrameVisitor& each)> visit;
};

// Opens `writer` on `fileName` with the source's first frame and writes every frame in order.
// A source without frames raises "No Movie To Save" and creates no file. `gauge`, when given,
// receives the index of each frame before it is written and 0 at the end, also after a failure.
// A failure discards the movie.
void writeMovie(MovieWriter& writer, const std::string& fileName, const MovieSource& source,
                const std::function<void(int)>& gauge);

// Every frame of `frames` as a movie.
void exportMovie(MovieFormat format, const std::string& fileName, const BitmapList& frames,
                 const MovieOptions& options, const std::function<void(int)>& gauge);

// The frames as a Motion JPEG AVI movie at `fps` (see movieRateForFps) and `quality` 0..10000;
// a failed export leaves an existing file of that name as it was.
void exportAvi(const std::string& fileName, const BitmapList& frames, double fps, int quality,
               const std::function<void(int)>& gauge);

} // namespace kestrix
