#include "WindowFixture.h"
#include "core/util/FileIO.h"
#include "gui/frames/FrameCounter.h"
#include "gui/widgets/PictureView.h"
#include "support/ImageBuilders.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap shade(uint8_t v, int w = 6, int h = 4) {
    return greyBitmap(v, w, h);
}

} // namespace

TEST_F(WindowTest, AnimatedGifExportAndImport) {
    start();
    FrameStore& store = window->frameStore();
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    // Nothing to export: the warning, no dialog, no file.
    find<QAction>("SaveAnimatedGIFMnu")->trigger();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"No Movie To Save"});
    EXPECT_TRUE(dialogs.fileDialogs.empty());

    for (uint8_t v : {40, 80, 120})
        store.addTimed(shade(v), 46000.5);
    counter->setMaxFrames(3);
    dialogs.files = {programDir.file("anim.gif")};
    find<QAction>("SaveAnimatedGIFMnu")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save Animated GIF");
    EXPECT_EQ(dialogs.fileDialogs.back().filter, "GIF Files|*.gif|All Files|*.*");
    EXPECT_EQ(readFileBytes(programDir.file("anim.gif")).substr(0, 6), "GIF89a");

    // Loading replaces the animation with the file's frames, stamped 0, once the user agrees to
    // drop the unsaved ones.
    store.addTimed(shade(1, 9, 9), 46000.7);
    counter->setMaxFrames(4);
    dialogs.answers = {Answer::No};
    dialogs.files = {programDir.file("anim.gif")};
    find<QAction>("LoadAnimatedGIF1")->trigger();
    ASSERT_EQ(store.count(), 3);
    EXPECT_EQ(store.time(0), 0.0);
    EXPECT_EQ(counter->maxFrames(), 3);
    EXPECT_EQ(store.get(0)->pixel(0, 0), (Color{40, 40, 40}));
    // Each frame reads back in the colours it was saved in.
    EXPECT_EQ(store.get(1)->pixel(0, 0), (Color{80, 80, 80}));
    EXPECT_EQ(store.get(2)->pixel(0, 0), (Color{120, 120, 120}));
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 6);

    // Not a GIF: the decoder's message; the store was emptied and the counter agrees.
    writeFileAtomically(programDir.file("bad.gif"), "GIF8 not really");
    dialogs.files = {programDir.file("bad.gif")};
    find<QAction>("LoadAnimatedGIF1")->trigger();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(counter->maxFrames(), 0);
}
