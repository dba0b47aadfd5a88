#include "ImageToolsPage.h"

#include "widgets/Fields.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace kestrix::gui {

namespace {

QSlider* adjustmentBar(const char* name, QWidget* parent) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(0, 100);
    bar->setValue(50);
    bar->setTickInterval(10);
    bar->setTickPosition(QSlider::TicksBelow);
    return bar;
}

QPushButton* button(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

ImageToolsPage::ImageToolsPage(QWidget* parent) : QWidget(parent) {
    BrightnessBar = adjustmentBar("BrightnessBar", this);
    ContrastBar = adjustmentBar("ContrastBar", this);
    GammaBar = adjustmentBar("GammaBar", this);
    BrightDis = valueField("BrightDis", this, 40);
    ContrastDis = valueField("ContrastDis", this, 40);
    GammaDis = valueField("GammaDis", this, 40);
    AllFramesChk = new QCheckBox("Apply To All Frames", this);
    AllFramesChk->setObjectName("AllFramesChk");
    ResetBCGBtn = button("ResetBCGBtn", "Reset", this);
    BCGAllBtn = button("BCGAllBtn", " Permanent", this);
    AverageBtn = button("AverageBtn", "Average All Frames", this);

    auto* grid = new QGridLayout(this);
    const std::pair<const char*, std::pair<QSlider*, QLabel*>> rows[] = {
        {"Brightness", {BrightnessBar, BrightDis}},
        {"Contrast", {ContrastBar, ContrastDis}},
        {"Gamma", {GammaBar, GammaDis}},
    };
    int r = 0;
    for (const auto& [caption, controls] : rows) {
        grid->addWidget(new QLabel(caption, this), r, 0, 1, 2);
        grid->addWidget(controls.first, r + 1, 0);
        grid->addWidget(controls.second, r + 1, 1);
        r += 2;
    }
    grid->addWidget(AllFramesChk, r++, 0, 1, 2);
    grid->addWidget(ResetBCGBtn, r, 0);
    grid->addWidget(BCGAllBtn, r++, 1);
    grid->addWidget(AverageBtn, r++, 0, 1, 2);
    grid->setRowStretch(r, 1);
}

} // namespace kestrix::gui
