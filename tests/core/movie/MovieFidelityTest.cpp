// What the movie encoders keep of each frame, read back by ffmpeg and compared with the frames
// they were given, at the qualities people choose. The floors are what the encoders keep of these
// frames, less a hair: a change of encoder settings that buys speed or size with detail fails
// here, one that keeps as much passes.
#include "MovieTestSupport.h"
#include "core/frames/BitmapList.h"
#include "core/movie/MovieExport.h"

#include <array>

using namespace kestrix;
using namespace kestrix::test;

namespace {

constexpr size_t kCorpusFrames = 4;

// Camera frames of a slow pan, then a frame of strong colourful detail that a movie meets when
// the camera cuts to another scene.
void addFidelityCorpus(FrameStore& store) {
    for (int seed : {0, 7, 14})
        store.add(photoFrame(160, 120, seed));
    store.add(detailedFrame(160, 120, 3));
}

struct FloorCase {
    MovieFormat format;
    int quality;
    // dB per frame of the corpus, in RGB.
    std::array<double, kCorpusFrames> floors;
};

} // namespace

TEST(MovieFidelity, EveryFrameKeepsItsDetailAtEachQuality) {
    const FloorCase cases[] = {
        {MovieFormat::Avi, 10000, {50.6, 50.6, 50.6, 50.3}},
        {MovieFormat::Avi, 9500, {43.1, 43.0, 43.1, 40.8}},
        {MovieFormat::Avi, 9000, {41.5, 41.5, 41.6, 35.7}},
        {MovieFormat::Avi, 6500, {38.2, 38.2, 38.3, 28.3}},
        {MovieFormat::Mp4, kDefaultMp4Quality, {39.8, 38.6, 39.3, 31.9}},
    };
    FrameStore corpus;
    addFidelityCorpus(corpus);
    ASSERT_EQ(static_cast<size_t>(corpus.count()), kCorpusFrames);
    TempDir dir("fidelity");
    for (const FloorCase& c : cases) {
        const bool avi = c.format == MovieFormat::Avi;
        SCOPED_TRACE((avi ? "AVI quality " : "MP4 quality ") + std::to_string(c.quality));
        const std::string file = dir.file(avi ? "movie.avi" : "movie.mp4");
        exportMovie(c.format, file, corpus, {10, c.quality, false}, nullptr);
        const std::string rgb = decodeMovieRgb(file);
        for (size_t i = 0; i < kCorpusFrames; ++i) {
            const double psnr =
                framePsnr(rgb, static_cast<int>(i), *corpus.get(static_cast<int>(i)));
            EXPECT_GE(psnr, c.floors[i]) << "frame " << i << " keeps " << psnr << " dB";
        }
    }
}
