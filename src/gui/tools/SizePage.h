// The "Size" page: the new-size fields with their spin button, units, increment and sharpness
// choices, and the resize buttons.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kestrix::gui {

class RadioGroup;
class UpDownButton;

class SizePage : public QWidget {
    Q_OBJECT
public:
    explicit SizePage(QWidget* parent = nullptr);

    QPushButton* resizeBtn;
    QPushButton* resizeAllBtn;
    QGroupBox* imageSizeGroup;
    QLabel* imageSizeDis;
    QLabel* incUnitsDis;
    QLabel* percentDis;
    UpDownButton* incSpin;
    RadioGroup* unitsRadio;
    RadioGroup* incRadio;
    QPushButton* resetSizeBtn;
    RadioGroup* sharpGroup;
};

} // namespace kestrix::gui
