#include "gui/tools/PictureDisplay.h"

#include "core/tools/BCG.h"
#include "core/util/Text.h"
#include "gui/QtText.h"
#include "gui/tools/ImageToolsPage.h"
#include "gui/widgets/PictureView.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

namespace kestrix::gui {

PictureDisplay::PictureDisplay(ImageToolsPage& page, PictureView& image, QProgressBar& gauge,
                               FrameStore& frameStore, Dialogs& dialogs, const FormatSettings& fs,
                               QObject* parent)
    : QObject(parent), page_(page), image_(image), gauge_(gauge), store_(frameStore),
      dialogs_(dialogs), fs_(fs) {
    for (QSlider* bar : {page.brightnessBar, page.contrastBar, page.gammaBar})
        connect(bar, &QSlider::valueChanged, this, &PictureDisplay::brightnessBarChange);
    connect(page.resetBcgBtn, &QPushButton::clicked, this, &PictureDisplay::resetBcgBtnClick);
    connect(page.bcgAllBtn, &QPushButton::clicked, this, &PictureDisplay::bcgAllBtnClick);
}

const Bitmap& PictureDisplay::displayed() const {
    return image_.picture();
}

BCGValues PictureDisplay::readBcg() const {
    return {page_.brightnessBar->value() / 100.0, page_.contrastBar->value() / 100.0,
            page_.gammaBar->value() / 100.0};
}

void PictureDisplay::showBcgValues(const BCGValues& v) {
    page_.brightDis->setText(toQ(floatToStrGeneral(v.b, fs_)));
    page_.contrastDis->setText(toQ(floatToStrGeneral(v.c, fs_)));
    page_.gammaDis->setText(toQ(floatToStrFixed(v.g, 1, fs_)));
}

void PictureDisplay::brightnessBarChange() {
    const BCGValues v = readBcg();
    showBcgValues(v);
    applyBcg(shownOriginal_, image_.picture(), v.b, v.c, v.g);
    image_.refresh();
}

void PictureDisplay::showImage(Bitmap& bitmap) {
    const BCGValues v = readBcg();
    const bool allFrames = page_.allFramesChk->isChecked();
    if (allFrames)
        applyBcg(bitmap, image_.picture(), v.b, v.c, v.g);
    else
        image_.picture() = bitmap;
    shownOriginal_ = bitmap;
    image_.refresh();
    if (!allFrames)
        resetBcg(false);
}

void PictureDisplay::resetTrackBar(QSlider* bar) {
    const QSignalBlocker detached(bar);
    bar->setValue((bar->minimum() + bar->maximum()) / 2);
}

void PictureDisplay::resetBcg(bool redraw) {
    for (QSlider* bar : {page_.brightnessBar, page_.contrastBar, page_.gammaBar})
        resetTrackBar(bar);
    if (redraw)
        brightnessBarChange();
}

void PictureDisplay::resetBcgBtnClick() {
    resetBcg(true);
}

void PictureDisplay::bcgAllBtnClick() {
    if (!dialogs_.askYesNo("Permanently Modify Images?", MessageIcon::Confirmation))
        return;
    const BCGValues v = readBcg();
    gauge_.setMaximum(std::max(store_.count(), 1));
    for (int32_t i = 0; i < store_.count(); ++i) {
        gauge_.setValue(i);
        gauge_.repaint();
        Bitmap* frame = store_.get(i);
        applyBcg(*frame, *frame, v.b, v.c, v.g);
    }
    gauge_.setValue(0);
}

} // namespace kestrix::gui
