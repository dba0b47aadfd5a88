// The export pipeline: frames prepared on many threads come out in order and byte for byte as the
// writer makes them one by one; the gauge advances in order; a failing input stops the movie.
#include "MovieTestSupport.h"
#include "core/frames/BitmapList.h"
#include "core/movie/MovieExport.h"
#include "core/movie/writers/AviWriter.h"
#include "core/util/Error.h"
#include "support/ThreadsSetting.h"

#include <cstdlib>
#include <filesystem>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// Groups of 1, 2, 3, ... frames of varying sizes.
MovieSource growingGroups(size_t groups) {
    return {groups, [](size_t group, const FrameVisitor& each) {
                for (size_t i = 0; i <= group; ++i)
                    each(detailedFrame(32 + static_cast<int>(i), 24, static_cast<int>(group + i)));
            }};
}

} // namespace

TEST(MoviePipeline, ParallelFramesMatchTheWriterFrameByFrame) {
    TempDir dir("pipeline");
    const MovieSource source = growingGroups(9);
    AviWriter reference;
    reference.frameRate = 10;
    reference.quality = 9000;
    int frames = 0;
    source.visit(0, [&](const Bitmap& first) { reference.open(first, dir.file("reference.avi")); });
    for (size_t g = 0; g < source.groups; ++g)
        source.visit(g, [&](const Bitmap& frame) {
            reference.addFrame(frame);
            ++frames;
        });
    reference.close();
    const std::string expected = readFile(dir.file("reference.avi"));

    for (const char* threads : {"1", "2", "5"}) {
        SCOPED_TRACE(threads);
        ThreadsSetting setting(threads);
        std::vector<int> gauge;
        const auto writer = makeMovieWriter(MovieFormat::Avi, {10, 9000, false});
        writeMovie(*writer, dir.file("parallel.avi"), source,
                   [&](int value) { gauge.push_back(value); });
        EXPECT_EQ(readFile(dir.file("parallel.avi")), expected);
        ASSERT_EQ(gauge.size(), static_cast<size_t>(frames) + 1);
        for (int i = 0; i < frames; ++i)
            EXPECT_EQ(gauge[static_cast<size_t>(i)], i);
        EXPECT_EQ(gauge.back(), 0);
    }
}

TEST(MoviePipeline, InputsWithoutFramesAreSkippedAndAFailingInputStopsTheMovie) {
    TempDir dir("pipeline");
    writeFile(dir.file("movie.mp4"), "old movie");
    const MovieSource leadingEmpty{4, [](size_t group, const FrameVisitor& each) {
                                       if (group >= 2)
                                           each(detailedFrame(16, 16, static_cast<int>(group)));
                                   }};
    const auto avi = makeMovieWriter(MovieFormat::Avi, {10, 10000, false});
    writeMovie(*avi, dir.file("two.avi"), leadingEmpty, nullptr);
    EXPECT_EQ(probeMovie(dir.file("two.avi"))["nb_read_frames"], "2");

    const MovieSource failing{40, [](size_t group, const FrameVisitor& each) {
                                  if (group == 27)
                                      throw Error("Cannot open file \"27.png\"");
                                  each(detailedFrame(16, 16, static_cast<int>(group)));
                              }};
    std::vector<int> gauge;
    const auto mp4 = makeMovieWriter(MovieFormat::Mp4, {10, kDefaultMp4Quality, false});
    try {
        writeMovie(*mp4, dir.file("movie.mp4"), failing, [&](int v) { gauge.push_back(v); });
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Cannot open file \"27.png\"");
    }
    EXPECT_EQ(gauge.back(), 0);
    EXPECT_EQ(readFile(dir.file("movie.mp4")), "old movie");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}
