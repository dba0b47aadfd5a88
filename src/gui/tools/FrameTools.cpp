#include "gui/tools/FrameTools.h"

#include "core/tools/FrameCompare.h"
#include "gui/acquire/AcquisitionPresenter.h"
#include "gui/frames/AnimationPage.h"
#include "gui/tools/ImageToolsPage.h"
#include "gui/tools/PictureDisplay.h"

#include <QAbstractButton>
#include <QProgressBar>
#include <QPushButton>
#include <utility>

namespace kestrix::gui {

FrameTools::FrameTools(FrameStore& frameStore, AcquisitionPresenter& acquisition,
                       PictureDisplay& display, QProgressBar& gauge, Dialogs& dialogs,
                       const AppSettings& settings, std::function<void(const QString&)> setCaption,
                       QObject* parent)
    : QObject(parent), store_(frameStore), acquisition_(acquisition), display_(display),
      gauge_(gauge), dialogs_(dialogs), settings_(settings), setCaption_(std::move(setCaption)) {}

void FrameTools::bindButtons(const AnimationPage& animation, const ImageToolsPage& imageTools,
                             const CommandRunner& run) {
    const std::pair<QAbstractButton*, void (FrameTools::*)()> buttons[] = {
        {animation.flawsBtn, &FrameTools::removeFlaws},
        {animation.dupBtn, &FrameTools::removeDuplicates},
        {animation.diffBtn, &FrameTools::showDifference},
        {imageTools.averageBtn, &FrameTools::averageAllFrames}};
    for (const auto& binding : buttons) {
        const auto handler = binding.second;
        connect(binding.first, &QAbstractButton::clicked, this,
                [this, run, handler] { run([this, handler] { (this->*handler)(); }); });
    }
}

void FrameTools::progress(int value) {
    gauge_.setValue(value);
    gauge_.repaint();
}

void FrameTools::offerDeletion(const std::vector<int>& found, const std::string& question) {
    if (!dialogs_.askYesNo(question, MessageIcon::Confirmation))
        return;
    // From the highest position down, so that the positions still to delete stay valid.
    for (size_t i = found.size(); i-- > 0;)
        acquisition_.cycle().deleteFrame(found[i]);
}

void FrameTools::removeFlaws() {
    gauge_.setMaximum(std::max(store_.count(), 1));
    const std::vector<int> found = findFlawedFrames(
        store_, {settings_.flawThreshold, settings_.blackFrame}, [this](int a) { progress(a); });
    gauge_.setValue(0);
    if (found.empty()) {
        dialogs_.showMessage("No Flaws Found", MessageIcon::Information);
        return;
    }
    offerDeletion(found, flawQuestion(found));
}

void FrameTools::removeDuplicates() {
    gauge_.setMaximum(std::max(store_.count(), 1));
    const std::vector<int> found = findDuplicateFrames(store_, [this](int j) { progress(j); });
    gauge_.setValue(0);
    if (found.empty()) {
        dialogs_.showMessage("No Duplicates Found", MessageIcon::Information);
        return;
    }
    offerDeletion(found, duplicateQuestion(found));
}

void FrameTools::averageAllFrames() {
    Bitmap& accumulator = acquisition_.cycle().fetchedImage;
    gauge_.setMaximum(std::max(store_.count(), 1));
    averageFrames(store_, accumulator, [this](int k) { progress(k); });
    gauge_.setValue(0);
    display_.showImage(accumulator);
}

void FrameTools::showDifference() {
    const int i = acquisition_.frameIndex();
    if (i <= 0 || i >= store_.count())
        return;
    const double d = frameDifference(*store_.get(i - 1), *store_.get(i));
    setCaption_(QString::number(d, 'f', 2) + " " +
                QString::number(bottomBlackRows(*store_.get(i))));
}

} // namespace kestrix::gui
