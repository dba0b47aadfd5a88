#include "WindowFixture.h"
#include "core/image/BmpCodec.h"
#include "core/settings/IniFile.h"
#include "core/watch/PictureArchive.h"
#include "gui/acquire/AcquisitionPresenter.h"
#include "gui/frames/FrameCounter.h"
#include "gui/links/LinkPane.h"
#include "gui/links/LinkTreeModel.h"
#include "gui/links/LinkTreeView.h"
#include "gui/widgets/PictureView.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::string bmpBody(uint8_t shade, int w = 8, int h = 6) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        std::fill(b.scanLine(y), b.scanLine(y) + w * 3, shade);
    return writeBmp(b);
}

// A three-frame animation: a full first frame, then two 2 x 2 patches.
std::string animation(uint8_t first) {
    const std::vector<Color> table{{first, 0, 0}, {0, 200, 0}, {0, 0, 200}, {9, 9, 9}};
    return GifBuilder(4, 4, table)
        .pixels(0, 0, 4, 4, std::vector<uint8_t>(16, 0))
        .pixels(0, 0, 2, 2, {1, 1, 1, 1})
        .pixels(2, 2, 2, 2, {2, 2, 2, 2})
        .done();
}

class LoaderTest : public WindowTest {
protected:
    ScriptedServer server;
    FixedClock clock{46364.5, 1};
    std::vector<std::string> bodies; // the body served to each connection, the last one repeated

    void SetUp() override {
        WindowTest::SetUp();
        start({}, &clock);
        server.respond([this](int i, const std::string&) {
            const std::string& body = bodies.at(std::min<size_t>(i, bodies.size() - 1));
            return Reply(httpResponse("200 OK", body));
        });
    }
    Acquisition& cycle() { return window->acquisition().cycle(); }
    void setAddress(const std::string& path) {
        find<QComboBox>("URLCombo")->setEditText(QString::fromStdString(server.url(path)));
    }
    void manualLoad() { find<QToolButton>("ManualBtn")->click(); }
    QString text(const char* label) { return find<QLabel>(label)->text(); }
    int frames() { return window->frameStore().count(); }
    // Ticks the clock every `everyMs` while `body` runs; answers the number of ticks.
    int tickingWhile(int everyMs, const std::function<void()>& body) {
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            cycle().onClockTick();
        });
        timer.start(everyMs);
        body();
        return ticks;
    }
};

} // namespace

TEST_F(LoaderTest, NewImagesAreShownAndCapturedDuplicatesAreNot) {
    bodies = {bmpBody(50), bmpBody(50), bmpBody(90, 10, 4)};
    setAddress("/cam.bmp");
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "");
    EXPECT_EQ(text("BMSizeDis"), "8x6");
    EXPECT_EQ(frames(), 1);
    EXPECT_EQ(find<gui::FrameCounter>("FrameCounter")->caption(), "1/1");
    EXPECT_EQ(window->windowTitle(), "Mt. Saint Hellens (1) - Kestrix");
    EXPECT_EQ(text("ReadingDis"), QString::number(bodies[0].size()));
    cycle().onClockTick();
    EXPECT_EQ(text("StatusDis"), "Image Received - New");
    EXPECT_EQ(find<QLabel>("StatusDis")->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(text("AgeDis"), "0:00");
    EXPECT_EQ(text("GMTDis"), "12:00:00");

    clock.advanceMs(7000);
    manualLoad();
    cycle().onClockTick();
    EXPECT_EQ(text("StatusDis"), "Image Received - Duplicate");
    EXPECT_EQ(frames(), 1);
    EXPECT_EQ(text("AgeDis"), "0:07"); // a duplicate does not reset the age

    manualLoad();
    EXPECT_EQ(frames(), 2);
    EXPECT_EQ(text("BMSizeDis"), "10x4");
    EXPECT_EQ(find<gui::FrameCounter>("FrameCounter")->frameIndex(), 1);
    cycle().onClockTick();
    EXPECT_EQ(text("AgeDis"), "0:00");
    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_EQ(server.requests()[0].rfind("GET /cam.bmp HTTP/1.0\r\nHost: 127.0.0.1:" +
                                             std::to_string(server.port()) + "\r\n",
                                         0),
              0u);
}

TEST_F(LoaderTest, StatusWhileLoadingAndAfterAFailure) {
    server.respond([](int i, const std::string&) {
        if (i == 0)
            return Reply(httpResponse("404 Not Found", "<html>gone</html>")).after(150);
        return Reply(httpResponse("200 OK", bmpBody(10)));
    });
    setAddress("/cam.bmp");
    QString during;
    QColor colour;
    QTimer::singleShot(40, [&] {
        cycle().onClockTick();
        during = text("StatusDis");
        colour = find<QLabel>("StatusDis")->palette().color(QPalette::WindowText);
    });
    manualLoad();
    EXPECT_EQ(during, "Loading Data 1 . ");
    EXPECT_EQ(colour, QColor(255, 0, 0));
    EXPECT_EQ(text("ErrorDis"), "HTTP 404 Not Found");
    EXPECT_EQ(frames(), 0);
    cycle().onClockTick();
    EXPECT_EQ(text("StatusDis"), "");
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "");
    EXPECT_EQ(frames(), 1);

    // An empty address fails with the client's text; so does a bad macro.
    find<QComboBox>("URLCombo")->setEditText("");
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "Empty URL");
    find<QComboBox>("URLCombo")->setEditText("http://h/<date>5e,yy</date>");
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "'5e' is not a valid floating point value");
    EXPECT_FALSE(cycle().loading);
}

TEST_F(LoaderTest, ASilentServerIsCancelledAtTickSixtyOne) {
    window->settings().timeOut = 60;
    server.respond([](int, const std::string&) { return Reply().thenStall(); });
    setAddress("/cam.bmp");
    int cancelTick = 0;
    QString statusAtCancel;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        cycle().onClockTick();
        if (cancelTick == 0 && window->acquisition().httpClient().canceled()) {
            cancelTick = cycle().loadTicks;
            statusAtCancel = text("StatusDis");
        }
    });
    timer.start(1);
    manualLoad();
    timer.stop();
    EXPECT_EQ(cancelTick, 61);
    EXPECT_EQ(statusAtCancel, "Loading Data 61 . ");
    EXPECT_EQ(text("ErrorDis"), "Socket readln aborted");
    // The next fetch works normally.
    server.respond(
        [](int, const std::string&) { return Reply(httpResponse("200 OK", bmpBody(33))); });
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "");
}

TEST_F(LoaderTest, ATransferThatKeepsGrowingIsNeverCancelled) {
    // A byte every 3 ms for about 400 ms, ticks every 40 ms: the transfer outlasts the time-out
    // of 4 ticks while only a pause of 160 ms (a machine under load) would end it.
    window->settings().timeOut = 4;
    const std::string body = bmpBody(70, 4, 4);
    server.respond([&](int, const std::string&) {
        return Reply(httpResponse("200 OK", "") + body).drip(1, 3);
    });
    setAddress("/cam.bmp");
    tickingWhile(40, [&] { manualLoad(); });
    EXPECT_EQ(text("ErrorDis"), "");
    EXPECT_EQ(frames(), 1);
    EXPECT_GT(cycle().loadTicks, 5);
}

TEST_F(LoaderTest, AutoLoadFetchesAtTheNextTickThenEveryInterval) {
    bodies = {bmpBody(1), bmpBody(2), bmpBody(3)};
    window->links().tree().select(window->links().tree().root()->child(1)->child(0)->child(0));
    ASSERT_TRUE(window->useSelectedLink());
    setAddress("/radar.bmp");
    const_cast<LinkInfo&>(window->currentLink()).delay = 3;
    find<QToolButton>("AutoLoadBtn")->setChecked(true);
    std::vector<QString> countdown;
    for (int tick = 0; tick < 7; ++tick) {
        cycle().onClockTick();
        countdown.push_back(text("TimeOutDis"));
    }
    EXPECT_EQ(countdown, (std::vector<QString>{"3", "2", "1", "3", "2", "1", "3"}));
    EXPECT_EQ(server.requests().size(), 3u);
    // Released, the countdown freezes.
    find<QToolButton>("AutoLoadBtn")->setChecked(false);
    cycle().onClockTick();
    EXPECT_EQ(text("TimeOutDis"), "3");
    EXPECT_EQ(server.requests().size(), 3u);
}

TEST_F(LoaderTest, GifCaptureRules) {
    bodies = {animation(100)};
    setAddress("/anim.gif");
    manualLoad();
    EXPECT_EQ(frames(), 3); // the whole animation, as 8-bit composited frames
    EXPECT_EQ(window->frameStore().get(2)->pixelFormat(), PixelFormat::Bit8);
    EXPECT_EQ(window->frameStore().get(2)->pixel(0, 0), (Color{0, 200, 0}));
    manualLoad(); // same first frame: a duplicate
    EXPECT_EQ(frames(), 3);
    bodies = {animation(120)};
    manualLoad(); // "Clear Old Animations": replaced
    EXPECT_EQ(frames(), 3);

    // Incremental: the next new animation from the same address adds only its last frame.
    find<QCheckBox>("IncAnimationChk")->click();
    EXPECT_FALSE(find<QCheckBox>("ClearOldChk")->isEnabled());
    bodies = {animation(140)};
    manualLoad();
    EXPECT_EQ(frames(), 4);
    // A different address: captured in full again (after clearing).
    bodies = {animation(160)};
    setAddress("/other.gif");
    manualLoad();
    EXPECT_EQ(frames(), 3);
    bodies = {animation(180)};
    manualLoad();
    EXPECT_EQ(frames(), 4);
    // "Erase Animation" also restarts in full.
    dialogs.answers = {Answer::Yes};
    find<QToolButton>("ClearBtn")->click();
    manualLoad();
    EXPECT_EQ(frames(), 3);

    // Without GIF frames, a GIF is one image appended like any other.
    find<QCheckBox>("GIFAnimationChk")->setChecked(false);
    bodies = {animation(200)};
    manualLoad();
    EXPECT_EQ(frames(), 4);
    EXPECT_EQ(window->frameStore().get(3)->pixelFormat(), PixelFormat::Bit24);
}

TEST_F(LoaderTest, CaptureOffShowsWithoutStoring) {
    bodies = {bmpBody(5), bmpBody(6)};
    find<QCheckBox>("CaptureChk")->setChecked(false);
    setAddress("/cam.bmp");
    manualLoad();
    manualLoad();
    EXPECT_EQ(frames(), 0);
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().scanLine(0)[0], 6);
    EXPECT_EQ(text("BMSizeDis"), "8x6");
}

TEST_F(LoaderTest, GoFetchesTheAddressAsTheHistoryStoresIt) {
    bodies = {bmpBody(5)};
    auto* combo = find<QComboBox>("URLCombo");
    combo->insertItem(0, QString::fromStdString(server.url("/Cam.BMP")));
    setAddress("/cam.bmp");
    find<QPushButton>("GoBtn")->click();
    EXPECT_EQ(combo->currentText().toStdString(), server.url("/Cam.BMP"));
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.requests()[0].rfind("GET /Cam.BMP HTTP/1.0", 0), 0u);
    // "Abort Load" with nothing running changes nothing; the next fetch works.
    find<QToolButton>("ReadAbortBtn")->click();
    find<QPushButton>("GoBtn")->click();
    EXPECT_EQ(text("ErrorDis"), "");
}

// https in the window: refused until allowed, a self-signed camera is not trusted until its
// fingerprint is pinned, then its pictures are captured.
TEST_F(LoaderTest, SecureCameraIsCapturedOnceItsCertificateIsPinned) {
    TlsTestServer servers;
    const QString address = QString::fromStdString(servers.url("selfsigned", "/pic.bmp"));
    find<QComboBox>("URLCombo")->setEditText(address);
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "Secure (https) addresses are off: tick Allow secure (https) "
                                "addresses on the Connection page of the settings");
    window->settings().allowHttps = true;
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "Certificate not trusted: self-signed certificate");
    EXPECT_EQ(frames(), 0);
    window->settings().pins = servers.selfSignedPin();
    manualLoad();
    manualLoad();
    EXPECT_EQ(text("ErrorDis"), "");
    EXPECT_EQ(frames(), 2);
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 4);
}

TEST_F(LoaderTest, EnterInTheAddressBoxLoadsAsGoDoes) {
    bodies = {bmpBody(50)};
    setAddress("/cam.bmp");
    QTest::keyClick(find<QComboBox>("URLCombo")->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(frames(), 1);
    EXPECT_EQ(text("BMSizeDis"), "8x6");
}

TEST_F(LoaderTest, TheGaugeShowsTheShareReceivedAndReturnsToZero) {
    const std::string body = bmpBody(50, 120, 90);
    server.respond([&body](int, const std::string&) {
        return Reply(
            httpResponse("200 OK", body, {"Content-Length: " + std::to_string(body.size())}));
    });
    setAddress("/cam.bmp");
    std::vector<int> shown;
    QObject::connect(find<QProgressBar>("Gauge1"), &QProgressBar::valueChanged,
                     [&](int value) { shown.push_back(value); });
    manualLoad();
    EXPECT_EQ(frames(), 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(std::find(shown.begin(), shown.end(), 100), shown.end());
    EXPECT_EQ(shown.back(), 0);
    EXPECT_EQ(find<QProgressBar>("Gauge1")->value(), 0);
}

// The keys: F5 loads anywhere in the window; with the picture focused the arrows, Home and End
// step through the frames and Del deletes the one shown.
TEST_F(LoaderTest, KeysLoadStepAndDelete) {
    bodies = {bmpBody(50), bmpBody(90, 10, 4), bmpBody(20)};
    setAddress("/cam.bmp");
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(find<QComboBox>("URLCombo")->lineEdit(), Qt::Key_F5);
    EXPECT_EQ(frames(), 3);
    auto* picture = find<gui::PictureView>("Image1");
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    picture->setFocus();
    QTest::keyClick(picture, Qt::Key_Home);
    EXPECT_EQ(counter->frameIndex(), 0);
    QTest::keyClick(picture, Qt::Key_Right);
    EXPECT_EQ(counter->frameIndex(), 1);
    QTest::keyClick(picture, Qt::Key_End);
    EXPECT_EQ(counter->frameIndex(), 2);
    QTest::keyClick(picture, Qt::Key_Left);
    EXPECT_EQ(counter->frameIndex(), 1);
    QTest::keyClick(picture, Qt::Key_Delete);
    EXPECT_EQ(frames(), 2);
}

// A double-click on the selected link loads it, and no rename editor opens after it: renaming
// in place is F2's.
TEST_F(LoaderTest, DoubleClickOnTheSelectedLinkLoadsIt) {
    // The load outlasts the double-click time, as over the internet: a click's delayed editor
    // would open meanwhile.
    server.respond([](int, const std::string&) {
        return Reply(httpResponse("200 OK", bmpBody(50))).after(60);
    });
    LinkTree& tree = window->links().tree();
    LinkNode* cam = tree.addLinkNode(tree.root(), "Cam", server.url("/cam.bmp"), 60, true);
    tree.select(cam);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* pane = window->findChild<gui::LinkPane*>();
    gui::LinkTreeView* view = pane->view();
    QWidget* area = view->viewport();
    const QPoint onCam = view->visualRect(pane->model()->indexOf(cam)).center();
    auto editorOpen = [area] {
        auto* editor = area->findChild<QLineEdit*>();
        return editor && editor->isVisible();
    };
    // The editor a click would start waits for the double-click time: make it short.
    QStyleHints* hints = QGuiApplication::styleHints();
    const int doubleClickTime = hints->mouseDoubleClickInterval();
    hints->setMouseDoubleClickInterval(10);
    QTest::mouseClick(area, Qt::LeftButton, {}, onCam);
    // A double-click as the window system delivers it.
    QTest::mouseClick(area, Qt::LeftButton, {}, onCam);
    QTest::mousePress(area, Qt::LeftButton, {}, onCam);
    QTest::mouseDClick(area, Qt::LeftButton, {}, onCam);
    QTest::mouseRelease(area, Qt::LeftButton, {}, onCam);
    QTest::qWait(20);
    hints->setMouseDoubleClickInterval(doubleClickTime);
    EXPECT_FALSE(editorOpen());
    EXPECT_EQ(window->currentLink().name, "Cam");
    EXPECT_EQ(frames(), 1);
    QTest::keyClick(view, Qt::Key_F2);
    EXPECT_TRUE(editorOpen());
}

// "Save each new frame to folder" writes every captured frame as fetched, named as the
// headless watcher names its originals; duplicates are not captured and not written.
TEST_F(LoaderTest, EachNewFrameIsWrittenToTheChosenFolder) {
    const std::string folder = programDir.file("frames");
    dialogs.files = {folder};
    find<QCheckBox>("SaveEachFrameChk")->click();
    EXPECT_EQ(find<QLabel>("FrameFolderDis")->text().toStdString(), folder);
    bodies = {bmpBody(50), bmpBody(50), bmpBody(90, 10, 4)};
    setAddress("/cam.bmp");
    for (int i = 0; i < 3; ++i)
        manualLoad();
    EXPECT_EQ(frames(), 2);
    const std::vector<std::string> written = filesUnder(folder);
    ASSERT_EQ(written.size(), 2u);
    for (const std::string& name : written)
        EXPECT_TRUE(isArchivePictureName(std::filesystem::path(name).filename().string())) << name;
    IniFile ini(iniPath());
    ini.load();
    EXPECT_TRUE(ini.readBool("Animation", "SaveEachFrame", false));
    EXPECT_EQ(ini.readString("Animation", "FrameFolder", ""), folder);

    find<QCheckBox>("SaveEachFrameChk")->click(); // off: no more pictures written
    bodies = {bmpBody(70)};
    manualLoad();
    EXPECT_EQ(filesUnder(folder).size(), 2u);
}
