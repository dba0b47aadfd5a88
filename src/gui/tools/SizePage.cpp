#include "SizePage.h"

#include "controls/UpDownButton.h"
#include "widgets/Fields.h"
#include "widgets/RadioGroup.h"

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
    ResizeBtn = new QPushButton("Resize", this);
    ResizeBtn->setObjectName("ResizeBtn");
    ResizeAllBtn = new QPushButton("Resize All", this);
    ResizeAllBtn->setObjectName("ResizeAllBtn");
    ResizeAllBtn->setToolTip("Resize All Images");

    GroupBox3 = new QGroupBox(" Image Size", this);
    GroupBox3->setObjectName("GroupBox3");
    auto* label9 = new QLabel("New Size", GroupBox3);
    label9->setObjectName("Label9");
    ImageSizeDis = panelField("ImageSizeDis", "  0x0", GroupBox3);
    IncUnitsDis = new QLabel("Percent", GroupBox3);
    IncUnitsDis->setObjectName("IncUnitsDis");
    PercentDis = panelField("PercentDis", " 0", GroupBox3);
    // The up/down button sits inside the panel, at its right end.
    IncSpin = new TUpDownButton(PercentDis);
    IncSpin->setObjectName("IncSpin");
    IncSpin->setFixedWidth(IncSpin->sizeHint().width());
    IncSpin->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* spinRow = new QHBoxLayout(PercentDis);
    spinRow->setContentsMargins(0, 1, 1, 1);
    spinRow->addStretch(1);
    spinRow->addWidget(IncSpin);
    PercentDis->setMinimumHeight(IncSpin->sizeHint().height() + 2);
    UnitsRadio = new RadioGroup("Units", {"%", "Pixels"}, 2, GroupBox3);
    UnitsRadio->setObjectName("UnitsRadio");
    UnitsRadio->setItemIndex(0);
    IncRadio = new RadioGroup("Increment", {"1", "3", "5", "10", "30", "50"}, 3, GroupBox3);
    IncRadio->setObjectName("IncRadio");
    IncRadio->setItemIndex(3);
    ResetSizeBtn = new QPushButton("Reset", GroupBox3);
    ResetSizeBtn->setObjectName("ResetSizeBtn");

    auto* grid = new QGridLayout(GroupBox3);
    grid->addWidget(label9, 0, 0);
    grid->addWidget(ImageSizeDis, 0, 1, 1, 2);
    grid->addWidget(IncUnitsDis, 1, 0);
    grid->addWidget(PercentDis, 1, 1, 1, 2);
    grid->addWidget(UnitsRadio, 2, 0, 1, 3);
    grid->addWidget(IncRadio, 3, 0, 1, 3);
    grid->addWidget(ResetSizeBtn, 4, 0);

    SharpGroup = new RadioGroup("Sharpness", {"Soft", "Medium", "Sharp"}, 1, this);
    SharpGroup->setObjectName("SharpGroup");
    SharpGroup->setItemIndex(2);

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ResizeBtn);
    buttons->addWidget(ResizeAllBtn);
    layout->addLayout(buttons);
    layout->addWidget(GroupBox3);
    layout->addWidget(SharpGroup);
    layout->addStretch(1);
}

} // namespace kestrix::gui
