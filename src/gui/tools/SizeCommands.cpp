#include "SizeCommands.h"

#include "PictureDisplay.h"
#include "PicturePanel.h"
#include "QtText.h"
#include "SizePage.h"
#include "acquire/AcquisitionPresenter.h"
#include "tools/Resampler.h"
#include "widgets/PictureView.h"
#include "widgets/RadioGroup.h"
#include "controls/UpDownButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kestrix::gui {

namespace {

const int kIncrements[] = {1, 3, 5, 10, 30, 50};

} // namespace

SizeCommands::SizeCommands(SizePage& page, PicturePanel& picture, PictureDisplay& display,
                           TBitmapListEx& frameStore, AcquisitionPresenter& acquisition,
                           QProgressBar& gauge, Dialogs& dialogs, QObject* parent)
    : QObject(parent), page_(page), picture_(picture), display_(display), store_(frameStore),
      acquisition_(acquisition), gauge_(gauge), dialogs_(dialogs) {
    connect(page.IncSpin, &TUpDownButton::OnUpClick, this, [this] { step(+1); });
    connect(page.IncSpin, &TUpDownButton::OnDownClick, this, [this] { step(-1); });
    connect(page.UnitsRadio, &RadioGroup::itemClicked, this, &SizeCommands::ComputeNewSize);
    connect(page.ResetSizeBtn, &QPushButton::clicked, this, [this] {
        ResetSizeFields();
        ComputeNewSize();
    });
}

SizeUnits SizeCommands::units() const {
    return page_.UnitsRadio->itemIndex() == 1 ? SizeUnits::Pixels : SizeUnits::Percent;
}

int SizeCommands::filter() const { return FilterForSharpness(page_.SharpGroup->itemIndex()); }

void SizeCommands::step(int direction) {
    const int item = std::clamp(page_.IncRadio->itemIndex(), 0, 5);
    fields_.StepSizeChange(kIncrements[item], direction);
    ComputeNewSize();
}

void SizeCommands::ResetSizeFields() {
    const Bitmap& original = display_.ShownOriginal();
    fields_.ResetSizeFields(original.width(), original.height());
    ShowSizeFields();
}

void SizeCommands::ShowSizeFields() {
    page_.ImageSizeDis->setText(toQ(fields_.imageSizeText()));
    page_.IncUnitsDis->setText(toQ(SizeFields::unitsText(units())));
    page_.PercentDis->setText(toQ(fields_.changeText()));
}

void SizeCommands::ComputeNewSize() {
    fields_.ComputeNewSize(units());
    ShowSizeFields();
}

void SizeCommands::UseActualSize() {
    picture_.ActualSizeChk->setChecked(true);
    picture_.applyActualSize();
}

void SizeCommands::ResizeShown() {
    UseActualSize();
    // Always from the unresized picture, so a second "Resize" does not resize the first result.
    Bitmap resized = display_.ShownOriginal();
    gauge_.setMaximum(100);
    ResizeBitmap(resized, fields_.NewWidth, fields_.NewHeight,
                 [this](int percent) {
                     gauge_.setValue(percent);
                     gauge_.repaint();
                 },
                 filter());
    picture_.Image1->setPicture(resized);
}

void SizeCommands::ResizeAllFrames() {
    if (!dialogs_.askYesNo("Permanently Modify Images?", MessageIcon::Confirmation))
        return;
    UseActualSize();
    gauge_.setMaximum(std::max(store_.Count(), 1));
    for (int32_t i = 0; i < store_.Count(); ++i) {
        gauge_.setValue(i);
        gauge_.repaint();
        ResizeBitmap(*store_.Get(i), fields_.NewWidth, fields_.NewHeight, nullptr, filter());
    }
    acquisition_.cycle().ShowFrame(acquisition_.frameIndex());
    gauge_.setValue(0);
}

} // namespace kestrix::gui
