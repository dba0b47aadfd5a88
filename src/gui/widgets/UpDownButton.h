// TUpDownButton: an up arrow above a down arrow, each repeating while held (first repeat after
// 400 ms, then every 100 ms).
#pragma once

#include <QWidget>

class QToolButton;

namespace kestrix::gui {

class TUpDownButton : public QWidget {
    Q_OBJECT
public:
    explicit TUpDownButton(QWidget* parent = nullptr);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    // The widget that takes the focus when an arrow is clicked.
    void setFocusControl(QWidget* control) { focusControl_ = control; }
    bool pressed() const;
    QSize sizeHint() const override { return {17, 23}; }

signals:
    void OnUpClick();
    void OnDownClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void clicked(bool up);

    QToolButton* up_;
    QToolButton* down_;
    QWidget* focusControl_ = nullptr;
};

} // namespace kestrix::gui
