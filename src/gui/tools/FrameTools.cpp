#include "FrameTools.h"

#include "PictureDisplay.h"
#include "acquire/AcquisitionPresenter.h"
#include "tools/FrameCompare.h"

#include <QProgressBar>

namespace kestrix::gui {

FrameTools::FrameTools(TBitmapListEx& frameStore, AcquisitionPresenter& acquisition,
                       PictureDisplay& display, QProgressBar& gauge, Dialogs& dialogs,
                       const AppSettings& settings, std::function<void(const QString&)> setCaption,
                       QObject* parent)
    : QObject(parent), store_(frameStore), acquisition_(acquisition), display_(display),
      gauge_(gauge), dialogs_(dialogs), settings_(settings), setCaption_(std::move(setCaption)) {}

void FrameTools::progress(int value) {
    gauge_.setValue(value);
    gauge_.repaint();
}

void FrameTools::offerDeletion(const std::vector<int>& found, const std::string& question) {
    if (!dialogs_.askYesNo(question, MessageIcon::Confirmation))
        return;
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        acquisition_.cycle().DeleteFrame(*it);
}

void FrameTools::RemoveFlaws() {
    gauge_.setMaximum(std::max(store_.Count(), 1));
    const std::vector<int> found = findFlawedFrames(
        store_, {settings_.FlawThreshold, settings_.BlackFrame}, [this](int a) { progress(a); });
    gauge_.setValue(0);
    if (found.empty()) {
        dialogs_.showMessage("No Flaws Found", MessageIcon::Information);
        return;
    }
    offerDeletion(found, flawQuestion(found));
}

void FrameTools::RemoveDuplicates() {
    gauge_.setMaximum(std::max(store_.Count(), 1));
    const std::vector<int> found = findDuplicateFrames(store_, [this](int j) { progress(j); });
    gauge_.setValue(0);
    if (found.empty()) {
        dialogs_.showMessage("No Duplicates Found", MessageIcon::Information);
        return;
    }
    offerDeletion(found, duplicateQuestion(found));
}

void FrameTools::AverageAllFrames() {
    Bitmap& accumulator = acquisition_.cycle().FetchedImage;
    gauge_.setMaximum(std::max(store_.Count(), 1));
    averageFrames(store_, accumulator, [this](int k) { progress(k); });
    gauge_.setValue(0);
    display_.ShowImage(accumulator);
}

void FrameTools::DiffBtnClick() {
    const int i = acquisition_.frameIndex();
    if (i <= 0 || i >= store_.Count())
        return;
    const double d = FrameDifference(*store_.Get(i - 1), *store_.Get(i));
    setCaption_(QString::number(d, 'f', 2) + " " +
                QString::number(BottomBlackRows(*store_.Get(i))));
}

} // namespace kestrix::gui
