#include "gui/PicturePanel.h"

#include "gui/widgets/Fields.h"
#include "gui/widgets/PictureView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kestrix::gui {

PicturePanel::PicturePanel(QWidget* parent) : QWidget(parent) {
    currentLinkDis = valueField("CurrentLinkDis", this, 120);
    bmSizeDis = valueField("BMSizeDis", this, 70);
    gmtDis = valueField("GMTDis", this, 60);
    actualSizeChk = new QCheckBox("Use Actual Size", this);
    actualSizeChk->setObjectName("ActualSizeChk");
    keepProportionsChk = new QCheckBox("Keep Proportions", this);
    keepProportionsChk->setObjectName("KeepProportionsChk");
    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName("ScrollBox1");
    scrollArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pictureView = new PictureView;
    pictureView->setObjectName("Image1");
    scrollArea->setWidget(pictureView);
    scrollArea->setWidgetResizable(true);

    auto* info = new QHBoxLayout;
    info->addWidget(fieldLabel(" Current Link:", this));
    info->addWidget(currentLinkDis, 1);
    info->addWidget(fieldLabel(" Img. Size:", this));
    info->addWidget(bmSizeDis);
    info->addWidget(fieldLabel(" GMT", this));
    info->addWidget(gmtDis);
    info->addWidget(actualSizeChk);
    info->addWidget(keepProportionsChk);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(info);
    layout->addWidget(scrollArea, 1);
    connect(actualSizeChk, &QCheckBox::clicked, this, &PicturePanel::applyActualSize);
    connect(keepProportionsChk, &QCheckBox::toggled, pictureView, &PictureView::setKeepProportions);
    connect(pictureView, &PictureView::pictureChanged, this, [this] {
        if (actualSizeChk->isChecked())
            applyActualSize();
    });
}

void PicturePanel::applyActualSize() {
    if (actualSizeChk->isChecked()) {
        scrollArea->setWidgetResizable(false);
        pictureView->resize(pictureView->picture().width(), pictureView->picture().height());
    } else {
        scrollArea->setWidgetResizable(true);
    }
}

} // namespace kestrix::gui
