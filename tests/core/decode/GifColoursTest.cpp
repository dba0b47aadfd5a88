// Composited GIF frames in each sub-image's own colours: Pillow as the reference, the switch
// from the canvas's table to 24 bits, and the memory budget of true-colour frames.
#include "DecodeTestSupport.h"
#include "core/decode/GifDecoder.h"
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/util/Error.h"

#include <fstream>
#include <map>

using namespace kestrix;
using namespace kestrix::test;

namespace {

const Color kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255},
    kOrange{255, 165, 0}, kPurple{128, 0, 128}, kCyan{0, 255, 255};
const std::vector<Color> kCanvasTable{kBlack, kRed, kGreen, kBlue};

// Later sub-images with transparency and their own tables, which Pillow's encoder never writes:
// the first frame has no transparency, so Pillow composes them by the same rules.
std::string transparentOverLocalTables() {
    GifBuilder gif(6, 4, kCanvasTable);
    gif.pixels(0, 0, 6, 4,
               {1, 1, 2, 2, 3, 3, 0, 1, 2, 3, 0, 1, 3, 3, 2, 2, 1, 1, 0, 0, 0, 1, 2, 3});
    gif.control(true, 2).pixels(2, 1, 3, 2, {0, 2, 1, 2, 3, 0}, {kOrange, kPurple, kCyan, kRed});
    gif.control(true, 0).pixels(0, 2, 2, 2, {0, 3, 3, 0});
    gif.pixels(4, 0, 2, 1, {1, 0}, {kBlue, kGreen});
    return gif.done();
}

// Tables of their own that only reorder colours of the canvas's table.
std::string reorderedTables() {
    GifBuilder gif(4, 3, kCanvasTable);
    gif.pixels(0, 0, 4, 3, {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2});
    gif.pixels(1, 1, 2, 2, {0, 1, 2, 3}, {kBlue, kBlack, kRed, kGreen});
    gif.pixels(0, 0, 4, 1, {1, 1, 0, 0}, {kGreen, kRed});
    gif.pixels(3, 2, 2, 2, {2, 1, 3, 0}, {kRed, kGreen, kBlue, kBlack}); // partly off the screen
    return gif.done();
}

// Frames that stay 8 bits with the first frame's table; all later ones are 24 bits.
const std::map<std::string, int> kIndexedFrames{{"primaries", 1},   {"shared", 4},
                                                {"subset", 4},      {"radar", 1},
                                                {"transparent", 1}, {"reordered", 4}};

int firstDifferentPixel(const std::string& a, const std::string& b) {
    for (size_t i = 0; i < std::min(a.size(), b.size()); i += 3)
        if (a.compare(i, 3, b, i, 3) != 0)
            return static_cast<int>(i / 3);
    return a.size() == b.size() ? -1 : static_cast<int>(std::min(a.size(), b.size()) / 3);
}

} // namespace

// Every frame equals Pillow's, pixel for pixel, and keeps the canvas's table exactly as long as
// that table holds every colour drawn.
TEST(GifColours, FramesMatchPillowInTheirOwnColours) {
    TempDir dir("gifcolours");
    writeFile(dir.file("transparent.gif"), transparentOverLocalTables());
    writeFile(dir.file("reordered.gif"), reorderedTables());
    run(std::string(kPython) + " " + decodeDataDir() + "/make_gif_colour_cases.py " + dir.path());
    std::ifstream manifest(dir.file("manifest.txt"));
    std::string name;
    int frameCount = 0;
    std::map<std::string, int> seen;
    while (manifest >> name >> frameCount) {
        ASSERT_EQ(kIndexedFrames.count(name), 1u) << name;
        seen[name] = frameCount;
        BitmapList frames;
        composeGifFrames(parseGif(readFile(dir.file(name + ".gif"))), frames);
        ASSERT_EQ(frames.count(), frameCount) << name;
        for (int i = 0; i < frameCount; ++i) {
            const Bitmap& frame = *frames.get(i);
            const std::string expected =
                readFile(dir.file(name + "_" + std::to_string(i) + ".rgb"));
            EXPECT_EQ(firstDifferentPixel(rgbBytes(frame), expected), -1) << name << " frame " << i;
            if (i < kIndexedFrames.at(name)) {
                EXPECT_EQ(frame.pixelFormat(), PixelFormat::Bit8) << name << " frame " << i;
                EXPECT_EQ(frame.palette(), frames.get(0)->palette()) << name << " frame " << i;
            } else {
                EXPECT_EQ(frame.pixelFormat(), PixelFormat::Bit24) << name << " frame " << i;
            }
        }
    }
    EXPECT_EQ(seen.size(), kIndexedFrames.size());
    EXPECT_EQ(seen["radar"], 20);
}

// Only colours that reach the canvas count: a new colour at the transparent index, in an unused
// entry or in the part of a sub-image beyond the canvas keeps the frame in 8 bits.
TEST(GifColours, OnlyDrawnColoursDecideTheFormat) {
    struct Case {
        const char* what;
        bool transparency;
        int left;
        std::vector<uint8_t> pixels; // 3 x 1 at (left, 0) over a 4 x 1 red canvas
        std::vector<Color> local;
        bool trueColour;
        std::vector<Color> expected;
    };
    const std::vector<Case> cases{
        {"hidden", true, 0, {1, 0, 1}, {kPurple, kGreen}, false, {kGreen, kRed, kGreen, kRed}},
        {"unused", false, 1, {2, 2, 3}, {kPurple, kCyan, kBlue}, false, {kRed, kBlue, kBlue, {}}},
        {"clipped", false, 2, {1, 1, 0}, {kPurple, kGreen}, false, {kRed, kRed, kGreen, kGreen}},
        {"drawn", false, 1, {1, 0, 1}, {kPurple, kGreen}, true, {kRed, kGreen, kPurple, kGreen}},
    };
    for (const Case& c : cases) {
        GifBuilder gif(4, 1, kCanvasTable);
        gif.pixels(0, 0, 4, 1, {1, 1, 1, 1});
        if (c.transparency)
            gif.control(true, 0);
        gif.pixels(c.left, 0, 3, 1, c.pixels, c.local);
        gif.pixels(0, 0, 1, 1, {1});
        BitmapList frames;
        composeGifFrames(parseGif(gif.done()), frames);
        ASSERT_EQ(frames.count(), 3) << c.what;
        for (int i : {1, 2})
            EXPECT_EQ(frames.get(i)->pixelFormat(),
                      c.trueColour ? PixelFormat::Bit24 : PixelFormat::Bit8)
                << c.what << " frame " << i;
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(frames.get(1)->pixel(x, 0), c.expected[static_cast<size_t>(x)])
                << c.what << " x " << x;
    }
}

// What Kestrix writes (a table per frame) reads back in the colours it was written in.
TEST(GifColours, ExportedAnimationReadsBack) {
    TempDir dir("gifback");
    BitmapList written;
    for (const Color& c : {kRed, kGreen, kBlue, kOrange})
        written.add(solidBitmap(c.b, c.g, c.r, 8, 6));
    exportAnimatedGif(dir.file("a.gif"), written, 100, nullptr);
    BitmapList read;
    loadGifFrames(dir.file("a.gif"), read);
    ASSERT_EQ(read.count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(rgbBytes(*read.get(i)) == rgbBytes(*written.get(i))) << "frame " << i;
}

// An animation whose frames turn from 8 to 24 bits is saved and read back frame for frame, each
// in its own format.
TEST(GifColours, MixedFramesSurviveTheFramesFile) {
    TempDir dir("gifmixed");
    FrameStore frames;
    composeGifFrames(parseGif(transparentOverLocalTables()), frames);
    ASSERT_EQ(frames.get(0)->pixelFormat(), PixelFormat::Bit8);
    ASSERT_EQ(frames.get(3)->pixelFormat(), PixelFormat::Bit24);
    ASSERT_EQ(saveToFile(frames, dir.file("a.ifrm"), nullptr), SaveOutcome::Complete);
    FrameStore read;
    loadFromFile(read, dir.file("a.ifrm"), nullptr);
    ASSERT_EQ(read.count(), frames.count());
    for (int i = 0; i < read.count(); ++i)
        EXPECT_TRUE(bitmapsEqual(*read.get(i), *frames.get(i))) << "frame " << i;
}

// 30 frames of 4000 x 4000 fit the budget in 8 bits but not once the second frame turns them
// into 24 bits: the decoder must refuse before allocating them.
TEST(GifColours, TrueColourFramesCountAgainstTheBudget) {
    GifBuilder gif(4000, 4000, {kBlack, kRed});
    gif.image(0, 0, 4000, 4000, gifLiteralData({0}));
    for (int i = 1; i < 30; ++i)
        gif.pixels(i, 0, 1, 1, {0}, {kPurple, kCyan});
    const DecodedGif decoded = parseGif(gif.done());
    BitmapList frames;
    frames.add(Bitmap(1, 1));
    try {
        composeGifFrames(decoded, frames);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "GIF animation too large");
    }
    EXPECT_EQ(frames.count(), 1) << "a refused GIF leaves the frame list alone";
}
