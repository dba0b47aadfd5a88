#include "gui/frames/AnimationPage.h"

#include "gui/Icons.h"
#include "gui/controls/RealSpin.h"
#include "gui/controls/SpinInstances.h"
#include "gui/frames/FrameCounter.h"
#include "gui/widgets/Fields.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrix::gui {

namespace {

QToolButton* hintButton(const char* name, const char* hint, icons::Tool icon, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(icons::tool(icon));
    return b;
}

QCheckBox* check(const char* name, const char* caption, bool checked, QWidget* parent) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    c->setChecked(checked);
    return c;
}

QLabel* centred(const char* name, QWidget* parent) {
    QLabel* l = valueField(name, parent, 70);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

} // namespace

AnimationPage::AnimationPage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(buildAnimationGroup());
    layout->addWidget(buildGifGroup());
    layout->addWidget(buildTimeGroup());
    flawsBtn = new QPushButton("Remove Flaws      ", this);
    flawsBtn->setObjectName("FlawsBtn");
    flawsBtn->setToolTip("Remove Defects");
    dupBtn = new QPushButton("Remove Duplicates", this);
    dupBtn->setObjectName("DupBtn");
    dupBtn->setToolTip("Remove Defects");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(flawsBtn);
    buttons->addWidget(dupBtn);
    layout->addLayout(buttons);
    layout->addWidget(buildSaveEachGroup());
    layout->addStretch(1);
}

// Beyond the documented page, off by default: every captured frame is written into a folder as
// it arrives, so that a long watch survives a crash.
QWidget* AnimationPage::buildSaveEachGroup() {
    auto* box = new QWidget(this);
    saveEachChk = check("SaveEachFrameChk", "Save each new frame to folder", false, box);
    frameFolderBtn = new QPushButton("Folder...", box);
    frameFolderBtn->setObjectName("FrameFolderBtn");
    frameFolderDis = new QLabel(box);
    frameFolderDis->setObjectName("FrameFolderDis");
    frameFolderDis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(saveEachChk, 0, 0);
    layout->addWidget(frameFolderBtn, 0, 1);
    layout->addWidget(frameFolderDis, 1, 0, 1, 2);
    return box;
}

QGroupBox* AnimationPage::buildAnimationGroup() {
    animationGroup = new QGroupBox("Animation", this);
    animationGroup->setObjectName("AnimationGroup");
    animationGroup->installEventFilter(this);
    frameCounter = new FrameCounter(animationGroup);
    frameCounter->setObjectName("FrameCounter");
    frameCounter->setShowCount(true);
    frameCounter->setDoRepeat(true);
    frameCounter->setWrap(false);
    playAnimBtn = hintButton("PlayAnimBtn", "Play Animation", icons::Tool::Play, animationGroup);
    loopBtn = hintButton("LoopBtn", "Loop Animation", icons::Tool::Loop, animationGroup);
    loopBtn->setCheckable(true);
    animateAbortBtn = hintButton("AnimateAbortBtn", "Abort Animation", icons::Tool::AbortAnimation,
                                 animationGroup);
    delPointBtn =
        hintButton("DelPointBtn", "Delete Frame", icons::Tool::DeleteFrame, animationGroup);
    clearBtn =
        hintButton("ClearBtn", "Erase Animation", icons::Tool::EraseAnimation, animationGroup);
    fpsSpin = makeFPSSpin(animationGroup);
    captureChk = check("CaptureChk", "Capture Animation", true, animationGroup);
    differenceChk = check("DifferenceChk", "Motion Detection", false, animationGroup);
    diffBtn = new QPushButton("Diff", animationGroup);
    diffBtn->setObjectName("DiffBtn");
    diffBtn->setVisible(false);

    auto* grid = new QGridLayout(animationGroup);
    grid->addWidget(new QLabel("Frames", animationGroup), 0, 0);
    grid->addWidget(frameCounter, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (QToolButton* b : {playAnimBtn, loopBtn, animateAbortBtn, delPointBtn, clearBtn})
        buttons->addWidget(b);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->addWidget(new QLabel("Playback Speed", animationGroup), 3, 0);
    grid->addWidget(fpsSpin, 3, 1);
    grid->addWidget(captureChk, 4, 0);
    grid->addWidget(differenceChk, 4, 1);
    grid->addWidget(diffBtn, 5, 0);
    return animationGroup;
}

QGroupBox* AnimationPage::buildGifGroup() {
    auto* group = new QGroupBox("GIF Animations", this);
    group->setObjectName("GIFGroup");
    gifAnimationChk = check("GIFAnimationChk", "Load GIF Animations", true, group);
    incAnimationChk = check("IncAnimationChk", "Incremental GIF Load", false, group);
    clearOldChk = check("ClearOldChk", "Clear Old Animations", true, group);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(gifAnimationChk);
    layout->addWidget(incAnimationChk);
    layout->addWidget(clearOldChk);
    // "Clear Old Animations" keeps its check while greyed; the capture rules still read it.
    connect(incAnimationChk, &QCheckBox::clicked, clearOldChk,
            [this] { clearOldChk->setEnabled(!incAnimationChk->isChecked()); });
    return group;
}

QGroupBox* AnimationPage::buildTimeGroup() {
    auto* group = new QGroupBox("Time Data", this);
    group->setObjectName("TimeGroup");
    imageTimeDis = centred("ImageTimeDis", group);
    imageIntervalDis = centred("ImageIntervalDis", group);
    aveIntervalDis = centred("AveIntervalDis", group);
    auto* grid = new QGridLayout(group);
    grid->addWidget(fieldLabel(" Time:", group), 0, 0);
    grid->addWidget(imageTimeDis, 0, 1);
    grid->addWidget(fieldLabel(" Interval:", group), 1, 0);
    grid->addWidget(imageIntervalDis, 1, 1);
    grid->addWidget(fieldLabel(" Ave Int:", group), 2, 0);
    grid->addWidget(aveIntervalDis, 2, 1);
    return group;
}

bool AnimationPage::eventFilter(QObject* watched, QEvent* event) {
    // A Shift+click on the group box shows or hides the diagnostic button.
    if (watched == animationGroup && event->type() == QEvent::MouseButtonPress &&
        (static_cast<QMouseEvent*>(event)->modifiers() & Qt::ShiftModifier))
        diffBtn->setHidden(!diffBtn->isHidden());
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrix::gui
