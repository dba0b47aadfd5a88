#include "UpDownButton.h"

#include "AutoButton.h"

#include <QKeyEvent>
#include <algorithm>

namespace kestrix::gui {

namespace {

TAutoButton* arrow(Qt::ArrowType type, QWidget* parent) {
    auto* b = new TAutoButton(parent);
    b->setArrowType(type);
    return b;
}

} // namespace

TUpDownButton::TUpDownButton(QWidget* parent)
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

bool TUpDownButton::Pressed() const {
    return up_->isDown() || down_->isDown();
}

void TUpDownButton::arrowClicked(bool up) {
    if (focusControl_)
        focusControl_->setFocus();
    clicked(up);
}

void TUpDownButton::clicked(bool up) {
    currentUp_ = up;
    if (up)
        emit OnUpClick();
    else
        emit OnDownClick();
}

void TUpDownButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up)
        clicked(true);
    else if (event->key() == Qt::Key_Down)
        clicked(false);
    else if (event->key() == Qt::Key_Space)
        clicked(currentUp_);
    else
        QWidget::keyPressEvent(event);
}

void TUpDownButton::resizeEvent(QResizeEvent* event) {
    layoutArrows();
    QWidget::resizeEvent(event);
}

void TUpDownButton::layoutArrows() {
    // The up arrow takes the upper half, the down arrow the rest, the two sharing one pixel row.
    const int half = height() / 2;
    const int downTop = std::max(half - 1, 0);
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, downTop, width(), height() - downTop);
}

} // namespace kestrix::gui
