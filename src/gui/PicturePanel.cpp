#include "PicturePanel.h"

#include "widgets/Fields.h"
#include "widgets/PictureView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kestrix::gui {

PicturePanel::PicturePanel(QWidget* parent) : QWidget(parent) {
    CurrentLinkDis = valueField("CurrentLinkDis", this, 120);
    BMSizeDis = valueField("BMSizeDis", this, 70);
    GMTDis = valueField("GMTDis", this, 60);
    ActualSizeChk = new QCheckBox("Use Actual Size", this);
    ActualSizeChk->setObjectName("ActualSizeChk");
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1 = new PictureView;
    Image1->setObjectName("Image1");
    ScrollBox1->setWidget(Image1);
    ScrollBox1->setWidgetResizable(true);

    auto* info = new QHBoxLayout;
    info->addWidget(fieldLabel(" Current Link:", this));
    info->addWidget(CurrentLinkDis, 1);
    info->addWidget(fieldLabel(" Img. Size:", this));
    info->addWidget(BMSizeDis);
    info->addWidget(fieldLabel(" GMT", this));
    info->addWidget(GMTDis);
    info->addWidget(ActualSizeChk);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(info);
    layout->addWidget(ScrollBox1, 1);
    connect(ActualSizeChk, &QCheckBox::clicked, this, &PicturePanel::applyActualSize);
    connect(Image1, &PictureView::pictureChanged, this, [this] {
        if (ActualSizeChk->isChecked())
            applyActualSize();
    });
}

void PicturePanel::applyActualSize() {
    if (ActualSizeChk->isChecked()) {
        ScrollBox1->setWidgetResizable(false);
        Image1->resize(Image1->picture().width(), Image1->picture().height());
    } else {
        ScrollBox1->setWidgetResizable(true);
    }
}

} // namespace kestrix::gui
