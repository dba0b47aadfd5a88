// The "Image Tools" page: brightness, contrast and gamma bars with their values, and the
// adjustment and averaging buttons.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace kestrix::gui {

class ImageToolsPage : public QWidget {
    Q_OBJECT
public:
    explicit ImageToolsPage(QWidget* parent = nullptr);

    QSlider* BrightnessBar;
    QSlider* ContrastBar;
    QSlider* GammaBar;
    QLabel* BrightDis;
    QLabel* ContrastDis;
    QLabel* GammaDis;
    QCheckBox* AllFramesChk;
    QPushButton* ResetBCGBtn;
    QPushButton* BCGAllBtn;
    QPushButton* AverageBtn;
};

} // namespace kestrix::gui
