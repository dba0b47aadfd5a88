#include "gui/tools/SizePage.h"

#include "gui/controls/UpDownButton.h"
#include "gui/widgets/Fields.h"
#include "gui/widgets/RadioGroup.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrix::gui {

namespace {

QLabel* panelField(const char* name, const char* text, QWidget* parent) {
    QLabel* l = valueField(name, parent, 80);
    l->setText(text);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

} // namespace

SizePage::SizePage(QWidget* parent) : QWidget(parent) {
    resizeBtn = new QPushButton("Resize", this);
    resizeBtn->setObjectName("ResizeBtn");
    resizeAllBtn = new QPushButton("Resize All", this);
    resizeAllBtn->setObjectName("ResizeAllBtn");
    resizeAllBtn->setToolTip("Resize All Images");

    imageSizeGroup = new QGroupBox(" Image Size", this);
    imageSizeGroup->setObjectName("GroupBox3");
    auto* newSizeLabel = new QLabel("New Size", imageSizeGroup);
    newSizeLabel->setObjectName("Label9");
    imageSizeDis = panelField("ImageSizeDis", "  0x0", imageSizeGroup);
    incUnitsDis = new QLabel("Percent", imageSizeGroup);
    incUnitsDis->setObjectName("IncUnitsDis");
    percentDis = panelField("PercentDis", " 0", imageSizeGroup);
    // The up/down button sits inside the panel, at its right end.
    incSpin = new UpDownButton(percentDis);
    incSpin->setObjectName("IncSpin");
    incSpin->setFixedWidth(incSpin->sizeHint().width());
    incSpin->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* spinRow = new QHBoxLayout(percentDis);
    spinRow->setContentsMargins(0, 1, 1, 1);
    spinRow->addStretch(1);
    spinRow->addWidget(incSpin);
    percentDis->setMinimumHeight(incSpin->sizeHint().height() + 2);
    unitsRadio = new RadioGroup("Units", {"%", "Pixels"}, 2, imageSizeGroup);
    unitsRadio->setObjectName("UnitsRadio");
    unitsRadio->setItemIndex(0);
    incRadio = new RadioGroup("Increment", {"1", "3", "5", "10", "30", "50"}, 3, imageSizeGroup);
    incRadio->setObjectName("IncRadio");
    incRadio->setItemIndex(3);
    resetSizeBtn = new QPushButton("Reset", imageSizeGroup);
    resetSizeBtn->setObjectName("ResetSizeBtn");

    auto* grid = new QGridLayout(imageSizeGroup);
    grid->addWidget(newSizeLabel, 0, 0);
    grid->addWidget(imageSizeDis, 0, 1, 1, 2);
    grid->addWidget(incUnitsDis, 1, 0);
    grid->addWidget(percentDis, 1, 1, 1, 2);
    grid->addWidget(unitsRadio, 2, 0, 1, 3);
    grid->addWidget(incRadio, 3, 0, 1, 3);
    grid->addWidget(resetSizeBtn, 4, 0);

    sharpGroup = new RadioGroup("Sharpness", {"Soft", "Medium", "Sharp"}, 1, this);
    sharpGroup->setObjectName("SharpGroup");
    sharpGroup->setItemIndex(2);

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resizeBtn);
    buttons->addWidget(resizeAllBtn);
    layout->addLayout(buttons);
    layout->addWidget(imageSizeGroup);
    layout->addWidget(sharpGroup);
    layout->addStretch(1);
}

} // namespace kestrix::gui
