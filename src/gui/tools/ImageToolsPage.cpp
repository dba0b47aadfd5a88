#include "gui/tools/ImageToolsPage.h"

#include "gui/widgets/Fields.h"

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

QPushButton* toolButton(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

ImageToolsPage::ImageToolsPage(QWidget* parent) : QWidget(parent) {
    brightnessBar = adjustmentBar("BrightnessBar", this);
    contrastBar = adjustmentBar("ContrastBar", this);
    gammaBar = adjustmentBar("GammaBar", this);
    brightDis = valueField("BrightDis", this, 40);
    contrastDis = valueField("ContrastDis", this, 40);
    gammaDis = valueField("GammaDis", this, 40);
    allFramesChk = new QCheckBox("Apply To All Frames", this);
    allFramesChk->setObjectName("AllFramesChk");
    resetBcgBtn = toolButton("ResetBCGBtn", "Reset", this);
    bcgAllBtn = toolButton("BCGAllBtn", " Permanent", this);
    averageBtn = toolButton("AverageBtn", "Average All Frames", this);

    auto* grid = new QGridLayout(this);
    const std::pair<const char*, std::pair<QSlider*, QLabel*>> rows[] = {
        {"Brightness", {brightnessBar, brightDis}},
        {"Contrast", {contrastBar, contrastDis}},
        {"Gamma", {gammaBar, gammaDis}},
    };
    int r = 0;
    for (const auto& [caption, controls] : rows) {
        grid->addWidget(new QLabel(caption, this), r, 0, 1, 2);
        grid->addWidget(controls.first, r + 1, 0);
        grid->addWidget(controls.second, r + 1, 1);
        r += 2;
    }
    grid->addWidget(allFramesChk, r++, 0, 1, 2);
    grid->addWidget(resetBcgBtn, r, 0);
    grid->addWidget(bcgAllBtn, r++, 1);
    grid->addWidget(averageBtn, r++, 0, 1, 2);
    grid->setRowStretch(r, 1);
}

} // namespace kestrix::gui
