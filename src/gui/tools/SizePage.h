// The "Size" page: the new-size fields with their spin button, units, increment and sharpness
// choices, and the resize buttons.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

namespace kestrix::gui {

class RadioGroup;
class TUpDownButton;

class SizePage : public QWidget {
    Q_OBJECT
public:
    explicit SizePage(QWidget* parent = nullptr);

    QPushButton* ResizeBtn;
    QPushButton* ResizeAllBtn;
    QGroupBox* GroupBox3;
    QLabel* ImageSizeDis;
    QLabel* IncUnitsDis;
    QLabel* PercentDis;
    TUpDownButton* IncSpin;
    RadioGroup* UnitsRadio;
    RadioGroup* IncRadio;
    QPushButton* ResetSizeBtn;
    RadioGroup* SharpGroup;
};

} // namespace kestrix::gui
