// kestrix-cli avi run as a script would run it: images, frames files and GIFs in one movie, and
// the messages of a failed export.
#include "MovieTestSupport.h"
#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"

#include <filesystem>

using namespace kestrix;
using namespace kestrix::test;

namespace {

CommandResult cli(const std::string& args) {
    return runCommand(std::string(KESTRIX_CLI) + " avi " + args + " 2>&1");
}

void putI32(std::string& out, int32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
}

std::string framesFile(const std::vector<Bitmap>& frames) {
    std::string out;
    putI32(out, static_cast<int32_t>(frames.size()));
    for (const Bitmap& b : frames) {
        const std::string bmp = writeBmp(b);
        putI32(out, static_cast<int32_t>(bmp.size()));
        out += bmp;
    }
    return out;
}

} // namespace

TEST(MovieCli, ImagesFramesFilesAndGifFramesMakeOneMovie) {
    TempDir dir("avicli");
    const Bitmap first = detailedFrame(40, 30, 0);
    writeFile(dir.file("a.bmp"), writeBmp(first));
    writeFile(dir.file("SHOTS.IFRM"),
              framesFile({detailedFrame(40, 30, 1), detailedFrame(20, 20, 2)}));
    GifBuilder gif(4, 3, {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}});
    gif.pixels(0, 0, 4, 3, std::vector<uint8_t>(12, 1)).pixels(1, 1, 1, 1, {2});
    writeFile(dir.file("anim.gif"), gif.done());

    const CommandResult r = cli(dir.file("out.avi") + " --fps 2.9 " + dir.file("a.bmp") + " " +
                                dir.file("SHOTS.IFRM") + " " + dir.file("anim.gif"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    auto stream = probeMovie(dir.file("out.avi"));
    EXPECT_EQ(stream["width"], "40");
    EXPECT_EQ(stream["height"], "30");
    EXPECT_EQ(stream["r_frame_rate"], "2/1");
    EXPECT_EQ(stream["nb_read_frames"], "5");
    const std::string rgb = decodeMovieRgb(dir.file("out.avi"));
    EXPECT_GE(framePsnr(rgb, 0, first), 40.0) << "quality 10000 is the default";
}

TEST(MovieCli, FailuresPrintTheMessageAndWriteNothing) {
    TempDir dir("avicli");
    writeFile(dir.file("a.bmp"), writeBmp(detailedFrame(8, 8, 0)));
    writeFile(dir.file("none.ifrm"), framesFile({}));
    const std::string in = " " + dir.file("a.bmp");
    const std::pair<std::string, std::string> cases[] = {
        {dir.file("out.avi"), "usage: kestrix-cli avi OUT.avi [--fps F] [--quality Q] INPUT...\n"},
        {dir.file("out.avi --quality 10001") + in, "--quality takes a value from 0 to 10000\n"},
        {dir.file("out.avi --fps 0") + in, "--fps takes a number of frames per second above 0\n"},
        {dir.file("out") + in, "Unable to create AVI file (\"\"): Unregistered File Type\n"},
        {dir.file("out.avi ") + dir.file("none.ifrm"), "No Movie To Save\n"},
    };
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(args);
        const CommandResult r = cli(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, message);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.avi")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
    }
}
