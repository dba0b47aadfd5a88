#include "WindowFixture.h"
#include "gui/acquire/AcquisitionPresenter.h"
#include "gui/controls/RealSpin.h"
#include "gui/frames/FrameCounter.h"
#include "gui/widgets/PictureView.h"
#include "support/ImageBuilders.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace kestrix;
using namespace kestrix::test;

namespace {

Bitmap solid(uint8_t v, int w = 4, int h = 3) {
    return greyBitmap(v, w, h);
}

double at(int h, int m, int s) {
    return 46364 + (h * 3600 + m * 60 + s) / 86400.0;
}

} // namespace

TEST(FrameCounter, PositionCountAndButtons) {
    gui::FrameCounter counter;
    counter.setShowCount(true);
    QSignalSpy changes(&counter, &gui::FrameCounter::onChange);
    QSignalSpy maxChanges(&counter, &gui::FrameCounter::onMaxChange);
    counter.setMaxFrames(0);
    EXPECT_EQ(counter.caption(), "");
    counter.next();
    EXPECT_EQ(changes.count(), 0);

    counter.setMaxFrames(12);
    counter.setFrameIndex(2);
    EXPECT_EQ(counter.caption(), "3/12");
    counter.setFrameIndex(12); // out of range: ignored
    EXPECT_EQ(counter.frameIndex(), 2);
    counter.last();
    counter.next(); // wrap off: stays, no event
    EXPECT_EQ(counter.frameIndex(), 11);
    EXPECT_EQ(changes.count(), 1);
    counter.setWrap(true);
    counter.next();
    EXPECT_EQ(counter.frameIndex(), 0);
    counter.prior();
    EXPECT_EQ(counter.frameIndex(), 11);
    counter.setMaxFrames(5); // the position follows the new last frame
    EXPECT_EQ(counter.frameIndex(), 4);
    EXPECT_EQ(counter.caption(), "5/5");
    const int before = static_cast<int>(maxChanges.count());
    counter.setMaxFrames(5); // unchanged, but still announced
    EXPECT_EQ(maxChanges.count(), before + 1);
    counter.setShowCount(false);
    EXPECT_EQ(counter.caption(), "5");
}

TEST(FrameCounter, KeepsItsHeightInATallLayout) {
    // A layout with room to spare must not stretch the panel: the square buttons
    // would grow with it and cover the caption.
    QWidget page;
    auto* layout = new QVBoxLayout(&page);
    auto* counter = new gui::FrameCounter(&page);
    layout->addWidget(counter);
    page.resize(320, 400);
    page.show();
    QApplication::processEvents();
    EXPECT_LE(counter->height(), 24);
    const auto buttons = counter->findChildren<QToolButton*>();
    ASSERT_EQ(buttons.size(), 4);
    const QRect caption = counter->findChild<QLabel*>()->geometry();
    for (const QToolButton* b : buttons) {
        EXPECT_LE(b->height(), counter->height());
        EXPECT_FALSE(b->geometry().intersects(caption)) << b->objectName().toStdString();
    }
}

TEST_F(WindowTest, FramesShowWithTheirTimeData) {
    start();
    FrameStore& store = window->frameStore();
    Acquisition& cycle = window->acquisition().cycle();
    store.addTimed(solid(10), at(10, 0, 0));
    store.addTimed(solid(20, 6, 2), at(10, 1, 15));
    store.addTimed(solid(30), at(10, 3, 15));
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    counter->setMaxFrames(3);
    EXPECT_EQ(window->windowTitle(), "Mt. Saint Hellens (3) - Kestrix");
    cycle.showFrame(1);
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 6);
    EXPECT_EQ(find<QLabel>("ImageTimeDis")->text(), "10:01:15");
    EXPECT_EQ(find<QLabel>("ImageIntervalDis")->text(), "01:15");
    EXPECT_EQ(find<QLabel>("AveIntervalDis")->text(), "01:37");
    EXPECT_EQ(find<QLabel>("BMSizeDis")->text(), "6x2");
    cycle.showFrame(0); // the first frame shows the interval to the next
    EXPECT_EQ(find<QLabel>("ImageIntervalDis")->text(), "01:15");

    // Deleting the current last frame moves the counter back and shows the new last frame.
    counter->setFrameIndex(2);
    find<QToolButton>("DelPointBtn")->click();
    EXPECT_EQ(store.count(), 2);
    EXPECT_EQ(counter->maxFrames(), 2);
    EXPECT_EQ(counter->frameIndex(), 1);
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 6);

    // Erasing asks first; No leaves everything.
    dialogs.answers = {Answer::No};
    find<QToolButton>("ClearBtn")->click();
    EXPECT_EQ(store.count(), 2);
    cycle.lastImage = solid(1);
    cycle.lastUrl = "http://x";
    cycle.urlChanged = false;
    cycle.lastWasAnimation = true;
    dialogs.answers = {Answer::Yes};
    find<QToolButton>("ClearBtn")->click();
    EXPECT_EQ(dialogs.asked.back(), "About to erase all animation frames. Are you sure?");
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(counter->maxFrames(), 0);
    EXPECT_EQ(cycle.lastImage.width(), 0);
    EXPECT_EQ(cycle.lastUrl, "");
    EXPECT_TRUE(cycle.urlChanged);
    EXPECT_FALSE(cycle.lastWasAnimation);
    EXPECT_EQ(window->windowTitle(), "Mt. Saint Hellens (0) - Kestrix");
    find<QToolButton>("DelPointBtn")->click(); // nothing to delete
    EXPECT_EQ(counter->maxFrames(), 0);
}

TEST_F(WindowTest, PlaybackPassesLoopsAndAborts) {
    start();
    FrameStore& store = window->frameStore();
    Acquisition& cycle = window->acquisition().cycle();
    for (uint8_t v : {10, 20, 30})
        store.addTimed(solid(v), 0);
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    counter->setMaxFrames(3);
    find<gui::RealSpin>("FPSSpin")->setValue(200);

    std::vector<int> shown;
    QObject::connect(find<gui::PictureView>("Image1"), &gui::PictureView::pictureChanged, [&] {
        shown.push_back(find<gui::PictureView>("Image1")->picture().scanLine(0)[0]);
    });
    cycle.playAnimation();
    EXPECT_EQ(shown, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(counter->frameIndex(), 2);
    EXPECT_FALSE(cycle.playing);

    // Looping: each tick that finds no pass running starts one; "Abort Animation" ends the
    // running pass after its wait and releases the loop button.
    auto* loop = find<QToolButton>("LoopBtn");
    loop->setChecked(true);
    shown.clear();
    QTimer::singleShot(0, [&] { find<QToolButton>("AnimateAbortBtn")->click(); });
    cycle.onClockTick();
    EXPECT_EQ(shown, std::vector<int>{10});
    EXPECT_FALSE(loop->isChecked());
    cycle.onClockTick();
    EXPECT_EQ(shown.size(), 1u);

    // Frames deleted during a pass are skipped, nothing outside the store is read.
    shown.clear();
    QTimer::singleShot(0, [&] {
        store.remove(2);
        store.remove(1);
    });
    cycle.playAnimation();
    EXPECT_EQ(shown, std::vector<int>{10});

    // An empty store: the pass sets and clears Playing and shows nothing.
    store.clear();
    shown.clear();
    cycle.playAnimation();
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(cycle.playing);
}

TEST_F(WindowTest, MotionDetectionShowsTheDifferenceToThePreviousFrame) {
    start();
    FrameStore& store = window->frameStore();
    store.addTimed(solid(10), 0);
    store.addTimed(solid(25), 0);
    find<gui::FrameCounter>("FrameCounter")->setMaxFrames(2);
    auto* motion = find<QCheckBox>("DifferenceChk");
    motion->click();
    const Bitmap& shown = find<gui::PictureView>("Image1")->picture();
    EXPECT_EQ(shown.scanLine(0)[0], 15); // frame 0 shows the motion view of frame 1
    window->acquisition().cycle().showFrame(1);
    EXPECT_EQ(shown.scanLine(2)[11], 15);
    EXPECT_EQ(store.get(1)->scanLine(0)[0], 25); // the stored frames stay as they were
}
