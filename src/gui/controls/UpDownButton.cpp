#include "gui/controls/UpDownButton.h"

#include "gui/controls/AutoButton.h"

#include <QKeyEvent>
#include <algorithm>

namespace kestrix::gui {

namespace {

AutoButton* arrow(Qt::ArrowType type, QWidget* parent) {
    auto* b = new AutoButton(parent);
    b->setArrowType(type);
    return b;
}

} // namespace

UpDownButton::UpDownButton(QWidget* parent)
    : QWidget(parent), up_(arrow(Qt::UpArrow, this)), down_(arrow(Qt::DownArrow, this)) {
    up_->setObjectName("UpArrow");
    down_->setObjectName("DownArrow");
    setMinimumWidth(15);
    setFocusPolicy(Qt::TabFocus);
    resize(sizeHint());
    layoutArrows();
    connect(up_, &QToolButton::clicked, this, [this] { arrowClicked(true); });
    connect(down_, &QToolButton::clicked, this, [this] { arrowClicked(false); });
}

bool UpDownButton::pressed() const {
    return up_->isDown() || down_->isDown();
}

void UpDownButton::arrowClicked(bool up) {
    if (focusControl_)
        focusControl_->setFocus();
    clicked(up);
}

void UpDownButton::clicked(bool up) {
    currentUp_ = up;
    if (up)
        emit onUpClick();
    else
        emit onDownClick();
}

void UpDownButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up)
        clicked(true);
    else if (event->key() == Qt::Key_Down)
        clicked(false);
    else if (event->key() == Qt::Key_Space)
        clicked(currentUp_);
    else
        QWidget::keyPressEvent(event);
}

void UpDownButton::resizeEvent(QResizeEvent* event) {
    layoutArrows();
    QWidget::resizeEvent(event);
}

void UpDownButton::layoutArrows() {
    // The up arrow takes the upper half, the down arrow the rest, the two sharing one pixel row.
    const int half = height() / 2;
    const int downTop = std::max(half - 1, 0);
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, downTop, width(), height() - downTop);
}

} // namespace kestrix::gui
