#include "gui/tools/PictureDisplay.h"

#include "WindowFixture.h"
#include "core/tools/BCG.h"
#include "gui/widgets/PictureView.h"
#include "support/ImageBuilders.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

using namespace kestrix;
using namespace kestrix::test;

TEST_F(WindowTest, BarsPreviewFromTheUnadjustedCopy) {
    start();
    gui::PictureDisplay& display = window->display();
    auto* image = find<gui::PictureView>("Image1");
    auto* brightness = find<QSlider>("BrightnessBar");
    Bitmap picture = rampBitmap(6, 4);
    display.showImage(picture);
    EXPECT_EQ(image->picture().pixelBytes(), picture.pixelBytes());

    brightness->setValue(60);
    const LookupTable t = buildLookupTable(0.6, 0.5, 0.5);
    EXPECT_EQ(image->picture().scanLine(1)[5], t[picture.scanLine(1)[5]]);
    EXPECT_EQ(find<QLabel>("BrightDis")->text(), "0.6");
    EXPECT_EQ(find<QLabel>("ContrastDis")->text(), "0.5");
    EXPECT_EQ(find<QLabel>("GammaDis")->text(), "0.5");
    EXPECT_EQ(display.shownOriginal().pixelBytes(), picture.pixelBytes());
    brightness->setValue(50); // back to neutral: the original look
    EXPECT_EQ(image->picture().pixelBytes(), picture.pixelBytes());

    // A new image with "Apply To All Frames" off: unadjusted, bars back to 50 silently.
    brightness->setValue(70);
    find<QSlider>("GammaBar")->setValue(40);
    EXPECT_EQ(find<QLabel>("GammaDis")->text(), "0.4");
    Bitmap next = rampBitmap(3, 3);
    display.showImage(next);
    EXPECT_EQ(image->picture().pixelBytes(), next.pixelBytes());
    EXPECT_EQ(brightness->value(), 50);
    EXPECT_EQ(find<QLabel>("BrightDis")->text(), "0.7"); // panels keep their text

    // With "Apply To All Frames" on, the bars stay and every shown image is adjusted.
    find<QCheckBox>("AllFramesChk")->setChecked(true);
    brightness->setValue(60);
    display.showImage(next);
    EXPECT_EQ(brightness->value(), 60);
    EXPECT_EQ(image->picture().scanLine(0)[2], t[next.scanLine(0)[2]]);
    EXPECT_EQ(display.shownOriginal().pixelBytes(), next.pixelBytes());

    find<QPushButton>("ResetBCGBtn")->click();
    EXPECT_EQ(brightness->value(), 50);
    EXPECT_EQ(find<QLabel>("BrightDis")->text(), "0.5");
    EXPECT_EQ(image->picture().pixelBytes(), next.pixelBytes());
}

TEST_F(WindowTest, PermanentAdjustsEveryStoredFrameAfterAsking) {
    start();
    FrameStore& store = window->frameStore();
    store.addTimed(rampBitmap(4, 2), 1.0);
    Bitmap eight(2, 2, PixelFormat::Bit8);
    eight.setPalette({{100, 100, 100}});
    store.addTimed(eight, 2.0);
    find<QSlider>("BrightnessBar")->setValue(60);
    const LookupTable t = buildLookupTable(0.6, 0.5, 0.5);
    const Bitmap before = *store.get(0);

    dialogs.answers = {Answer::No};
    find<QPushButton>("BCGAllBtn")->click();
    EXPECT_EQ(store.get(0)->pixelBytes(), before.pixelBytes());

    dialogs.answers = {Answer::Yes};
    find<QPushButton>("BCGAllBtn")->click();
    EXPECT_EQ(dialogs.asked, std::vector<std::string>(2, "Permanently Modify Images?"));
    EXPECT_EQ(store.get(0)->scanLine(1)[3], t[before.scanLine(1)[3]]);
    EXPECT_EQ(store.get(1)->pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(store.get(1)->pixel(1, 1), (Color{t[100], t[100], t[100]}));
    EXPECT_EQ(find<QProgressBar>("Gauge1")->value(), 0);
}

// "Keep Proportions" fits the picture without distortion, centred; without it the picture is
// stretched over the whole view, as documented.
TEST(PictureViewFit, KeepProportionsCentresTheFittedPicture) {
    gui::PictureView view;
    view.resize(100, 100);
    view.setPicture(solidBitmap(0, 0, 255, 40, 10));
    const auto colourAt = [&view](int x, int y) { return view.grab().toImage().pixelColor(x, y); };
    EXPECT_EQ(colourAt(50, 5), QColor(255, 0, 0));
    view.setKeepProportions(true);
    EXPECT_EQ(colourAt(50, 50), QColor(255, 0, 0));
    EXPECT_EQ(colourAt(50, 5), view.palette().color(QPalette::Window));
    EXPECT_EQ(colourAt(50, 94), view.palette().color(QPalette::Window));
}
