#include "AcquisitionPresenter.h"

#include "AcquisitionBars.h"
#include "PicturePanel.h"
#include "QtText.h"
#include "acquire/StatusTexts.h"
#include "controls/RealSpin.h"
#include "frames/AnimationPage.h"
#include "frames/FrameCounter.h"
#include "tools/FrameCompare.h"
#include "tools/PictureDisplay.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace kestrix::gui {

AcquisitionPresenter::AcquisitionPresenter(AcquisitionWidgets widgets, PictureDisplay& display,
                                           WindowHooks hooks, TBitmapListEx& frameStore,
                                           const Clock& clock, const FormatSettings& fs,
                                           const AppSettings& settings,
                                           const TURLInfo& currentLink, QObject* parent)
    : QObject(parent), w_(widgets), display_(display), hooks_(std::move(hooks)),
      store_(frameStore), fs_(fs), timer_(new QTimer(this)) {
    applyImageFetchSettings(client_);
    // The client waits in short slices; between them the window handles its events.
    client_.setPump([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    client_.OnPacketRecvd = [this](THttpClient& c) {
        setText(StatusField::Reading, ByteCountText(c.BytesReceived(), fs_));
    };
    client_.OnStatus = [this](TAsyncSocket&, const std::string& text) {
        setText(StatusField::Status, text);
    };
    acquisition_ = std::make_unique<Acquisition>(*this, client_, frameStore, clock, fs, settings,
                                                 currentLink);
    timer_->setObjectName("Timer1");
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this,
            [this] { hooks_.runCommand([this] { acquisition_->Timer1Timer(); }); });
    wireButtons();
}

AcquisitionPresenter::~AcquisitionPresenter() {
    client_.setPump({});
    client_.OnPacketRecvd = nullptr;
    client_.OnStatus = nullptr;
}

void AcquisitionPresenter::wireButtons() {
    AnimationPage& a = w_.animation;
    auto command = [this](std::function<void()> f) {
        return [this, f = std::move(f)] { hooks_.runCommand(f); };
    };
    connect(w_.toolBar.ManualBtn, &QToolButton::clicked, this, command([this] { ManualLoad(); }));
    connect(w_.addressBar.GoBtn, &QPushButton::clicked, this, command([this] { ManualLoad(); }));
    connect(w_.toolBar.ReadAbortBtn, &QToolButton::clicked, this,
            [this] { acquisition_->AbortLoad(); });
    connect(a.PlayAnimBtn, &QToolButton::clicked, this,
            command([this] { acquisition_->PlayAnimation(); }));
    connect(a.AnimateAbortBtn, &QToolButton::clicked, this,
            [this] { acquisition_->AbortAnimation(); });
    connect(a.DelPointBtn, &QToolButton::clicked, this,
            command([this] { acquisition_->DeleteCurrentFrame(); }));
    connect(a.ClearBtn, &QToolButton::clicked, this,
            command([this] { acquisition_->EraseAnimation(); }));
    const auto showCurrent = command([this] { acquisition_->ShowFrame(frameIndex()); });
    connect(a.FrameCounter, &TFrameCounter::OnChange, this, showCurrent);
    connect(a.DifferenceChk, &QCheckBox::clicked, this, showCurrent);
}

void AcquisitionPresenter::ManualLoad() {
    hooks_.pushAddressHistory();
    acquisition_->LoadImage();
}

std::string AcquisitionPresenter::expandedAddress() { return hooks_.expandAddress(); }

void AcquisitionPresenter::showImage(Bitmap& bitmap) { display_.ShowImage(bitmap); }

void AcquisitionPresenter::showMotionFrame(int index) {
    if (store_.Count() < 2)
        return;
    const int i = std::max(index, 1);
    Bitmap copy = *store_.Get(i);
    DifferenceInto(copy, *store_.Get(i - 1));
    display_.ShowImage(copy);
}

void AcquisitionPresenter::showImageInfo() { hooks_.showImageInfo(); }

void AcquisitionPresenter::setText(StatusField field, const std::string& text) {
    StatusBarPanel& s = w_.statusBar;
    AnimationPage& a = w_.animation;
    QLabel* label = nullptr;
    switch (field) {
    case StatusField::Reading: label = s.ReadingDis; break;
    case StatusField::Age: label = s.AgeDis; break;
    case StatusField::TimeOut: label = s.TimeOutDis; break;
    case StatusField::Error: label = s.ErrorDis; break;
    case StatusField::Status: label = s.StatusDis; break;
    case StatusField::GMT: label = w_.picture.GMTDis; break;
    case StatusField::ImageTime: label = a.ImageTimeDis; break;
    case StatusField::Interval: label = a.ImageIntervalDis; break;
    case StatusField::AveInterval: label = a.AveIntervalDis; break;
    }
    label->setText(toQ(text));
    label->repaint();
}

void AcquisitionPresenter::setStatusColor(bool fetching) { w_.statusBar.setStatusColor(fetching); }

int AcquisitionPresenter::frameIndex() const { return w_.animation.FrameCounter->FrameIndex(); }

void AcquisitionPresenter::setFrameIndex(int index) {
    w_.animation.FrameCounter->setFrameIndex(index);
}

int AcquisitionPresenter::maxFrames() const { return w_.animation.FrameCounter->MaxFrames(); }

void AcquisitionPresenter::setMaxFrames(int count) {
    w_.animation.FrameCounter->setMaxFrames(count);
}

CaptureOptions AcquisitionPresenter::captureOptions() const {
    const AnimationPage& a = w_.animation;
    return {a.CaptureChk->isChecked(), a.GIFAnimationChk->isChecked(),
            a.IncAnimationChk->isChecked(), a.ClearOldChk->isChecked()};
}

bool AcquisitionPresenter::autoLoadDown() const { return w_.toolBar.AutoLoadBtn->isChecked(); }

bool AcquisitionPresenter::loopDown() const { return w_.animation.LoopBtn->isChecked(); }

void AcquisitionPresenter::releaseLoop() { w_.animation.LoopBtn->setChecked(false); }

double AcquisitionPresenter::framesPerSecond() const { return w_.animation.FPSSpin->Value(); }

bool AcquisitionPresenter::motionDetection() const {
    return w_.animation.DifferenceChk->isChecked();
}

void AcquisitionPresenter::wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool AcquisitionPresenter::confirm(const std::string& text) { return hooks_.confirm(text); }

} // namespace kestrix::gui
