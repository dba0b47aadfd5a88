// FrameCounter: the frame position and count of the animation, with four buttons
// (first, previous, next, last); previous and next repeat while held.
#pragma once

#include <QFrame>

class QLabel;
class QToolButton;

namespace kestrix::gui {

class FrameCounter : public QFrame {
    Q_OBJECT
public:
    explicit FrameCounter(QWidget* parent = nullptr);

    int frameIndex() const { return frameIndex_; }
    // Moves to v when 0 <= v < maxFrames; fires nothing.
    void setFrameIndex(int v);
    int maxFrames() const { return maxFrames_; }
    // Every assignment fires onMaxChange, changed or not; the position is kept in range.
    void setMaxFrames(int m);
    bool wrap() const { return wrap_; }
    void setWrap(bool wrap) { wrap_ = wrap; }
    bool doRepeat() const { return doRepeat_; }
    void setDoRepeat(bool repeat);
    bool showCount() const { return showCount_; }
    void setShowCount(bool show);
    QString caption() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    virtual void first();
    virtual void prior();
    virtual void next();
    virtual void last();

signals:
    // A button moved the position.
    void onChange();
    void onMaxChange();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateText();
    void step(int target);

    int frameIndex_ = 0;
    int maxFrames_ = 5;
    bool wrap_ = false;
    bool doRepeat_ = true;
    bool showCount_ = false;
    QLabel* text_;
    QToolButton* start_;
    QToolButton* left_;
    QToolButton* right_;
    QToolButton* end_;
};

} // namespace kestrix::gui
