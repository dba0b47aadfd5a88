// AutoButton: a tool button that repeats its click while it is held down.
#pragma once

#include <QToolButton>

namespace kestrix::gui {

class AutoButton : public QToolButton {
    Q_OBJECT
public:
    // The first repeat comes this long after the press, the next ones at the shorter interval.
    static constexpr int kFirstRepeatMs = 400;
    static constexpr int kRepeatMs = 100;

    explicit AutoButton(QWidget* parent = nullptr);
};

} // namespace kestrix::gui
