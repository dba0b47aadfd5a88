#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/gif/ColorQuantizer.h"
#include "core/gif/LzwEncoder.h"
#include "core/image/BmpCodec.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap pixelsOf(int w, int h, const std::function<Color(int, int)>& colour) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Color c = colour(x, y);
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    return b;
}

Bitmap noise(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    return pixelsOf(w, h, [&](int, int) {
        return Color{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                     static_cast<uint8_t>(rng())};
    });
}

// Reads LSB-first codes of the given widths out of sub-blocks.
std::vector<int> readCodes(const std::string& data, const std::vector<int>& widths) {
    std::string bytes;
    for (size_t at = 1; at < data.size() && data[at] != 0;) {
        const auto n = static_cast<uint8_t>(data[at]);
        bytes += data.substr(at + 1, n);
        at += 1 + n;
    }
    std::vector<int> codes;
    size_t bit = 0;
    for (int w : widths) {
        int code = 0;
        for (int i = 0; i < w; ++i, ++bit)
            code |= ((static_cast<uint8_t>(bytes[bit / 8]) >> (bit % 8)) & 1) << i;
        codes.push_back(code);
    }
    return codes;
}

std::string python(const std::string& script) {
    CommandResult r = runCommand("/usr/bin/python3 -c \"" + script + "\" 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.out;
}

} // namespace

TEST(GifEncoder, OnePixelIsClearIndexEnd) {
    std::string out;
    const uint8_t index = 5;
    encodeImageData(out, 8, 256, &index, 1, 1, 1);
    EXPECT_EQ(static_cast<uint8_t>(out[0]), 8);
    EXPECT_EQ(readCodes(out, {9, 9, 9}), (std::vector<int>{256, 5, 257}));
    EXPECT_EQ(out.size(), 1u + 1 + 4); // code size, block length, 27 bits in 4 bytes
    std::string empty;
    encodeImageData(empty, 1, 2, nullptr, 0, 0, 0);
    EXPECT_EQ(static_cast<uint8_t>(empty[0]), 2); // at least 2
    EXPECT_EQ(readCodes(empty, {3}), std::vector<int>{5});
    const uint8_t bad = 9;
    std::string failed;
    try {
        encodeImageData(failed, 3, 8, &bad, 1, 1, 1);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Color not in color table");
    }
}

TEST(GifEncoder, PaletteRules) {
    // One colour: it comes first, the rest of the 256 entries are black.
    Bitmap one = pixelsOf(5, 4, [](int, int) { return Color{12, 34, 56}; });
    const Bitmap reduced = reduceToPalette(one);
    ASSERT_EQ(reduced.palette().size(), 256u);
    EXPECT_EQ(reduced.palette()[0], (Color{12, 34, 56}));
    EXPECT_EQ(reduced.palette()[1], (Color{0, 0, 0}));
    EXPECT_EQ(reduced.palette()[255], (Color{0, 0, 0}));
    EXPECT_EQ(reduced.scanLine(3)[4], 0);

    // Octree order: by the top bits of red, green and blue, not by frequency.
    Bitmap two = pixelsOf(3, 1, [](int x, int) {
        return x == 2 ? Color{10, 10, 10} : Color{200, 10, 10};
    });
    const Bitmap r2 = reduceToPalette(two);
    EXPECT_EQ(r2.palette()[0], (Color{10, 10, 10}));
    EXPECT_EQ(r2.palette()[1], (Color{200, 10, 10}));

    // Up to 256 colours keep themselves exactly, unless two share a 5-5-5 cell: then the later
    // one's pixels take the entry that claimed the cell first.
    std::set<uint32_t> colours;
    Bitmap many = pixelsOf(16, 16, [&](int x, int y) {
        const Color c{static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16),
                      static_cast<uint8_t>((x + y) * 8)};
        colours.insert(c.key());
        return c;
    });
    ASSERT_EQ(colours.size(), 256u);
    Bitmap back = reduceToPalette(many);
    back.convertTo24();
    EXPECT_EQ(back.pixelBytes(), many.pixelBytes());
    Bitmap shared = pixelsOf(2, 1, [](int x, int) {
        return x == 0 ? Color{64, 64, 64} : Color{65, 66, 67};
    });
    Bitmap sharedBack = reduceToPalette(shared);
    EXPECT_EQ(sharedBack.scanLine(0)[0], sharedBack.scanLine(0)[1]);
}

TEST(GifEncoder, ManyColoursReduceTo256WithoutDither) {
    Bitmap photo = noise(64, 64, 3);
    Bitmap reduced = reduceToPalette(photo);
    std::set<uint8_t> used(reduced.pixelBytes().begin(), reduced.pixelBytes().end());
    EXPECT_LE(used.size(), 256u);
    EXPECT_GT(used.size(), 100u);
    // Two runs give the same bytes.
    EXPECT_EQ(reduceToPalette(photo).pixelBytes(), reduced.pixelBytes());
}

TEST(GifEncoder, FileLayoutDelaysAndScreen) {
    FrameStore frames;
    frames.add(pixelsOf(320, 240, [](int x, int y) { return Color{uint8_t(x), uint8_t(y), 9}; }));
    frames.add(pixelsOf(640, 480, [](int x, int) { return Color{uint8_t(x / 3), 0, 0}; }));
    frames.add(pixelsOf(10, 10, [](int, int) { return Color{1, 2, 3}; }));
    TempDir dir;
    std::vector<int> progress;
    exportAnimatedGif(dir.file("a.gif"), frames, delayMsForFps(10),
                      [&](int p) { progress.push_back(p); });
    const std::string gif = readFileBytes(dir.file("a.gif"));
    ByteReader r(gif);
    EXPECT_EQ(r.bytes(6), "GIF89a");
    EXPECT_EQ(r.u16(), 640);
    EXPECT_EQ(r.u16(), 480);
    EXPECT_EQ(r.u8() & 0x80, 0); // no global table
    r.skip(2);
    EXPECT_EQ(r.bytes(19), std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19));
    EXPECT_EQ(r.bytes(8), std::string("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8));
    EXPECT_EQ(r.u8(), ',');
    EXPECT_EQ(r.u16(), 0);
    EXPECT_EQ(r.u16(), 0);
    EXPECT_EQ(r.u16(), 320);
    EXPECT_EQ(gif.back(), ';');
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    // The same frames give the same file.
    exportAnimatedGif(dir.file("b.gif"), frames, delayMsForFps(10), nullptr);
    EXPECT_EQ(readFileBytes(dir.file("b.gif")), gif);

    const std::pair<double, int> delays[] = {{10, 100}, {3, 333}, {0.5, 2000}, {150, 6}};
    for (auto [fps, ms] : delays)
        EXPECT_EQ(delayMsForFps(fps), ms);
    FrameStore fast;
    fast.add(pixelsOf(2, 2, [](int, int) { return Color{}; }));
    exportAnimatedGif(dir.file("fast.gif"), fast, delayMsForFps(150), nullptr);
    EXPECT_EQ(readFileBytes(dir.file("fast.gif")).substr(13 + 19, 8),
              std::string("\x21\xF9\x04\x00\x00\x00\x00\x00", 8));

    FrameStore none;
    EXPECT_THROW(exportAnimatedGif(dir.file("none.gif"), none, 100, nullptr), Error);
    EXPECT_FALSE(fileExists(dir.file("none.gif")));
}

TEST(GifEncoder, ReadBackByOurDecoderPilAndFfprobe) {
    // Noisy frames make long LZW streams that pass 4,095 codes many times.
    FrameStore frames;
    frames.add(noise(640, 480, 1));
    frames.add(pixelsOf(640, 480, [](int x, int y) { return Color{uint8_t(x), uint8_t(y), 77}; }));
    frames.add(noise(640, 480, 2));
    TempDir dir;
    const std::string path = dir.file("round.gif");
    exportAnimatedGif(path, frames, delayMsForFps(4), nullptr);

    // What each frame should look like: its colours reduced to its own table.
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        Bitmap reduced = reduceToPalette(*frames.get(i));
        reduced.convertTo24();
        std::string rgb;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint8_t* p = reduced.scanLine(y) + 3 * x;
                rgb += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
            }
        expected.push_back(rgb);
        writeFileAtomically(dir.file("frame" + std::to_string(i) + ".rgb"), rgb);
    }

    // Our decoder: the first frame exactly as written; every frame of a one-frame export too.
    BitmapList decoded;
    Bitmap first;
    decodeImage(readFileBytes(path), "round.gif", first, &decoded);
    ASSERT_EQ(decoded.count(), 3);
    for (int i = 0; i < 3; ++i) {
        FrameStore single;
        single.add(*frames.get(i));
        exportAnimatedGif(dir.file("single.gif"), single, 100, nullptr);
        Bitmap image;
        decodeImage(readFileBytes(dir.file("single.gif")), "single.gif", image, nullptr);
        Bitmap reduced = reduceToPalette(*frames.get(i));
        reduced.convertTo24();
        EXPECT_EQ(image.pixelBytes(), reduced.pixelBytes()) << i;
    }

    // PIL: three frames of the screen's size, 250 ms each, looping, with the written colours.
    const std::string pil =
        python("from PIL import Image\nim=Image.open('" + path +
               "')\n"
               "for n in range(3):\n  im.seek(n)\n"
               "  same=im.convert('RGB').tobytes()==open('" +
               dir.file("frame") +
               "%d.rgb'%n,'rb').read()\n"
               "  print(im.size, im.info.get('duration'), im.info.get('loop'), same)\n"
               "print(im.n_frames)");
    EXPECT_EQ(pil, "(640, 480) 250 0 True\n(640, 480) 250 0 True\n(640, 480) 250 0 True\n3\n");

    CommandResult probe = runCommand("ffprobe -v error -count_frames -select_streams v:0 "
                                     "-show_entries stream=nb_read_frames,width,height "
                                     "-of csv=p=0 " +
                                     path + " 2>&1");
    EXPECT_EQ(probe.status, 0) << probe.out;
    EXPECT_EQ(probe.out, "640,480,3\n");
}

TEST(GifEncoder, CommandLine) {
    TempDir dir;
    writeFileAtomically(dir.file("a.bmp"), writeBmp(noise(30, 20, 5)));
    FrameStore two;
    two.add(noise(30, 20, 6));
    two.add(noise(40, 10, 7));
    saveToFile(two, dir.file("b.ifrm"), nullptr);
    const std::string cli = std::string(KESTRIX_CLI);
    CommandResult r = runCommand(cli + " gif " + dir.file("out.gif") + " --fps 5 " +
                                 dir.file("a.bmp") + " " + dir.file("b.ifrm"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(runCommand(cli + " identify " + dir.file("out.gif")).out, "Gif 40x20 3\n");
    // A GIF input gives all its composited frames, as it does to the movie export.
    r = runCommand(cli + " gif " + dir.file("again.gif") + " " + dir.file("out.gif") + " " +
                   dir.file("a.bmp"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(runCommand(cli + " identify " + dir.file("again.gif")).out, "Gif 30x20 4\n");
    r = runCommand(cli + " gif " + dir.file("x.gif") + " --fps 0 " + dir.file("a.bmp") + " 2>&1");
    EXPECT_EQ(r.status, 2) << "a value out of range is a usage error";
    EXPECT_EQ(r.out, "kestrix-cli gif: --fps: takes a number from 0.5 to 200, not 0 (see "
                     "'kestrix-cli gif --help')\n");
}
