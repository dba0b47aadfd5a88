// kestrix-cli avi and movie run as a script would run them: images, frames files and GIFs in one
// movie, the writer chosen by the extension, and the messages of a failed export.
#include "MovieTestSupport.h"
#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"

#include <filesystem>

using namespace kestrix;
using namespace kestrix::test;

namespace {

CommandResult cli(const std::string& args, const char* command = "avi") {
    return runCommand(std::string(KESTRIX_CLI) + " " + command + " " + args + " 2>&1");
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
    // Command lines that cannot be understood exit with 2, failures of the work with 1.
    const struct {
        std::string args, message;
        int status;
    } cases[] = {
        {dir.file("out.avi"), "kestrix-cli avi: INPUT is required (see 'kestrix-cli avi --help')\n",
         2},
        {dir.file("out.avi --quality 10001") + in,
         "kestrix-cli avi: --quality: Value 10001 not in range 0 to 10000 (see 'kestrix-cli avi "
         "--help')\n",
         2},
        {dir.file("out.avi --fps 0") + in,
         "kestrix-cli avi: --fps: takes a number above 0, not 0 (see 'kestrix-cli avi --help')\n",
         2},
        {dir.file("out") + in, "Unable to create AVI file (\"\"): Unregistered File Type\n", 1},
        {dir.file("out.avi ") + dir.file("none.ifrm"), "No Movie To Save\n", 1},
    };
    for (const auto& [args, message, status] : cases) {
        SCOPED_TRACE(args);
        const CommandResult r = cli(args);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out, message);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.avi")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
    }
}

TEST(MovieCli, ExtensionPicksTheWriter) {
    TempDir dir("moviecli");
    std::string inputs;
    for (int i = 0; i < 3; ++i) {
        writeFile(dir.file("cam" + std::to_string(i) + ".bmp"), writeBmp(photoFrame(81, 61, i)));
        inputs += " " + dir.file("cam" + std::to_string(i) + ".bmp");
    }
    CommandResult r = cli(dir.file("out.MP4") + " --fps 0.5" + inputs, "movie");
    ASSERT_EQ(r.status, 0) << r.out;
    auto stream = probeMovie(dir.file("out.MP4"));
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["width"], "82");
    EXPECT_EQ(stream["r_frame_rate"], "1/2");
    EXPECT_EQ(stream["nb_read_frames"], "3");

    // An AVI made by movie is the one avi makes.
    ASSERT_EQ(cli(dir.file("a.avi") + " --quality 7000" + inputs, "movie").status, 0);
    ASSERT_EQ(cli(dir.file("b.avi") + " --quality 7000" + inputs).status, 0);
    EXPECT_EQ(readFile(dir.file("a.avi")), readFile(dir.file("b.avi")));

    r = cli(dir.file("out.mov") + inputs, "movie");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Unknown movie file type: .mov (use .avi or .mp4)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.mov")));
    r = cli(dir.file("out.mp4 ") + dir.file("missing.jpg") + inputs, "movie");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("missing.jpg"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.mp4")));
}
