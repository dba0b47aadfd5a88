// The "Animation" page: frame counter and playback buttons, capture options, GIF options, time
// data and the frame clean-up buttons.
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace kestrix::gui {

class TFrameCounter;
class TRealSpin;

class AnimationPage : public QWidget {
    Q_OBJECT
public:
    explicit AnimationPage(QWidget* parent = nullptr);

    QGroupBox* AnimationGroup;
    TFrameCounter* FrameCounter;
    QToolButton* PlayAnimBtn;
    QToolButton* LoopBtn;
    QToolButton* AnimateAbortBtn;
    QToolButton* DelPointBtn;
    QToolButton* ClearBtn;
    TRealSpin* FPSSpin;
    QCheckBox* CaptureChk;
    QCheckBox* DifferenceChk;
    QPushButton* DiffBtn;
    QCheckBox* GIFAnimationChk;
    QCheckBox* IncAnimationChk;
    QCheckBox* ClearOldChk;
    QLabel* ImageTimeDis;
    QLabel* ImageIntervalDis;
    QLabel* AveIntervalDis;
    QPushButton* FlawsBtn;
    QPushButton* DupBtn;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* buildAnimationGroup();
    QGroupBox* buildGifGroup();
    QGroupBox* buildTimeGroup();
};

} // namespace kestrix::gui
