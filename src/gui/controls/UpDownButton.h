// TUpDownButton: an up arrow above a down arrow, each a TAutoButton that repeats while held.
#pragma once

#include <QWidget>

namespace kestrix::gui {

class TAutoButton;

class TUpDownButton : public QWidget {
    Q_OBJECT
public:
    explicit TUpDownButton(QWidget* parent = nullptr);

    TAutoButton* upButton() const { return up_; }
    TAutoButton* downButton() const { return down_; }
    // The widget that takes the focus when an arrow is clicked.
    QWidget* FocusControl() const { return focusControl_; }
    void setFocusControl(QWidget* control) { focusControl_ = control; }
    // True while either arrow is held down.
    bool Pressed() const;
    QSize sizeHint() const override { return {17, 23}; }

signals:
    void OnUpClick();
    void OnDownClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // A mouse click on an arrow: the focus moves to FocusControl first.
    void arrowClicked(bool up);
    void clicked(bool up);
    void layoutArrows();

    TAutoButton* up_;
    TAutoButton* down_;
    QWidget* focusControl_ = nullptr;
    // The arrow that Space clicks: the one clicked last, the up arrow at first.
    bool currentUp_ = true;
};

} // namespace kestrix::gui
