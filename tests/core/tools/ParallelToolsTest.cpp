// Frame work on 1, 2 and 8 threads: the same flaws, duplicates, average, resized pixels, GIF and
// frames file to the byte, and the progress reported in order.
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/tools/FrameCompare.h"
#include "core/tools/Resampler.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"
#include "support/ThreadsSetting.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// A camera's frames with what the tools look for: a flash, a black-bottomed frame, repeats, a
// palette frame and one of another size.
void cameraFrames(BitmapList& frames) {
    frames.clear();
    for (int i = 0; i < 37; ++i) {
        Bitmap frame = detailedFrame(96, 72, i % 9 == 4 ? 50 : i / 3);
        if (i == 11)
            frame.fill(Color{255, 255, 255});
        if (i == 20)
            frame.fillRect({0, 40, 96, 72}, Color{0, 0, 0});
        if (i == 30)
            frame.setPixelFormat(PixelFormat::Bit8);
        if (i == 33)
            frame = detailedFrame(80, 60, 33);
        frames.add(frame);
    }
}

struct Outcome {
    std::vector<int> flaws, duplicates, flawProgress, averageProgress, resizeProgress;
    PixelBytes average, resized, bigResize, motion;
    std::string gif, framesFile;
    std::vector<int> gifProgress;
    bool operator==(const Outcome&) const = default;
};

Outcome runTools() {
    Outcome o;
    BitmapList frames;
    cameraFrames(frames);
    TempDir dir("parallel");
    exportAnimatedGif(dir.file("a.gif"), frames, 100, [&](int v) { o.gifProgress.push_back(v); });
    o.gif = readFile(dir.file("a.gif"));
    // A frames file read back on many threads gives the frames in order.
    saveToFile(frames, dir.file("a.ifrm"), nullptr);
    BitmapList loaded;
    loadFromFile(loaded, dir.file("a.ifrm"), nullptr);
    saveToFile(loaded, dir.file("b.ifrm"), nullptr);
    o.framesFile = readFile(dir.file("b.ifrm"));
    o.flaws = findFlawedFrames(frames, {0.07, true}, [&](int i) { o.flawProgress.push_back(i); });
    cameraFrames(frames);
    o.duplicates = findDuplicateFrames(frames, nullptr);
    Bitmap mean;
    averageFrames(frames, mean, [&](int i) { o.averageProgress.push_back(i); });
    o.average = mean.pixelBytes();
    resizeFrames(frames, 50, 31, ResampleFilter::Lanczos3,
                 [&](int i) { o.resizeProgress.push_back(i); });
    for (int i = 0; i < frames.count(); ++i)
        o.resized.insert(o.resized.end(), frames.get(i)->pixelBytes().begin(),
                         frames.get(i)->pixelBytes().end());
    Bitmap big = detailedFrame(700, 530, 3);
    resizeBitmap(big, 333, 901, nullptr, ResampleFilter::Mitchell);
    o.bigResize = big.pixelBytes();
    Bitmap before = detailedFrame(700, 530, 4);
    differenceInto(before, big);
    o.motion = before.pixelBytes();
    return o;
}

} // namespace

TEST(ParallelTools, EveryThreadCountGivesTheSameResult) {
    Outcome one;
    {
        ThreadsSetting setting("1");
        one = runTools();
    }
    EXPECT_FALSE(one.flaws.empty());
    EXPECT_FALSE(one.duplicates.empty());
    EXPECT_TRUE(std::is_sorted(one.gifProgress.begin(), one.gifProgress.end()));
    std::vector<int> inOrder(37);
    for (int i = 0; i < 37; ++i)
        inOrder[static_cast<size_t>(i)] = i;
    EXPECT_EQ(one.flawProgress, inOrder);
    EXPECT_EQ(one.resizeProgress, inOrder);
    EXPECT_EQ(one.averageProgress, std::vector<int>(inOrder.begin() + 1, inOrder.end()));
    for (const char* threads : {"2", "8"}) {
        SCOPED_TRACE(threads);
        ThreadsSetting setting(threads);
        EXPECT_TRUE(runTools() == one);
    }
}
