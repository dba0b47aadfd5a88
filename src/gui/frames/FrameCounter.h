// TFrameCounter: the frame position and count of the animation, with four buttons
// (first, previous, next, last); previous and next repeat while held.
#pragma once

#include <QFrame>

class QLabel;
class QToolButton;

namespace kestrix::gui {

class TFrameCounter : public QFrame {
    Q_OBJECT
public:
    explicit TFrameCounter(QWidget* parent = nullptr);

    int FrameIndex() const { return frameIndex_; }
    // Moves to v when 0 <= v < MaxFrames; fires nothing.
    void setFrameIndex(int v);
    int MaxFrames() const { return maxFrames_; }
    // Every assignment fires OnMaxChange, changed or not; the position is kept in range.
    void setMaxFrames(int m);
    bool Wrap() const { return wrap_; }
    void setWrap(bool wrap) { wrap_ = wrap; }
    bool DoRepeat() const { return doRepeat_; }
    void setDoRepeat(bool repeat);
    bool ShowCount() const { return showCount_; }
    void setShowCount(bool show);
    QString caption() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    virtual void First();
    virtual void Prior();
    virtual void Next();
    virtual void Last();

signals:
    // A button moved the position.
    void OnChange();
    void OnMaxChange();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateText();
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
