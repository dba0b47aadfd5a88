#include "gui/acquire/AcquisitionPresenter.h"

#include "core/acquire/StatusTexts.h"
#include "core/tools/FrameCompare.h"
#include "gui/PicturePanel.h"
#include "gui/QtText.h"
#include "gui/acquire/AcquisitionBars.h"
#include "gui/controls/RealSpin.h"
#include "gui/frames/AnimationPage.h"
#include "gui/frames/FrameCounter.h"
#include "gui/tools/PictureDisplay.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

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
}

AcquisitionPresenter::~AcquisitionPresenter() {
    client_.setPump({});
    client_.onPacketRecvd = nullptr;
    client_.onStatus = nullptr;
}

void AcquisitionPresenter::wireButtons() {
    AnimationPage& a = w_.animation;
    auto command = [this](std::function<void()> f) {
        return [this, f = std::move(f)] { hooks_.runCommand(f); };
    };
    connect(w_.toolBar.manualBtn, &QToolButton::clicked, this, command([this] { manualLoad(); }));
    connect(w_.addressBar.goBtn, &QPushButton::clicked, this, command([this] { manualLoad(); }));
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
