#include "core/decode/GifDecoder.h"

#include "DecodeTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/Error.h"

#include <chrono>
#include <fstream>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::string_literals;

namespace {

const Color kBlackRgb{0, 0, 0}, kRedRgb{255, 0, 0}, kGreenRgb{0, 255, 0}, kBlueRgb{0, 0, 255},
    kWhiteRgb{255, 255, 255};

std::vector<uint8_t> filled(int count, uint8_t index) {
    return std::vector<uint8_t>(static_cast<size_t>(count), index);
}

std::string gifErrorOf(const std::string& body) {
    try {
        Bitmap b;
        BitmapList frames;
        decodeGif(body, b, &frames);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

// Three sub-images: a red screen, a green patch with a transparent hole, a blue strip. Each frame
// shows everything drawn so far; the single image is the first frame in 24 bits.
TEST(GifCompose, LaterFramesShowEarlierOnesBeneath) {
    GifBuilder gif(4, 3, {kBlackRgb, kRedRgb, kGreenRgb, kBlueRgb});
    gif.pixels(0, 0, 4, 3, filled(12, 1));
    gif.control(true, 0).pixels(1, 1, 2, 2, {0, 2, 2, 2});
    gif.pixels(2, 0, 2, 1, {3, 3});
    Bitmap single;
    BitmapList frames;
    ASSERT_TRUE(decodeImage(gif.done(), "anim.gif", single, &frames));
    ASSERT_EQ(frames.count(), 3);
    EXPECT_EQ(single.pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(single.pixel(1, 1), kRedRgb);
    const Bitmap& last = *frames.get(2);
    EXPECT_EQ(last.pixelFormat(), PixelFormat::Bit8);
    EXPECT_EQ(last.pixel(1, 1), kRedRgb) << "transparent pixel leaves the canvas";
    EXPECT_EQ(last.pixel(2, 1), kGreenRgb);
    EXPECT_EQ(last.pixel(1, 2), kGreenRgb);
    EXPECT_EQ(last.pixel(3, 0), kBlueRgb);
    EXPECT_EQ(last.pixel(0, 0), kRedRgb);
    EXPECT_EQ(frames.get(0)->pixel(3, 0), kRedRgb) << "earlier frames are copies";
}

TEST(GifCompose, OneFrameGifGivesOneFrame) {
    GifBuilder gif(2, 2, {kBlackRgb, kWhiteRgb});
    gif.pixels(0, 0, 2, 2, {0, 1, 1, 0});
    FrameStore store;
    Bitmap old(1, 1);
    store.addTimed(old, 5.0);
    Bitmap single;
    decodeGif(gif.done(), single, &store);
    ASSERT_EQ(store.count(), 1);
    EXPECT_EQ(store.time(0), 0.0);
    EXPECT_EQ(store.get(0)->pixel(1, 0), kWhiteRgb);
}

// Transparency is by index: a table that repeats the transparent entry's colour elsewhere (black
// padding is common) must still draw pixels of the other index.
TEST(GifCompose, TransparencyIsByIndexNotColour) {
    GifBuilder gif(2, 1, {kBlackRgb, kRedRgb, kGreenRgb, kBlackRgb});
    gif.pixels(0, 0, 2, 1, {1, 1});
    gif.control(true, 3).pixels(0, 0, 2, 1, {0, 3});
    BitmapList frames;
    composeGifFrames(parseGif(gif.done()), frames);
    ASSERT_EQ(frames.count(), 2);
    EXPECT_EQ(frames.get(1)->pixel(0, 0), kBlackRgb);
    EXPECT_EQ(frames.get(1)->pixel(1, 0), kRedRgb);
}

// Colours near the canvas's but not in its table are drawn as they are, not as the nearest entry.
TEST(GifCompose, LocalColoursMissingFromTheCanvasTableAreExact) {
    GifBuilder gif(2, 1, {kBlackRgb, kRedRgb, kGreenRgb, kBlueRgb});
    gif.pixels(0, 0, 2, 1, {0, 0});
    gif.pixels(0, 0, 2, 1, {0, 1}, {{250, 5, 5}, {5, 5, 240}});
    BitmapList frames;
    composeGifFrames(parseGif(gif.done()), frames);
    EXPECT_EQ(frames.get(0)->pixelFormat(), PixelFormat::Bit8);
    EXPECT_EQ(frames.get(1)->pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(frames.get(1)->pixel(0, 0), (Color{250, 5, 5}));
    EXPECT_EQ(frames.get(1)->pixel(1, 0), (Color{5, 5, 240}));
}

// A first sub-image away from the screen's corner: frames keep its size and later sub-images
// land where they belong relative to it; the single image is the whole screen on black.
TEST(GifCompose, OffsetFirstSubImage) {
    GifBuilder gif(6, 5, {kBlackRgb, kRedRgb, kGreenRgb, kBlueRgb});
    gif.pixels(2, 1, 3, 3, filled(9, 1));
    gif.pixels(3, 2, 1, 1, {2});
    Bitmap single;
    BitmapList frames;
    decodeGif(gif.done(), single, &frames);
    ASSERT_EQ(frames.count(), 2);
    EXPECT_EQ(frames.get(1)->width(), 3);
    EXPECT_EQ(frames.get(1)->pixel(1, 1), kGreenRgb);
    EXPECT_EQ(frames.get(1)->pixel(0, 0), kRedRgb);
    EXPECT_EQ(single.width(), 6);
    EXPECT_EQ(single.height(), 5);
    EXPECT_EQ(single.pixel(0, 0), kBlackRgb);
    EXPECT_EQ(single.pixel(2, 1), kRedRgb);
    EXPECT_EQ(single.pixel(5, 4), kBlackRgb);
}

// Without image data in the first sub-image the canvas is the black screen with the global
// table; a zero-sized screen takes the sub-images' extent.
TEST(GifCompose, EmptyFirstSubImage) {
    for (int screen : {4, 0}) {
        GifBuilder gif(screen, screen, {kRedRgb, kBlackRgb, kGreenRgb});
        gif.image(0, 0, 0, 0, gifLiteralData({}));
        gif.pixels(1, 1, 3, 3, filled(9, 2));
        Bitmap single;
        BitmapList frames;
        decodeGif(gif.done(), single, &frames);
        ASSERT_EQ(frames.count(), 1) << screen;
        const Bitmap& f = *frames.get(0);
        EXPECT_EQ(f.width(), 4);
        EXPECT_EQ(f.pixel(0, 0), kBlackRgb);
        EXPECT_EQ(f.pixel(2, 2), kGreenRgb);
        EXPECT_EQ(f.palette()[0], kRedRgb);
        EXPECT_EQ(single.width(), 4);
        EXPECT_EQ(single.pixel(3, 3), kBlackRgb);
    }
}

TEST(GifDecode, InterlacedRowsLandInPlace) {
    for (int height = 1; height <= 9; ++height) {
        std::vector<uint8_t> stored;
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < height; y += step)
                for (int x = 0; x < 3; ++x)
                    stored.push_back(static_cast<uint8_t>(y));
        GifBuilder gif(3, height);
        gif.image(0, 0, 3, height, gifLiteralData(stored), {}, true);
        const DecodedGif decoded = parseGif(gif.done());
        const Bitmap& b = decoded.images[0].bitmap;
        for (int y = 0; y < height; ++y)
            EXPECT_EQ(b.scanLine(y)[2], y) << "height " << height << " row " << y;
    }
}

// LZW streams built code by code (minimum code size 2: clear 4, end 5, first free code 6).
TEST(GifDecode, LzwStreams) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> codes;
        std::vector<uint8_t> pixels; // expected, or empty for an error
    };
    const std::vector<Case> cases = {
        {"literals", {{4, 3}, {1, 3}, {2, 3}, {5, 3}}, {1, 2, 0, 0}},
        {"table entry", {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {5, 3}}, {1, 2, 1, 2}},
        {"KwKwK", {{4, 3}, {1, 3}, {6, 3}, {5, 3}}, {1, 1, 1, 0}},
        {"no leading clear", {{3, 3}, {3, 3}, {5, 3}}, {3, 3, 0, 0}},
        {"ends without end code", {{4, 3}, {2, 3}}, {2, 0, 0, 0}},
        {"string past the image end", {{4, 3}, {1, 3}, {6, 3}, {6, 3}}, {1, 1, 1, 1}},
        {"code beyond next entry", {{4, 3}, {1, 3}, {7, 3}}, {}},
        {"KwKwK as first code", {{4, 3}, {6, 3}}, {}},
        {"end code value first", {{4, 3}, {5, 3}}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        GifBuilder gif(4, 1, {kBlackRgb, kRedRgb, kGreenRgb, kBlueRgb});
        gif.image(0, 0, 4, 1, std::string(1, '\2') + gifCodes(c.codes));
        if (c.pixels.empty()) {
            EXPECT_EQ(gifErrorOf(gif.done()), "Invalid GIF image data") << c.name;
            continue;
        }
        const DecodedGif d = parseGif(gif.done());
        const uint8_t* row = d.images[0].bitmap.scanLine(0);
        EXPECT_EQ(std::vector<uint8_t>(row, row + 4), c.pixels) << c.name;
    }
}

// A table that fills up to 4096 entries and then goes on without a clear code keeps decoding
// with 12-bit codes and adds nothing.
TEST(GifDecode, FullTableWithoutClear) {
    std::vector<std::pair<int, int>> codes{{256, 9}, {7, 9}};
    int next = 258, width = 9;
    while (next < 4096) {
        codes.emplace_back(7, width);
        if (++next == (1 << width) && width < 12)
            ++width;
    }
    codes.emplace_back(7, 12);
    codes.emplace_back(300, 12);
    codes.emplace_back(257, 12);
    const int count = 1 + (4096 - 258) + 1 + 2;
    GifBuilder gif(count, 1);
    gif.image(0, 0, count, 1, std::string(1, '\x08') + gifCodes(codes));
    const DecodedGif d = parseGif(gif.done());
    const uint8_t* row = d.images[0].bitmap.scanLine(0);
    EXPECT_EQ(row[count - 1], 7);
    EXPECT_EQ(row[count - 4], 7);
}

TEST(GifDecode, MalformedFiles) {
    const std::string header = GifBuilder(2, 2, {kBlackRgb, kWhiteRgb}).bytes;
    const std::string good =
        GifBuilder(2, 2, {kBlackRgb, kWhiteRgb}).pixels(0, 0, 2, 2, {0, 1, 1, 0}).bytes;
    std::string emptyExtensions = good;
    for (int i = 0; i < 100000; ++i)
        emptyExtensions += std::string("\x21\x01\x00", 3);
    struct Case {
        const char* name;
        std::string body;
        const char* error; // "" when the file must decode
    };
    const std::vector<Case> cases = {
        {"GIF88a", "GIF88a" + header.substr(6) + ";", "Invalid GIF signature"},
        {"short", "GIF8", "Invalid GIF signature"},
        {"no images", header + ";", "GIF contains no images"},
        {"zero screen, no image data",
         GifBuilder(0, 0, {kBlackRgb, kWhiteRgb}).image(50000, 0, 0, 5, gifLiteralData({})).done(),
         "GIF image is empty"},
        {"no trailer", good, ""},
        {"junk after the last image", good + "\x99junk", ""},
        {"junk before any image", header + "\x99", "Invalid GIF block"},
        {"sub-block past the end", header + ",\0\0\0\0\2\0\2\0\0\2\x40\1"s, "Stream read error"},
        {"cut inside the descriptor", header + ",\0\0"s, "Stream read error"},
        {"empty extension blocks", emptyExtensions + ";", ""},
        {"transparent index beyond the table",
         header + "\x21\xF9\x04\x01\0\0\x7F\0"s + good.substr(header.size()), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gifErrorOf(c.body), c.error) << c.name;
    for (int codeSize : {0, 1, 9, 12, 13, 255}) {
        GifBuilder gif(2, 1, {kBlackRgb, kWhiteRgb});
        gif.image(0, 0, 2, 1, std::string(1, static_cast<char>(codeSize)) + gifCodes({{4, 3}}));
        EXPECT_EQ(gifErrorOf(gif.done()), "Invalid GIF code size") << codeSize;
    }
}

TEST(GifDecode, SizesAndBudgets) {
    const std::string stub = gifLiteralData({0}); // data cut short: the rest stays index 0
    // A sub-image reaching beyond the screen is clipped in the single image.
    GifBuilder wide(4, 4, {kBlackRgb, kWhiteRgb});
    wide.image(65500, 2, 40, 3, stub);
    EXPECT_EQ(gifErrorOf(wide.done()), "");
    GifBuilder huge(65535, 65535, {kBlackRgb, kWhiteRgb});
    huge.image(0, 0, 1, 1, stub);
    EXPECT_EQ(gifErrorOf(huge.done()), "Image too large: 65535 x 65535 pixels");
    // Many frames on a large canvas: the composited frames would pass 1 GiB.
    GifBuilder many(4000, 4000, {kBlackRgb, kWhiteRgb});
    many.image(0, 0, 4000, 4000, stub);
    for (int i = 0; i < 70; ++i)
        many.image(i, 0, 1, 1, stub);
    Bitmap single;
    BitmapList frames;
    frames.add(Bitmap(1, 1));
    EXPECT_THROW(
        try { decodeGif(many.done(), single, &frames); } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "GIF animation too large");
            throw;
        },
        Error);
    EXPECT_EQ(frames.count(), 1) << "a failed GIF leaves the frame list alone";
    EXPECT_EQ(single.width(), 0);
    // Many large sub-images: the decoded sub-images alone would pass the budget.
    GifBuilder big(8000, 8000, {kBlackRgb, kWhiteRgb});
    for (int i = 0; i < 20; ++i)
        big.image(0, 0, 8000, 8000, stub);
    EXPECT_EQ(gifErrorOf(big.done()), "GIF animation too large");
}

TEST(GifDecode, GraphicControlIsKept) {
    GifBuilder gif(1, 1, {kBlackRgb, kWhiteRgb});
    gif.control(true, 1, 25, 2).pixels(0, 0, 1, 1, {0});
    const DecodedGif d = parseGif(gif.done());
    const GifSubImage& s = d.images[0];
    EXPECT_TRUE(s.hasTransparency);
    EXPECT_EQ(s.transparentIndex, 1);
    EXPECT_EQ(s.delay, 25);
    EXPECT_EQ(s.disposal, 2);
    EXPECT_TRUE(s.bitmap.transparent());
    EXPECT_EQ(s.bitmap.transparentColor(), kWhiteRgb);
}

TEST(GifDecode, LoadGifFramesReadsAFile) {
    TempDir dir("gif");
    GifBuilder gif(2, 1, {kBlackRgb, kWhiteRgb});
    gif.pixels(0, 0, 2, 1, {0, 1}).pixels(0, 0, 1, 1, {1});
    writeFile(dir.file("a.gif"), gif.done());
    FrameStore store;
    loadGifFrames(dir.file("a.gif"), store);
    ASSERT_EQ(store.count(), 2);
    EXPECT_EQ(store.get(1)->pixel(0, 0), kWhiteRgb);
}

// Animated GIFs written by Pillow, without disposal or transparency changes: every composited
// frame must equal Pillow's frame.
TEST(GifDecode, MatchesPillowFrameByFrame) {
    TempDir dir("gifpil");
    run(std::string(kPython) + " " + decodeDataDir() + "/make_gif_cases.py " + dir.path());
    std::ifstream manifest(dir.file("manifest.txt"));
    std::string name;
    int frameCount = 0, files = 0;
    while (manifest >> name >> frameCount) {
        ++files;
        BitmapList frames;
        composeGifFrames(parseGif(readFile(dir.file(name + ".gif"))), frames);
        ASSERT_EQ(frames.count(), frameCount) << name;
        for (int i = 0; i < frameCount; ++i)
            EXPECT_TRUE(rgbBytes(*frames.get(i)) ==
                        readFile(dir.file(name + "_" + std::to_string(i) + ".rgb")))
                << name << " frame " << i;
    }
    EXPECT_GE(files, 2);
}
