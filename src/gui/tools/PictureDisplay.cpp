#include "PictureDisplay.h"

#include "ImageToolsPage.h"
#include "QtText.h"
#include "tools/BCG.h"
#include "util/Text.h"
#include "widgets/PictureView.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

namespace kestrix::gui {

PictureDisplay::PictureDisplay(ImageToolsPage& page, PictureView& image, QProgressBar& gauge,
                               TBitmapListEx& frameStore, Dialogs& dialogs,
                               const FormatSettings& fs, QObject* parent)
    : QObject(parent), page_(page), image_(image), gauge_(gauge), store_(frameStore),
      dialogs_(dialogs), fs_(fs) {
    for (QSlider* bar : {page.BrightnessBar, page.ContrastBar, page.GammaBar})
        connect(bar, &QSlider::valueChanged, this, &PictureDisplay::BrightnessBarChange);
    connect(page.ResetBCGBtn, &QPushButton::clicked, this, &PictureDisplay::ResetBCGBtnClick);
    connect(page.BCGAllBtn, &QPushButton::clicked, this, &PictureDisplay::BCGAllBtnClick);
}

const Bitmap& PictureDisplay::displayed() const { return image_.picture(); }

BCGValues PictureDisplay::ReadBCG() const {
    return {page_.BrightnessBar->value() / 100.0, page_.ContrastBar->value() / 100.0,
            page_.GammaBar->value() / 100.0};
}

void PictureDisplay::ShowBCGValues(const BCGValues& v) {
    page_.BrightDis->setText(toQ(floatToStrGeneral(v.B, fs_)));
    page_.ContrastDis->setText(toQ(floatToStrGeneral(v.C, fs_)));
    page_.GammaDis->setText(toQ(floatToStrFixed(v.G, 1, fs_)));
}

void PictureDisplay::BrightnessBarChange() {
    const BCGValues v = ReadBCG();
    ShowBCGValues(v);
    ApplyBCG(shownOriginal_, image_.picture(), v.B, v.C, v.G);
    image_.refresh();
}

void PictureDisplay::ShowImage(Bitmap& bitmap) {
    const BCGValues v = ReadBCG();
    const bool allFrames = page_.AllFramesChk->isChecked();
    if (allFrames)
        ApplyBCG(bitmap, image_.picture(), v.B, v.C, v.G);
    else
        image_.picture() = bitmap;
    shownOriginal_ = bitmap;
    image_.refresh();
    if (!allFrames)
        ResetBCG(false);
}

void PictureDisplay::ResetTrackBar(QSlider* bar) {
    const QSignalBlocker detached(bar);
    bar->setValue((bar->minimum() + bar->maximum()) / 2);
}

void PictureDisplay::ResetBCG(bool redraw) {
    for (QSlider* bar : {page_.BrightnessBar, page_.ContrastBar, page_.GammaBar})
        ResetTrackBar(bar);
    if (redraw)
        BrightnessBarChange();
}

void PictureDisplay::ResetBCGBtnClick() { ResetBCG(true); }

void PictureDisplay::BCGAllBtnClick() {
    if (!dialogs_.askYesNo("Permanently Modify Images?", MessageIcon::Confirmation))
        return;
    const BCGValues v = ReadBCG();
    gauge_.setMaximum(std::max(store_.Count(), 1));
    for (int32_t i = 0; i < store_.Count(); ++i) {
        gauge_.setValue(i);
        gauge_.repaint();
        Bitmap* frame = store_.Get(i);
        ApplyBCG(*frame, *frame, v.B, v.C, v.G);
    }
    gauge_.setValue(0);
}

} // namespace kestrix::gui
