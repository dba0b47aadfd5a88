// kestrix-cli decode and identify, run as a script would run them.
#include "DecodeTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/util/FileIO.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::string cli(const std::string& args) {
    return std::string(KESTRIX_CLI) + " " + args;
}

Bitmap readBmpFile(const std::string& path) {
    Bitmap b;
    readBmp(readFile(path), b);
    return b;
}

} // namespace

TEST(DecodeCli, DecodeWritesTheImageAndTheFrames) {
    TempDir dir("cli");
    GifBuilder gif(3, 2, {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}});
    gif.pixels(0, 0, 3, 2, {1, 1, 1, 1, 1, 1}).pixels(1, 1, 1, 1, {2}).pixels(0, 0, 1, 1, {0});
    writeFile(dir.file("anim.bin"), gif.done());
    const CommandResult r = runCommand(cli("decode " + dir.file("anim.bin") + " " +
                                           dir.file("out.bmp") + " --frames " + dir.file("f")));
    ASSERT_EQ(r.status, 0);
    const Bitmap image = readBmpFile(dir.file("out.bmp"));
    EXPECT_EQ(image.pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(image.pixel(1, 1), (Color{255, 0, 0}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readBmpFile(dir.file("f000" + std::to_string(i) + ".bmp")).pixelFormat(),
                  PixelFormat::Bit8);
    const Bitmap last = readBmpFile(dir.file("f0002.bmp"));
    EXPECT_EQ(last.pixel(1, 1), (Color{0, 0, 255}));
    EXPECT_EQ(last.pixel(0, 0), (Color{0, 0, 0}));
    EXPECT_FALSE(fileExists(dir.file("f0003.bmp")));
}

TEST(DecodeCli, AddressDecidesWhenTheSignatureCannot) {
    TempDir dir("cli");
    writeFile(dir.file("page.jpg"), "<html>Not Found</html>");
    CommandResult r = runCommand(cli("decode " + dir.file("page.jpg") + " " + dir.file("o.bmp") +
                                     " --address http://cam/x.jpg?t=1 2>&1"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Unsupport Image Type: jpg?t=1\n");
    r = runCommand(cli("decode " + dir.file("page.jpg") + " " + dir.file("o.bmp") + " 2>&1"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Not a JPEG file: starts with 0x3c 0x68\n");
    EXPECT_FALSE(fileExists(dir.file("o.bmp")));
}

TEST(DecodeCli, IdentifyPrintsKindSizeAndFrames) {
    TempDir dir("cli");
    GifBuilder gif(5, 4, {{0, 0, 0}, {255, 255, 255}});
    gif.pixels(0, 0, 2, 2, {0, 1, 1, 0}).pixels(1, 1, 1, 1, {1});
    writeFile(dir.file("a.gif"), gif.done());
    writeFile(dir.file("b.bmp"), writeBmp(Bitmap(7, 3)));
    writeFile(dir.file("c.png"), makePng(ihdr(2, 1, 8, 0), "", std::string("\0\1\2", 3)));
    writeFile(dir.file("d.txt"), "not an image at all");
    const CommandResult r =
        runCommand(cli("identify " + dir.file("a.gif") + " " + dir.file("b.bmp") + " " +
                       dir.file("c.png") + " " + dir.file("d.txt") + " 2>/dev/null"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Gif 5x4 2\nBmp 7x3 1\nPng 2x1 1\n");

    // Many files are decoded on several threads and still reported in the order given, the
    // failures among them on stderr at their place.
    const std::string failure = runCommand(cli("identify " + dir.file("d.txt") + " 2>&1")).out;
    ASSERT_EQ(failure.rfind(dir.file("d.txt") + ": ", 0), 0u) << failure;
    const std::string name[] = {"a.gif", "b.bmp", "c.png", "d.txt"};
    const std::string line[] = {"Gif 5x4 2\n", "Bmp 7x3 1\n", "Png 2x1 1\n", failure};
    std::string files;
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        files += " " + dir.file(name[i % 4]);
        expected += line[i % 4];
    }
    for (const char* threads : {"1", "8"}) {
        SCOPED_TRACE(threads);
        const CommandResult many = runCommand("KESTRIX_THREADS=" + std::string(threads) + " " +
                                              cli("identify" + files + " 2>&1"));
        EXPECT_EQ(many.status, 1);
        EXPECT_EQ(many.out, expected);
        const CommandResult checked = runCommand("KESTRIX_THREADS=" + std::string(threads) + " " +
                                                 cli("identify --check" + files + " 2>&1"));
        EXPECT_EQ(checked.out, expected);
    }

    // A JPEG's size comes from its header unless --check decodes it.
    run("convert -size 33x21 gradient:red-blue -quality 80 " + dir.file("e.jpg"));
    EXPECT_EQ(runCommand(cli("identify " + dir.file("e.jpg"))).out, "Jpeg 33x21 1\n");
    EXPECT_EQ(runCommand(cli("identify --check " + dir.file("e.jpg"))).out, "Jpeg 33x21 1\n");
}
