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

class FrameCounter;
class RealSpin;

class AnimationPage : public QWidget {
    Q_OBJECT
public:
    explicit AnimationPage(QWidget* parent = nullptr);

    QGroupBox* animationGroup;
    FrameCounter* frameCounter;
    QToolButton* playAnimBtn;
    QToolButton* loopBtn;
    QToolButton* animateAbortBtn;
    QToolButton* delPointBtn;
    QToolButton* clearBtn;
    RealSpin* fpsSpin;
    QCheckBox* captureChk;
    QCheckBox* differenceChk;
    QPushButton* diffBtn;
    QCheckBox* gifAnimationChk;
    QCheckBox* incAnimationChk;
    QCheckBox* clearOldChk;
    QLabel* imageTimeDis;
    QLabel* imageIntervalDis;
    QLabel* aveIntervalDis;
    QPushButton* flawsBtn;
    QPushButton* dupBtn;
    QCheckBox* saveEachChk;
    QPushButton* frameFolderBtn;
    QLabel* frameFolderDis;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* buildAnimationGroup();
    QGroupBox* buildGifGroup();
    QGroupBox* buildTimeGroup();
    QWidget* buildSaveEachGroup();
};

} // namespace kestrix::gui
