#include "gui/acquire/AcquisitionPresenter.h"

#include "core/acquire/StatusTexts.h"
#include "core/tools/FrameCompare.h"
#include "core/watch/PictureArchive.h"
#include "gui/PicturePanel.h"
#include "gui/QtText.h"
#include "gui/acquire/AcquisitionBars.h"
#include "gui/controls/RealSpin.h"
#include "gui/frames/AnimationPage.h"
#include "gui/frames/FrameCounter.h"
#include "gui/tools/PictureDisplay.h"
#include "gui/widgets/PictureView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <ctime>

namespace kestrix::gui {

AcquisitionPresenter::AcquisitionPresenter(AcquisitionWidgets widgets, PictureDisplay& display,
                                           WindowHooks hooks, FrameStore& frameStore,
                                           const Clock& clock, const FormatSettings& fs,
                                           const AppSettings& settings, const LinkInfo& currentLink,
                                           QObject* parent)
    : QObject(parent), w_(widgets), display_(display), hooks_(std::move(hooks)), store_(frameStore),
      fs_(fs), timer_(new QTimer(this)) {
    applyImageFetchSettings(client_);
    // The client waits in short slices; between them the window handles its events.
    client_.setPump([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    client_.onPacketRecvd = [this](HttpClient& c) {
        setText(StatusField::Reading, byteCountText(c.bytesReceived(), fs_));
        if (const std::optional<int64_t> length = c.contentLength(); length && *length > 0)
            showDownloadShare(
                static_cast<int>(std::min<int64_t>(100, c.bodyBytesReceived() * 100 / *length)));
    };
    client_.onStatus = [this](AsyncSocket&, const std::string& text) {
        setText(StatusField::Status, text);
    };
    acquisition_ =
        std::make_unique<Acquisition>(*this, client_, frameStore, clock, fs, settings, currentLink);
    timer_->setObjectName("Timer1");
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this,
            [this] { hooks_.runCommand([this] { acquisition_->onClockTick(); }); });
    wireButtons();
    wireKeys();
}

AcquisitionPresenter::~AcquisitionPresenter() {
    client_.setPump({});
    client_.onPacketRecvd = nullptr;
    client_.onStatus = nullptr;
}

// Keys for the commands used most: F5 loads, Esc aborts the load, anywhere in the window. With
// the picture focused (a click on it gives it the focus), Space plays or aborts the animation,
// Left/Right/Home/End step the frame counter and Del deletes the frame; elsewhere those keys
// keep their usual work (a space in the address, the focused button pressed).
void AcquisitionPresenter::wireKeys() {
    QWidget* picture = w_.picture.pictureView;
    picture->setFocusPolicy(Qt::StrongFocus);
    const auto bind = [this](QWidget* scope, int key, Qt::ShortcutContext context,
                             std::function<void()> work) {
        auto* shortcut = new QShortcut(QKeySequence(key), scope, nullptr, nullptr, context);
        connect(shortcut, &QShortcut::activated, this, std::move(work));
    };
    AnimationPage& a = w_.animation;
    bind(picture, Qt::Key_F5, Qt::WindowShortcut, [this] { w_.toolBar.manualBtn->click(); });
    bind(picture, Qt::Key_Escape, Qt::WindowShortcut, [this] { w_.toolBar.readAbortBtn->click(); });
    bind(picture, Qt::Key_Space, Qt::WidgetWithChildrenShortcut,
         [this, &a] { (acquisition_->playing ? a.animateAbortBtn : a.playAnimBtn)->click(); });
    FrameCounter* counter = a.frameCounter;
    bind(picture, Qt::Key_Left, Qt::WidgetWithChildrenShortcut, [counter] { counter->prior(); });
    bind(picture, Qt::Key_Right, Qt::WidgetWithChildrenShortcut, [counter] { counter->next(); });
    bind(picture, Qt::Key_Home, Qt::WidgetWithChildrenShortcut, [counter] { counter->first(); });
    bind(picture, Qt::Key_End, Qt::WidgetWithChildrenShortcut, [counter] { counter->last(); });
    bind(picture, Qt::Key_Delete, Qt::WidgetWithChildrenShortcut, [&a] { a.delPointBtn->click(); });
}

void AcquisitionPresenter::wireButtons() {
    AnimationPage& a = w_.animation;
    auto command = [this](std::function<void()> f) {
        return [this, f = std::move(f)] { hooks_.runCommand(f); };
    };
    connect(w_.toolBar.manualBtn, &QToolButton::clicked, this, command([this] { manualLoad(); }));
    connect(w_.addressBar.goBtn, &QPushButton::clicked, this, command([this] { manualLoad(); }));
    // Enter in the address box does what "Go" does.
    connect(w_.addressBar.urlCombo->lineEdit(), &QLineEdit::returnPressed, w_.addressBar.goBtn,
            &QPushButton::click);
    connect(w_.toolBar.readAbortBtn, &QToolButton::clicked, this,
            [this] { acquisition_->abortLoad(); });
    connect(a.playAnimBtn, &QToolButton::clicked, this,
            command([this] { acquisition_->playAnimation(); }));
    connect(a.animateAbortBtn, &QToolButton::clicked, this,
            [this] { acquisition_->abortAnimation(); });
    connect(a.delPointBtn, &QToolButton::clicked, this,
            command([this] { acquisition_->deleteCurrentFrame(); }));
    connect(a.clearBtn, &QToolButton::clicked, this,
            command([this] { acquisition_->eraseAnimation(); }));
    const auto showCurrent = command([this] { acquisition_->showFrame(frameIndex()); });
    connect(a.frameCounter, &FrameCounter::onChange, this, showCurrent);
    connect(a.differenceChk, &QCheckBox::clicked, this, showCurrent);
}

// A fetch that captured a frame writes the picture as fetched into the frame folder, named as the
// headless watcher names its originals. A folder that cannot be written is reported in the error
// field; the capture itself stands.
void AcquisitionPresenter::fetchFinished(const FetchReport& report) {
    if (frameFolder_.empty() || report.firstCaptured < 0)
        return;
    try {
        archivePicture(frameFolder_, std::time(nullptr), pictureKind(client_.body(), client_.url()),
                       client_.body());
    } catch (const std::exception& e) {
        setText(StatusField::Error, e.what());
    }
}

void AcquisitionPresenter::showDownloadShare(int percent) {
    if (hooks_.downloadShare)
        hooks_.downloadShare(percent);
}

void AcquisitionPresenter::manualLoad() {
    hooks_.pushAddressHistory();
    acquisition_->loadImage();
}

std::string AcquisitionPresenter::expandedAddress() {
    return hooks_.expandAddress();
}

void AcquisitionPresenter::showImage(Bitmap& bitmap) {
    display_.showImage(bitmap);
}

void AcquisitionPresenter::showMotionFrame(int index) {
    if (store_.count() < 2)
        return;
    const int i = std::max(index, 1);
    Bitmap copy = *store_.get(i);
    differenceInto(copy, *store_.get(i - 1));
    display_.showImage(copy);
}

void AcquisitionPresenter::showImageInfo() {
    hooks_.showImageInfo();
}

void AcquisitionPresenter::setText(StatusField field, const std::string& text) {
    StatusBarPanel& s = w_.statusBar;
    AnimationPage& a = w_.animation;
    QLabel* label = nullptr;
    switch (field) {
    case StatusField::Reading:
        label = s.readingDis;
        break;
    case StatusField::Age:
        label = s.ageDis;
        break;
    case StatusField::TimeOut:
        label = s.timeOutDis;
        break;
    case StatusField::Error:
        label = s.errorDis;
        break;
    case StatusField::Status:
        label = s.statusDis;
        break;
    case StatusField::GMT:
        label = w_.picture.gmtDis;
        break;
    case StatusField::ImageTime:
        label = a.imageTimeDis;
        break;
    case StatusField::Interval:
        label = a.imageIntervalDis;
        break;
    case StatusField::AveInterval:
        label = a.aveIntervalDis;
        break;
    }
    label->setText(toQ(text));
    label->repaint();
}

void AcquisitionPresenter::setStatusColor(bool fetching) {
    w_.statusBar.setStatusColor(fetching);
}

int AcquisitionPresenter::frameIndex() const {
    return w_.animation.frameCounter->frameIndex();
}

void AcquisitionPresenter::setFrameIndex(int index) {
    w_.animation.frameCounter->setFrameIndex(index);
}

int AcquisitionPresenter::maxFrames() const {
    return w_.animation.frameCounter->maxFrames();
}

void AcquisitionPresenter::setMaxFrames(int count) {
    w_.animation.frameCounter->setMaxFrames(count);
}

CaptureOptions AcquisitionPresenter::captureOptions() const {
    const AnimationPage& a = w_.animation;
    return {a.captureChk->isChecked(), a.gifAnimationChk->isChecked(),
            a.incAnimationChk->isChecked(), a.clearOldChk->isChecked()};
}

bool AcquisitionPresenter::autoLoadDown() const {
    return w_.toolBar.autoLoadBtn->isChecked();
}

bool AcquisitionPresenter::loopDown() const {
    return w_.animation.loopBtn->isChecked();
}

void AcquisitionPresenter::releaseLoop() {
    w_.animation.loopBtn->setChecked(false);
}

double AcquisitionPresenter::framesPerSecond() const {
    return w_.animation.fpsSpin->value();
}

bool AcquisitionPresenter::motionDetection() const {
    return w_.animation.differenceChk->isChecked();
}

void AcquisitionPresenter::wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool AcquisitionPresenter::confirm(const std::string& text) {
    return hooks_.confirm(text);
}

} // namespace kestrix::gui
