// The right-hand panel: the information bar over the scrolling picture area.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QScrollArea;

namespace kestrix::gui {

class PictureView;

class PicturePanel : public QWidget {
    Q_OBJECT
public:
    explicit PicturePanel(QWidget* parent = nullptr);

    QLabel* currentLinkDis;
    QLabel* bmSizeDis;
    QLabel* gmtDis;
    QCheckBox* actualSizeChk;
    // Beyond the documented panel, off by default: the picture is fitted without distortion.
    QCheckBox* keepProportionsChk;
    QScrollArea* scrollArea;
    PictureView* pictureView;

    // Shows the picture at its own size (top left, scroll bars when larger) or stretched to the
    // whole area, following "Use Actual Size".
    void applyActualSize();
};

} // namespace kestrix::gui
