#include "WindowFixture.h"
#include "gui/controls/UpDownButton.h"
#include "gui/frames/FrameCounter.h"
#include "gui/tools/PictureDisplay.h"
#include "gui/tools/SizeCommands.h"
#include "gui/widgets/PictureView.h"
#include "gui/widgets/RadioGroup.h"
#include "support/ImageBuilders.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap grey(uint8_t v, int w = 8, int h = 6) {
    return greyBitmap(v, w, h);
}

} // namespace

TEST_F(WindowTest, RemoveDuplicatesAndFlawsAskBeforeDeleting) {
    start();
    FrameStore& store = window->frameStore();
    for (uint8_t v : {1, 2, 2, 1, 3})
        store.addTimed(grey(v), v);
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    counter->setMaxFrames(5);
    dialogs.answers = {Answer::No};
    find<QPushButton>("DupBtn")->click();
    EXPECT_EQ(dialogs.asked.back(),
              "The following Duplicate Frames were found\r\n\r\n3,4,\r\n\r\nDelete All?");
    EXPECT_EQ(store.count(), 5);
    dialogs.answers = {Answer::Yes};
    find<QPushButton>("DupBtn")->click();
    ASSERT_EQ(store.count(), 3);
    EXPECT_EQ(store.get(2)->scanLine(0)[0], 3);
    EXPECT_EQ(counter->maxFrames(), 3);
    find<QPushButton>("DupBtn")->click();
    EXPECT_EQ(dialogs.messages.back(), "No Duplicates Found");

    find<QPushButton>("FlawsBtn")->click(); // 1, 2, 3: nothing stands out
    EXPECT_EQ(dialogs.messages.back(), "No Flaws Found");
    store.addTimed(grey(250), 9);
    store.addTimed(grey(3), 10);
    counter->setMaxFrames(5);
    window->settings().flawThreshold = 0.07;
    dialogs.answers = {Answer::Yes};
    find<QPushButton>("FlawsBtn")->click();
    EXPECT_EQ(dialogs.asked.back(),
              "The following Flawed Frames were found\r\n\r\n4,\r\n\r\nDelete All?");
    EXPECT_EQ(store.count(), 4);
}

TEST_F(WindowTest, AverageAndDiagnosticReadout) {
    start();
    FrameStore& store = window->frameStore();
    store.addTimed(grey(0), 1);
    store.addTimed(grey(255), 2);
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    counter->setMaxFrames(2);
    find<QPushButton>("AverageBtn")->click();
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().scanLine(0)[0], 127);
    EXPECT_EQ(store.count(), 2); // the average is not added

    // The hidden button appears with a Shift+click on the group box.
    auto* diff = find<QPushButton>("DiffBtn");
    EXPECT_TRUE(diff->isHidden());
    QTest::mouseClick(find<QWidget>("AnimationGroup"), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_FALSE(diff->isHidden());
    counter->setFrameIndex(0);
    diff->click();
    EXPECT_EQ(window->windowTitle(), "Mt. Saint Hellens (2) - Kestrix"); // nothing at frame 0
    counter->setFrameIndex(1);
    diff->click();
    EXPECT_EQ(window->windowTitle(), "1.00 0"); // 255 x sqrt(3) / 443.405006 = 0.996
}

TEST_F(WindowTest, SizePagePreviewsAndResizesAll) {
    start();
    gui::MainWindow& w = *window;
    Bitmap picture = grey(90, 640, 480);
    w.display().showImage(picture);
    w.showImageInfo();
    EXPECT_EQ(find<QLabel>("ImageSizeDis")->text(), " 640 x 480");
    auto* spin = find<gui::UpDownButton>("IncSpin");
    emit spin->onUpClick();
    EXPECT_EQ(find<QLabel>("ImageSizeDis")->text(), " 704 x 528");
    EXPECT_EQ(find<QLabel>("PercentDis")->text(), " 10");
    find<gui::RadioGroup>("UnitsRadio")->setItemIndex(1);
    emit find<gui::RadioGroup>("UnitsRadio")->itemClicked(1);
    EXPECT_EQ(find<QLabel>("IncUnitsDis")->text(), "Pixels");
    EXPECT_EQ(find<QLabel>("ImageSizeDis")->text(), " 650 x 488");

    // "Resize" twice: the second works on the unresized picture again.
    find<QPushButton>("ResizeBtn")->click();
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 650);
    EXPECT_TRUE(find<QCheckBox>("ActualSizeChk")->isChecked());
    EXPECT_FALSE(find<QScrollArea>("ScrollBox1")->widgetResizable());
    emit spin->onDownClick();
    emit spin->onDownClick();
    find<QPushButton>("ResizeBtn")->click();
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 630);
    EXPECT_EQ(w.display().shownOriginal().width(), 640);
    // " Img. Size:" names the previewed picture; the size fields keep the chosen size.
    EXPECT_EQ(find<QLabel>("BMSizeDis")->text(), "630x472");
    EXPECT_EQ(find<QLabel>("ImageSizeDis")->text(), " 630 x 472");

    find<QPushButton>("ResetSizeBtn")->click();
    EXPECT_EQ(find<QLabel>("ImageSizeDis")->text(), " 640 x 480");

    FrameStore& store = w.frameStore();
    store.addTimed(grey(10, 320, 240), 1);
    store.addTimed(grey(20, 100, 100), 2);
    find<gui::FrameCounter>("FrameCounter")->setMaxFrames(2);
    emit spin->onUpClick(); // pixels, +10: 650 x 488
    dialogs.answers = {Answer::Yes};
    find<QPushButton>("ResizeAllBtn")->click();
    EXPECT_EQ(dialogs.asked.back(), "Permanently Modify Images?");
    EXPECT_EQ(store.get(0)->width(), 650);
    EXPECT_EQ(store.get(1)->height(), 488);
    // The frame shown again resets the fields to its new size.
    EXPECT_EQ(find<QLabel>("ImageSizeDis")->text(), " 650 x 488");

    // An empty picture cannot be resized: the message, and nothing else changes.
    Bitmap empty;
    w.display().showImage(empty);
    find<QPushButton>("ResizeBtn")->click();
    EXPECT_EQ(dialogs.messages.back(), "Source bitmap too small.");
}
