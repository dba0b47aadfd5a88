#include "WindowFixture.h"
#include "core/frames/FramesFile.h"
#include "core/image/BmpCodec.h"
#include "core/util/ByteReader.h"
#include "gui/frames/FrameCounter.h"
#include "gui/widgets/PictureView.h"
#include "support/ImageBuilders.h"

#include <QLabel>
#include <QProgressBar>

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap shadeFrame(uint8_t v, int w = 5, int h = 3) {
    return greyBitmap(v, w, h);
}

} // namespace

TEST_F(WindowTest, FramesAreSavedAndLoadedThroughTheMenu) {
    start();
    FrameStore& store = window->frameStore();
    for (uint8_t v : {10, 20, 30})
        store.addTimed(shadeFrame(v, 4 + v / 10), 46000.5);
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    counter->setMaxFrames(3);
    counter->setFrameIndex(2);

    dialogs.files = {programDir.file("shots.ifrm")};
    find<QAction>("SaveFrames1")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save Image Frames");
    EXPECT_EQ(dialogs.fileDialogs.back().fileName, "*.ifrm");
    EXPECT_TRUE(dialogs.fileDialogs.back().overwritePrompt);
    store.clear();
    counter->setMaxFrames(0);

    dialogs.files = {programDir.file("shots.ifrm")};
    find<QAction>("LoadFrames1")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Load Image Frames");
    EXPECT_EQ(store.count(), 3);
    EXPECT_EQ(counter->maxFrames(), 3);
    EXPECT_EQ(counter->frameIndex(), 0);
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 5);
    EXPECT_EQ(find<QLabel>("ImageTimeDis")->text(), "00:00:00"); // loaded frames carry 0.0
    EXPECT_EQ(find<QLabel>("ImageIntervalDis")->text(), "");     // no times, no interval
    EXPECT_EQ(find<QLabel>("AveIntervalDis")->text(), "");
    EXPECT_EQ(window->windowTitle(), "Mt. Saint Hellens (3) - Kestrix");

    // A cancelled dialog changes nothing.
    dialogs.files = {std::nullopt};
    find<QAction>("LoadFrames1")->trigger();
    EXPECT_EQ(store.count(), 3);
}

// Captured or edited frames are never dropped without a word: closing the window, "Load
// Frames..." and "Load Animated GIF..." ask first.
TEST_F(WindowTest, UnsavedFramesAreNotLostWithoutAQuestion) {
    start();
    FrameStore& store = window->frameStore();
    EXPECT_TRUE(requestClose()); // nothing captured: nothing asked
    EXPECT_TRUE(dialogs.asked.empty());

    store.addTimed(shadeFrame(10), 46000.5);
    dialogs.answers = {Answer::Cancel};
    EXPECT_FALSE(requestClose());
    EXPECT_EQ(dialogs.asked, std::vector<std::string>{"Save captured frames?"});

    dialogs.answers = {Answer::Cancel, Answer::Cancel};
    const size_t fileDialogs = dialogs.fileDialogs.size();
    find<QAction>("LoadFrames1")->trigger();
    find<QAction>("LoadAnimatedGIF1")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.size(), fileDialogs); // cancelled before any file dialog
    EXPECT_EQ(store.count(), 1);

    // Yes with the save dialog cancelled keeps the window open; a save lets it close.
    dialogs.answers = {Answer::Yes};
    dialogs.files = {std::nullopt};
    EXPECT_FALSE(requestClose());
    dialogs.answers = {Answer::Yes};
    dialogs.files = {programDir.file("kept.ifrm")};
    EXPECT_TRUE(requestClose());
    BitmapList kept;
    loadFromFile(kept, programDir.file("kept.ifrm"), nullptr);
    EXPECT_EQ(kept.count(), 1);

    // Saved frames ask nothing; a deleted frame is an edit again, and No drops it.
    dialogs.asked.clear();
    EXPECT_TRUE(requestClose());
    EXPECT_TRUE(dialogs.asked.empty());
    store.remove(0);
    store.addTimed(shadeFrame(30), 46000.6);
    dialogs.answers = {Answer::No};
    EXPECT_TRUE(requestClose());
    EXPECT_EQ(dialogs.asked.size(), 1u);
}

TEST_F(WindowTest, ABrokenFramesFileLeavesCounterAndStoreInStep) {
    std::string file;
    putU32(file, 3);
    for (uint8_t v : {1, 2}) {
        const std::string image = writeBmp(shadeFrame(v));
        putU32(file, static_cast<uint32_t>(image.size()));
        file += image;
    }
    putU32(file, 60);
    file += "XX" + std::string(58, '\0');
    writeFile(programDir.file("SHOTS.IFRM"), file);
    gui::MainWindow& w = start({QString::fromStdString(programDir.file("SHOTS.IFRM"))});
    w.openStartFile(); // a frames file named on the command line, in any letter case
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Bitmap image is not valid."});
    EXPECT_EQ(w.frameStore().count(), 2);
    EXPECT_EQ(find<gui::FrameCounter>("FrameCounter")->maxFrames(), 2);
}

TEST_F(WindowTest, AviExportFromTheMenu) {
    start();
    find<QAction>("SaveAviMnu")->trigger();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"No Movie To Save"});
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    FrameStore& store = window->frameStore();
    for (uint8_t v : {10, 120, 240})
        store.addTimed(shadeFrame(v, 32, 24), 46000.5);
    find<gui::FrameCounter>("FrameCounter")->setMaxFrames(3);
    dialogs.files = {programDir.file("movie.avi")};
    find<QAction>("SaveAviMnu")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save AVI Movie File");
    EXPECT_EQ(dialogs.fileDialogs.back().filter, "Windows Movie (AVI)|*.avi");
    const CommandResult probe =
        runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,width,height,nb_read_frames,r_frame_rate -of csv=p=0 " +
                   programDir.file("movie.avi"));
    EXPECT_EQ(probe.out, "mjpeg,32,24,10/1,3\n");
    EXPECT_EQ(find<QProgressBar>("Gauge1")->value(), 0);
}

TEST_F(WindowTest, Mp4ExportFromTheMenu) {
    start();
    find<QAction>("SaveMp4Mnu")->trigger();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"No Movie To Save"});
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    FrameStore& store = window->frameStore();
    for (uint8_t v : {10, 120, 240})
        store.addTimed(shadeFrame(v, 33, 24), 46000.5);
    find<gui::FrameCounter>("FrameCounter")->setMaxFrames(3);
    // The movie page's MP4 quality, as the settings dialog's OK leaves it.
    window->settings().mp4Quality = 0;
    dialogs.files = {programDir.file("movie.mp4")};
    find<QAction>("SaveMp4Mnu")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save MP4 Movie File");
    EXPECT_EQ(dialogs.fileDialogs.back().filter, "MP4 Movie (H.264)|*.mp4");
    EXPECT_EQ(dialogs.fileDialogs.back().defaultExtension, "mp4");
    const CommandResult probe =
        runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,width,height,nb_read_frames,r_frame_rate -of csv=p=0 " +
                   programDir.file("movie.mp4"));
    EXPECT_EQ(probe.out, "h264,34,24,10/1,3\n");
    EXPECT_EQ(find<QProgressBar>("Gauge1")->value(), 0);
}
