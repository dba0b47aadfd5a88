#include "core/tools/FrameCompare.h"

#include "core/frames/FramesFile.h"
#include "core/image/BmpCodec.h"
#include "core/tools/SizeFields.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap solid(uint8_t b, uint8_t g, uint8_t r, int w = 8, int h = 6) {
    return solidBitmap(b, g, r, w, h);
}

Bitmap grey(uint8_t v, int w = 8, int h = 6) {
    return solid(v, v, v, w, h);
}

// A bright frame whose lowest `rows` rows are black (channels at most 3).
Bitmap blackBottom(int rows) {
    Bitmap b = grey(200, 16, 40);
    for (int y = 40 - rows; y < 40; ++y)
        std::fill(b.scanLine(y), b.scanLine(y) + 48, uint8_t{3});
    return b;
}

} // namespace

TEST(FrameCompare, DifferencesOverTheCommonArea) {
    Bitmap a = solid(10, 20, 30), b = solid(20, 20, 0);
    const auto mean = channelMeanDifference(a, b);
    EXPECT_EQ(mean[0], 10);
    EXPECT_EQ(mean[1], 0);
    EXPECT_EQ(mean[2], 30);
    EXPECT_DOUBLE_EQ(frameDifference(a, b), std::sqrt(1000.0) / 443.405006);
    EXPECT_DOUBLE_EQ(frameDifference(b, a), frameDifference(a, b));
    // A smaller frame: only the top-left area counts; the rest of the larger one is ignored.
    Bitmap big = grey(50, 40, 30), small = grey(60, 7, 5);
    big.fillRect({7, 0, 40, 30}, {255, 255, 255});
    EXPECT_DOUBLE_EQ(frameDifference(big, small), std::sqrt(300.0) / 443.405006);
    Bitmap empty;
    EXPECT_EQ(frameDifference(big, empty), 0.0);
    // Lengths that are not multiples of the vector block still sum every byte.
    Bitmap odd1 = grey(0, 37, 3), odd2 = grey(0, 37, 3);
    odd2.scanLine(2)[36 * 3 + 2] = 111; // the last red byte
    EXPECT_DOUBLE_EQ(channelMeanDifference(odd1, odd2)[2], 111.0 / (37 * 3));
    // Palette frames are compared as 24-bit.
    Bitmap pal(4, 4, PixelFormat::Bit8);
    pal.setPalette({{30, 20, 10}});
    Bitmap same = solid(10, 20, 30, 4, 4);
    EXPECT_EQ(frameDifference(pal, same), 0.0);
    EXPECT_EQ(pal.pixelFormat(), PixelFormat::Bit24);

    Bitmap motion = grey(100);
    Bitmap before = grey(40, 4, 4);
    differenceInto(motion, before);
    EXPECT_EQ(motion.scanLine(3)[11], 60);
    EXPECT_EQ(motion.scanLine(5)[23], 100); // outside the common area: unchanged
}

TEST(FrameCompare, FlawsAndBlackFrames) {
    // First and last frames equal: the middle is flawed exactly when it differs from them by
    // more than the threshold.
    for (auto [shade, flawed] : {std::pair{120, true}, std::pair{102, false}}) {
        FrameStore frames;
        frames.add(grey(100));
        frames.add(grey(static_cast<uint8_t>(shade)));
        frames.add(grey(100));
        const double d = std::sqrt(3.0) * (shade - 100) / 443.405006;
        EXPECT_EQ(isFlawedFrame(frames, 1, {0.07, false}), d > 0.07) << shade;
        EXPECT_EQ(isFlawedFrame(frames, 1, {0.07, false}), flawed);
    }
    // The last frame's lower 20 rows black: flawed with black frames on; 15 rows are not enough.
    for (auto [rows, flawed] : {std::pair{20, true}, std::pair{15, false}}) {
        FrameStore frames;
        frames.add(blackBottom(rows));
        frames.add(blackBottom(rows));
        frames.add(blackBottom(rows));
        EXPECT_EQ(isFlawedFrame(frames, 2, {0.07, true}), flawed) << rows;
        EXPECT_FALSE(isFlawedFrame(frames, 2, {0.07, false}));
        EXPECT_EQ(bottomBlackRows(*frames.get(2)), rows);
    }
    Bitmap allBlack = grey(0, 3, 9);
    EXPECT_EQ(bottomBlackRows(allBlack), 9);
    // The scan finds the same frames as judging each one on its own.
    FrameStore run;
    for (uint8_t v : {100, 100, 160, 100, 100, 30, 100})
        run.add(grey(v));
    std::vector<int> oneByOne;
    for (int a = 0; a < run.count(); ++a)
        if (isFlawedFrame(run, a, {0.07, true}))
            oneByOne.push_back(a);
    EXPECT_EQ(findFlawedFrames(run, {0.07, true}, nullptr), oneByOne);
    EXPECT_EQ(oneByOne, (std::vector<int>{2, 5}));
    FrameStore two;
    two.add(grey(0));
    two.add(grey(255));
    EXPECT_TRUE(findFlawedFrames(two, {0.07, true}, nullptr).empty());
}

TEST(FrameCompare, DuplicatesAndListText) {
    FrameStore frames;
    const Bitmap a = grey(1), b = grey(2), c = grey(3);
    for (const Bitmap* f : {&a, &b, &b, &a, &c})
        frames.add(*f);
    std::vector<int> found = findDuplicateFrames(frames, nullptr);
    EXPECT_EQ(found, (std::vector<int>{2, 3}));
    EXPECT_EQ(listText(found), "3,4,");
    EXPECT_EQ(duplicateQuestion(found),
              "The following Duplicate Frames were found\r\n\r\n3,4,\r\n\r\nDelete All?");
    FrameStore three;
    for (int i = 0; i < 3; ++i)
        three.add(a);
    EXPECT_EQ(listText(findDuplicateFrames(three, nullptr)), "2,3,");
    // Same pixels in another format are not duplicates.
    FrameStore formats;
    formats.add(a);
    Bitmap eight = a;
    eight.setPixelFormat(PixelFormat::Bit8);
    formats.add(eight);
    EXPECT_TRUE(findDuplicateFrames(formats, nullptr).empty());

    EXPECT_EQ(listText({2, 6, 11}), "3,7,12,");
    std::vector<int> evens;
    for (int i = 0; i < 60; i += 2)
        evens.push_back(i);
    EXPECT_EQ(listText(evens), "1,3,5,7,9,11,13,15,17,19,21,23,25,27,29,31\r\n"
                               "33,35,37,39,41,43,45,47,49,51,53,55,57\r\n59,");
    std::vector<int> wide;
    for (int i = 100; i < 130; ++i)
        wide.push_back(i);
    EXPECT_EQ(listText(wide), "101,102,103,104,105,106,107,108,109,110,111\r\n112,113,114,115,"
                              "\r\n116,117,118,119,120,121\r\n122,\r\n123,124,125,126,127,128,"
                              "129,\r\n130\r\n");
    EXPECT_EQ(flawQuestion({0}),
              "The following Flawed Frames were found\r\n\r\n1,\r\n\r\nDelete All?");
}

TEST(FrameCompare, Averaging) {
    FrameStore frames;
    frames.add(grey(0));
    frames.add(grey(255));
    Bitmap mean;
    averageFrames(frames, mean, nullptr);
    EXPECT_EQ(mean.scanLine(0)[0], 127);
    FrameStore one;
    one.add(solid(1, 2, 3));
    averageFrames(one, mean, nullptr);
    EXPECT_EQ(mean.pixel(0, 0), (Color{3, 2, 1}));
    FrameStore none;
    averageFrames(none, mean, nullptr);
    EXPECT_TRUE(mean.empty());
    // Running mean, rounding down at each step: (0 + 9) / 2 = 4, then (6 + 4 x 2) / 3 = 4.
    FrameStore run;
    for (uint8_t v : {0, 9, 6})
        run.add(grey(v));
    averageFrames(run, mean, nullptr);
    EXPECT_EQ(mean.scanLine(0)[0], 4);
}

TEST(SizeFields, Arithmetic) {
    struct Case {
        int w, h;
        SizeUnits units;
        std::vector<int> steps; // increments, signed
        const char* text;
    } cases[] = {
        {640, 480, SizeUnits::Percent, {10}, " 704 x 528"},
        {640, 480, SizeUnits::Percent, {-10, -10}, " 512 x 384"},
        {640, 480, SizeUnits::Pixels, {50}, " 690 x 518"},
        {640, 480, SizeUnits::Pixels, {20}, " 660 x 495"},
        {300, 1, SizeUnits::Percent, {}, " 300 x 5"},
        {640, 480, SizeUnits::Percent, {-50, -50, -50}, " 5 x 5"},
        {2000, 10, SizeUnits::Pixels, {-50}, " 1950 x 10"},
        {2000, 10, SizeUnits::Percent, {-50, -30}, " 400 x 5"},
    };
    for (const auto& c : cases) {
        SizeFields f;
        f.resetSizeFields(c.w, c.h);
        for (int s : c.steps)
            f.stepSizeChange(std::abs(s), s < 0 ? -1 : 1);
        f.computeNewSize(c.units);
        EXPECT_EQ(f.imageSizeText(), c.text) << c.w << "x" << c.h;
    }
    SizeFields f;
    f.resetSizeFields(640, 0);
    EXPECT_EQ(f.aspectRatio, 1.0);
    f.stepSizeChange(10, -1);
    EXPECT_EQ(f.changeText(), " -10");
    EXPECT_EQ(filterForSharpness(0), ResampleFilter::BSpline);
    EXPECT_EQ(filterForSharpness(1), ResampleFilter::Mitchell);
    EXPECT_EQ(filterForSharpness(2), ResampleFilter::Lanczos3);
}

TEST(FrameCompare, CommandLine) {
    TempDir dir;
    writeFile(dir.file("a.bmp"), writeBmp(grey(100)));
    writeFile(dir.file("b.bmp"), writeBmp(blackBottom(20)));
    const std::string cli = std::string(KESTRIX_CLI);
    CommandResult r = runCommand(cli + " compare " + dir.file("a.bmp") + " " + dir.file("a.bmp"));
    EXPECT_EQ(r.out, "0.000000 0\n");
    r = runCommand(cli + " motion " + dir.file("a.bmp") + " " + dir.file("b.bmp") + " " +
                   dir.file("m.bmp"));
    EXPECT_EQ(r.status, 0);

    FrameStore frames;
    for (uint8_t v : {1, 2, 2, 1, 3})
        frames.add(grey(v));
    saveToFile(frames, dir.file("in.ifrm"), nullptr);
    r = runCommand(cli + " frames dups " + dir.file("in.ifrm") + " --delete " +
                   dir.file("out.ifrm"));
    EXPECT_EQ(r.out, "3,4,\n");
    r = runCommand(cli + " frames dups " + dir.file("out.ifrm"));
    EXPECT_EQ(r.out, "No Duplicates Found\n");
    r = runCommand(cli + " frames flaws " + dir.file("out.ifrm") + " --no-black");
    EXPECT_EQ(r.out, "No Flaws Found\n");
    r = runCommand(cli + " frames average " + dir.file("out.ifrm") + " " + dir.file("avg.bmp"));
    EXPECT_EQ(r.status, 0);
    Bitmap avg;
    readBmp(readFile(dir.file("avg.bmp")), avg);
    EXPECT_EQ(avg.scanLine(0)[0], 1); // (2 + 1) div 2 = 1, then (3 + 1 x 2) div 3 = 1
}
