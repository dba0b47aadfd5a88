#include "gui/controls/AutoButton.h"

namespace kestrix::gui {

AutoButton::AutoButton(QWidget* parent) : QToolButton(parent) {
    setAutoRepeat(true);
    setAutoRepeatDelay(kFirstRepeatMs);
    setAutoRepeatInterval(kRepeatMs);
    // The box the arrows serve keeps the focus; clicking an arrow must not steal it.
    setFocusPolicy(Qt::NoFocus);
}

} // namespace kestrix::gui
