#include "UpDownButton.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrix::gui {

namespace {

QToolButton* arrow(Qt::ArrowType type, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(type);
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(400);
    b->setAutoRepeatInterval(100);
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return b;
}

} // namespace

TUpDownButton::TUpDownButton(QWidget* parent)
    : QWidget(parent), up_(arrow(Qt::UpArrow, this)), down_(arrow(Qt::DownArrow, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    setMinimumWidth(15);
    setFocusPolicy(Qt::TabFocus);
    connect(up_, &QToolButton::clicked, this, [this] { clicked(true); });
    connect(down_, &QToolButton::clicked, this, [this] { clicked(false); });
}

bool TUpDownButton::pressed() const { return up_->isDown() || down_->isDown(); }

void TUpDownButton::clicked(bool up) {
    if (focusControl_)
        focusControl_->setFocus();
    if (up)
        emit OnUpClick();
    else
        emit OnDownClick();
}

void TUpDownButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Space)
        clicked(true);
    else if (event->key() == Qt::Key_Down)
        clicked(false);
    else
        QWidget::keyPressEvent(event);
}

} // namespace kestrix::gui
