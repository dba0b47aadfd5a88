// AviWriter on its own: the result texts, the frame rate and the writer's state rules.
#include "core/movie/writers/AviWriter.h"

#include "MovieTestSupport.h"
#include "core/util/Error.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::string resultMessage(uint32_t code) {
    try {
        AviWriter::checkResult(code, "Step");
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::General);
        return e.what();
    }
    return "no error";
}

std::string writeMovie(const std::string& path, const Bitmap& frame, const int* quality) {
    AviWriter writer;
    writer.frameRate = 10;
    if (quality)
        writer.quality = *quality;
    writer.open(frame, path);
    writer.addFrame(frame);
    writer.close();
    return readFile(path);
}

} // namespace

// The export tests meet the codes that exporting produces; these are the others and the format of
// a code without a text.
TEST(MovieWriter, CheckResultAddsTheTextOfTheCode) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x80044067, "Step: Insufficient memory."},
        {0x80044070, "Step: Compressor Error"},
        {0x80044073, "Step: Files does not contains specified data type"},
        {0x800440C7, "Step: AVI Error"},
        {0x2A, "Step Unknown Error: 0000002A"},
        {0x800440C8, "Step Unknown Error: 800440C8"},
    };
    for (const auto& [code, message] : cases)
        EXPECT_EQ(resultMessage(code), message);
    EXPECT_NO_THROW(AviWriter::checkResult(0, "Step"));
}

TEST(MovieWriter, FrameRateTruncatesWholeSpeedsAndKeepsSlowOnesExact) {
    const struct {
        double fps;
        int32_t rate;
        int32_t scale;
    } cases[] = {{10, 10, 1},  {2.9, 2, 1},  {1, 1, 1}, {200, 200, 1}, {0.5, 1, 2},
                 {0.75, 3, 4}, {0.1, 1, 10}, {0, 0, 1}, {-3, 0, 1},    {NAN, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fps);
        const MovieRate rate = movieRateForFps(c.fps);
        EXPECT_EQ(rate.rate, c.rate);
        EXPECT_EQ(rate.scale, c.scale);
    }
}

TEST(MovieWriter, AddFrameNeedsAnOpenMovie) {
    AviWriter writer;
    try {
        writer.addFrame(detailedFrame(4, 4, 0));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "File not open");
    }
    EXPECT_NO_THROW(writer.close());
}

TEST(MovieWriter, QualityIs6500UntilSet) {
    TempDir dir("avi");
    const Bitmap frame = detailedFrame(32, 32, 0);
    const int explicit6500 = 6500, best = 10000;
    const std::string unset = writeMovie(dir.file("a.avi"), frame, nullptr);
    EXPECT_EQ(unset, writeMovie(dir.file("b.avi"), frame, &explicit6500));
    EXPECT_NE(unset, writeMovie(dir.file("c.avi"), frame, &best));
}
