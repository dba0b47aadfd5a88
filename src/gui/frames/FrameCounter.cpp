#include "gui/frames/FrameCounter.h"

#include "gui/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace kestrix::gui {

namespace {

QToolButton* counterButton(const char* name, const QIcon& icon, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(icon);
    b->setAutoRaise(true);
    b->setAutoRepeatDelay(400);
    b->setAutoRepeatInterval(100);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

FrameCounter::FrameCounter(QWidget* parent)
    : QFrame(parent), text_(new QLabel(this)),
      start_(counterButton("START", icons::counterButton(icons::Counter::Start), this)),
      left_(counterButton("LEFT", icons::counterButton(icons::Counter::Left), this)),
      right_(counterButton("RIGHT", icons::counterButton(icons::Counter::Right), this)),
      end_(counterButton("END", icons::counterButton(icons::Counter::End), this)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    resize(131, 20);
    setMinimumSize(131, 22);
    // Grows along its row but keeps its height, so the square buttons stay small.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    text_->setAlignment(Qt::AlignCenter);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(start_);
    layout->addWidget(left_);
    layout->addWidget(text_, 1);
    layout->addWidget(right_);
    layout->addWidget(end_);
    setDoRepeat(true);
    connect(start_, &QToolButton::clicked, this, [this] { first(); });
    connect(left_, &QToolButton::clicked, this, [this] { prior(); });
    connect(right_, &QToolButton::clicked, this, [this] { next(); });
    connect(end_, &QToolButton::clicked, this, [this] { last(); });
    updateText();
}

void FrameCounter::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    // Square buttons as high as the panel inside its border.
    const int side = std::max(10, height() - 2 * frameWidth());
    for (QToolButton* b : {start_, left_, right_, end_})
        b->setFixedSize(side, side);
}

// The buttons follow the panel's height, so their own hints must not set it.
QSize FrameCounter::sizeHint() const {
    return {131, 22};
}

QSize FrameCounter::minimumSizeHint() const {
    return sizeHint();
}

void FrameCounter::setFrameIndex(int v) {
    if (v == frameIndex_ || v < 0 || v >= maxFrames_)
        return;
    frameIndex_ = v;
    updateText();
}

void FrameCounter::setMaxFrames(int m) {
    if (m != maxFrames_) {
        maxFrames_ = m;
        if (frameIndex_ > m - 1)
            frameIndex_ = std::max(m - 1, 0);
        updateText();
    }
    emit onMaxChange();
}

void FrameCounter::setDoRepeat(bool repeat) {
    doRepeat_ = repeat;
    left_->setAutoRepeat(repeat);
    right_->setAutoRepeat(repeat);
}

void FrameCounter::setShowCount(bool show) {
    showCount_ = show;
    updateText();
}

QString FrameCounter::caption() const {
    return text_->text();
}

void FrameCounter::updateText() {
    if (maxFrames_ <= 0)
        text_->clear();
    else if (showCount_)
        text_->setText(QString::number(frameIndex_ + 1) + "/" + QString::number(maxFrames_));
    else
        text_->setText(QString::number(frameIndex_ + 1));
}

void FrameCounter::step(int target) {
    const int before = frameIndex_;
    setFrameIndex(target);
    if (frameIndex_ != before)
        emit onChange();
}

void FrameCounter::first() {
    step(0);
}

void FrameCounter::last() {
    step(maxFrames_ - 1);
}

void FrameCounter::prior() {
    if (frameIndex_ > 0)
        step(frameIndex_ - 1);
    else if (wrap_)
        step(maxFrames_ - 1);
}

void FrameCounter::next() {
    if (frameIndex_ < maxFrames_ - 1)
        step(frameIndex_ + 1);
    else if (wrap_)
        step(0);
}

} // namespace kestrix::gui
