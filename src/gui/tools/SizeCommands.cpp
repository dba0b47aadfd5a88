#include "gui/tools/SizeCommands.h"

#include "core/tools/Resampler.h"
#include "gui/PicturePanel.h"
#include "gui/QtText.h"
#include "gui/acquire/AcquisitionPresenter.h"
#include "gui/controls/UpDownButton.h"
#include "gui/tools/PictureDisplay.h"
#include "gui/tools/SizePage.h"
#include "gui/widgets/PictureView.h"
#include "gui/widgets/RadioGroup.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kestrix::gui {

namespace {

const int kIncrements[] = {1, 3, 5, 10, 30, 50};

} // namespace

SizeCommands::SizeCommands(SizePage& page, PicturePanel& picture, PictureDisplay& display,
                           FrameStore& frameStore, AcquisitionPresenter& acquisition,
                           QProgressBar& gauge, Dialogs& dialogs, const CommandRunner& run,
                           QObject* parent)
    : QObject(parent), page_(page), picture_(picture), display_(display), store_(frameStore),
      acquisition_(acquisition), gauge_(gauge), dialogs_(dialogs) {
    connect(page.resizeBtn, &QPushButton::clicked, this,
            [this, run] { run([this] { resizeShown(); }); });
    connect(page.resizeAllBtn, &QPushButton::clicked, this,
            [this, run] { run([this] { resizeAllFrames(); }); });
    connect(page.incSpin, &UpDownButton::onUpClick, this, [this] { step(+1); });
    connect(page.incSpin, &UpDownButton::onDownClick, this, [this] { step(-1); });
    connect(page.unitsRadio, &RadioGroup::itemClicked, this, &SizeCommands::computeNewSize);
    connect(page.resetSizeBtn, &QPushButton::clicked, this, [this] {
        resetSizeFields();
        computeNewSize();
    });
}

SizeUnits SizeCommands::units() const {
    return page_.unitsRadio->itemIndex() == 1 ? SizeUnits::Pixels : SizeUnits::Percent;
}

ResampleFilter SizeCommands::filter() const {
    return filterForSharpness(page_.sharpGroup->itemIndex());
}

void SizeCommands::step(int direction) {
    const int item = std::clamp(page_.incRadio->itemIndex(), 0, 5);
    fields_.stepSizeChange(kIncrements[item], direction);
    computeNewSize();
}

void SizeCommands::resetSizeFields() {
    const Bitmap& original = display_.shownOriginal();
    fields_.resetSizeFields(original.width(), original.height());
    showSizeFields();
}

void SizeCommands::showSizeFields() {
    page_.imageSizeDis->setText(toQ(fields_.imageSizeText()));
    page_.incUnitsDis->setText(toQ(SizeFields::unitsText(units())));
    page_.percentDis->setText(toQ(fields_.changeText()));
}

void SizeCommands::computeNewSize() {
    fields_.computeNewSize(units());
    showSizeFields();
}

void SizeCommands::useActualSize() {
    picture_.actualSizeChk->setChecked(true);
    picture_.applyActualSize();
}

void SizeCommands::resizeShown() {
    useActualSize();
    // Always from the unresized picture, so a second "Resize" does not resize the first result.
    Bitmap resized = display_.shownOriginal();
    gauge_.setMaximum(100);
    resizeBitmap(
        resized, fields_.newWidth, fields_.newHeight,
        [this](int percent) {
            gauge_.setValue(percent);
            gauge_.repaint();
        },
        filter());
    picture_.pictureView->setPicture(resized);
    // " Img. Size:" names the picture on display; the size fields stay as they are.
    picture_.bmSizeDis->setText(QString("%1x%2").arg(resized.width()).arg(resized.height()));
}

void SizeCommands::resizeAllFrames() {
    if (!dialogs_.askYesNo("Permanently Modify Images?", MessageIcon::Confirmation))
        return;
    useActualSize();
    gauge_.setMaximum(std::max(store_.count(), 1));
    resizeFrames(store_, fields_.newWidth, fields_.newHeight, filter(), [this](int i) {
        gauge_.setValue(i);
        gauge_.repaint();
    });
    acquisition_.cycle().showFrame(acquisition_.frameIndex());
    gauge_.setValue(0);
}

} // namespace kestrix::gui
