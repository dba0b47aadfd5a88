// UpDownButton: an up arrow above a down arrow, each a AutoButton that repeats while held.
#pragma once

#include <QWidget>

namespace kestrix::gui {

class AutoButton;

class UpDownButton : public QWidget {
    Q_OBJECT
public:
    explicit UpDownButton(QWidget* parent = nullptr);

    AutoButton* upButton() const { return up_; }
    AutoButton* downButton() const { return down_; }
    // The widget that takes the focus when an arrow is clicked.
    QWidget* focusControl() const { return focusControl_; }
    void setFocusControl(QWidget* control) { focusControl_ = control; }
    // True while either arrow is held down.
    bool pressed() const;
    QSize sizeHint() const override { return {17, 23}; }

signals:
    void onUpClick();
    void onDownClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A mouse click on an arrow: the focus moves to focusControl first.
    void arrowClicked(bool up);
    void clicked(bool up);
    void layoutArrows();

    AutoButton* up_;
    AutoButton* down_;
    QWidget* focusControl_ = nullptr;
    // The arrow that Space clicks: the one clicked last, the up arrow at first.
    bool currentUp_ = true;
};

} // namespace kestrix::gui
