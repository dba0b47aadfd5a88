#include "AnimationPage.h"

#include "FrameCounter.h"
#include "Icons.h"
#include "controls/RealSpin.h"
#include "controls/SpinInstances.h"
#include "widgets/Fields.h"

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
    FlawsBtn = new QPushButton("Remove Flaws      ", this);
    FlawsBtn->setObjectName("FlawsBtn");
    FlawsBtn->setToolTip("Remove Defects");
    DupBtn = new QPushButton("Remove Duplicates", this);
    DupBtn->setObjectName("DupBtn");
    DupBtn->setToolTip("Remove Defects");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(FlawsBtn);
    buttons->addWidget(DupBtn);
    layout->addLayout(buttons);
    layout->addStretch(1);
}

QGroupBox* AnimationPage::buildAnimationGroup() {
    AnimationGroup = new QGroupBox("Animation", this);
    AnimationGroup->setObjectName("AnimationGroup");
    AnimationGroup->installEventFilter(this);
    FrameCounter = new TFrameCounter(AnimationGroup);
    FrameCounter->setObjectName("FrameCounter");
    FrameCounter->setShowCount(true);
    FrameCounter->setDoRepeat(true);
    FrameCounter->setWrap(false);
    PlayAnimBtn = hintButton("PlayAnimBtn", "Play Animation", icons::Tool::Play, AnimationGroup);
    LoopBtn = hintButton("LoopBtn", "Loop Animation", icons::Tool::Loop, AnimationGroup);
    LoopBtn->setCheckable(true);
    AnimateAbortBtn = hintButton("AnimateAbortBtn", "Abort Animation",
                                 icons::Tool::AbortAnimation, AnimationGroup);
    DelPointBtn = hintButton("DelPointBtn", "Delete Frame", icons::Tool::DeleteFrame,
                             AnimationGroup);
    ClearBtn = hintButton("ClearBtn", "Erase Animation", icons::Tool::EraseAnimation,
                          AnimationGroup);
    FPSSpin = makeFPSSpin(AnimationGroup);
    CaptureChk = check("CaptureChk", "Capture Animation", true, AnimationGroup);
    DifferenceChk = check("DifferenceChk", "Motion Detection", false, AnimationGroup);
    DiffBtn = new QPushButton("Diff", AnimationGroup);
    DiffBtn->setObjectName("DiffBtn");
    DiffBtn->setVisible(false);

    auto* grid = new QGridLayout(AnimationGroup);
    grid->addWidget(new QLabel("Frames", AnimationGroup), 0, 0);
    grid->addWidget(FrameCounter, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (QToolButton* b : {PlayAnimBtn, LoopBtn, AnimateAbortBtn, DelPointBtn, ClearBtn})
        buttons->addWidget(b);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->addWidget(new QLabel("Playback Speed", AnimationGroup), 3, 0);
    grid->addWidget(FPSSpin, 3, 1);
    grid->addWidget(CaptureChk, 4, 0);
    grid->addWidget(DifferenceChk, 4, 1);
    grid->addWidget(DiffBtn, 5, 0);
    return AnimationGroup;
}

QGroupBox* AnimationPage::buildGifGroup() {
    auto* group = new QGroupBox("GIF Animations", this);
    group->setObjectName("GIFGroup");
    GIFAnimationChk = check("GIFAnimationChk", "Load GIF Animations", true, group);
    IncAnimationChk = check("IncAnimationChk", "Incremental GIF Load", false, group);
    ClearOldChk = check("ClearOldChk", "Clear Old Animations", true, group);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(GIFAnimationChk);
    layout->addWidget(IncAnimationChk);
    layout->addWidget(ClearOldChk);
    // "Clear Old Animations" keeps its check while greyed; the capture rules still read it.
    connect(IncAnimationChk, &QCheckBox::clicked, ClearOldChk,
            [this] { ClearOldChk->setEnabled(!IncAnimationChk->isChecked()); });
    return group;
}

QGroupBox* AnimationPage::buildTimeGroup() {
    auto* group = new QGroupBox("Time Data", this);
    group->setObjectName("TimeGroup");
    ImageTimeDis = centred("ImageTimeDis", group);
    ImageIntervalDis = centred("ImageIntervalDis", group);
    AveIntervalDis = centred("AveIntervalDis", group);
    auto* grid = new QGridLayout(group);
    grid->addWidget(fieldLabel(" Time:", group), 0, 0);
    grid->addWidget(ImageTimeDis, 0, 1);
    grid->addWidget(fieldLabel(" Interval:", group), 1, 0);
    grid->addWidget(ImageIntervalDis, 1, 1);
    grid->addWidget(fieldLabel(" Ave Int:", group), 2, 0);
    grid->addWidget(AveIntervalDis, 2, 1);
    return group;
}

bool AnimationPage::eventFilter(QObject* watched, QEvent* event) {
    // A Shift+click on the group box shows or hides the diagnostic button.
    if (watched == AnimationGroup && event->type() == QEvent::MouseButtonPress &&
        (static_cast<QMouseEvent*>(event)->modifiers() & Qt::ShiftModifier))
        DiffBtn->setHidden(!DiffBtn->isHidden());
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrix::gui
