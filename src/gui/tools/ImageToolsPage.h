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

    QSlider* brightnessBar;
    QSlider* contrastBar;
    QSlider* gammaBar;
    QLabel* brightDis;
    QLabel* contrastDis;
    QLabel* gammaDis;
    QCheckBox* allFramesChk;
    QPushButton* resetBcgBtn;
    QPushButton* bcgAllBtn;
    QPushButton* averageBtn;
};

} // namespace kestrix::gui
