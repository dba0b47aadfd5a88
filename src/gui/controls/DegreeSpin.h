// DegreeSpin: an angle or a duration as three boxes (degrees or hours, minutes, seconds), each
// with its own arrows and a caption under it.
#pragma once

#include "core/controls/DegreeSpinValue.h"
#include "core/util/FormatSettings.h"

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;

namespace kestrix::gui {

class UpDownButton;

class DegreeSpin : public QWidget {
    Q_OBJECT
public:
    explicit DegreeSpin(QWidget* parent = nullptr);

    // The value in degrees or hours.
    double degrees() const { return model_.degrees(); }
    // Rounds to 1/100000 second, clamps, truncates to the shown decimals, shows and fires
    // onChange (unless blockChangeEvent).
    void setDegrees(double degrees);

    // Decimals shown in the seconds box, 0 to 5; also sets how the width is shared.
    int digits() const { return model_.digits(); }
    void setDigits(int digits);
    double minValue() const { return model_.minValue(); }
    void setMinValue(double degrees) { model_.setMinValue(degrees); }
    double maxValue() const { return model_.maxValue(); }
    void setMaxValue(double degrees) { model_.setMaxValue(degrees); }
    bool useLimit() const { return model_.useLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    // When on, typed parts out of range (75 minutes) are folded into the value.
    bool autoCorrect() const { return model_.autoCorrect(); }
    void setAutoCorrect(bool on) { model_.setAutoCorrect(on); }
    // Seconds added by one click of the seconds arrows.
    double secInc() const { return model_.secInc(); }
    void setSecInc(double seconds) { model_.setSecInc(seconds); }
    bool blockChangeEvent() const { return blockChangeEvent_; }
    void setBlockChangeEvent(bool block) { blockChangeEvent_ = block; }
    // The caption under the first box; "Deg" while it is empty.
    const QString& unitsString() const { return unitsString_; }
    void setUnitsString(const QString& units);

    // Box 0 holds the degrees, 1 the minutes, 2 the seconds.
    QLineEdit* box(int index) const { return boxes_[static_cast<size_t>(index)]; }
    UpDownButton* arrows(int index) const { return arrows_[static_cast<size_t>(index)]; }
    QLabel* caption(int index) const { return captions_[static_cast<size_t>(index)]; }

    QSize sizeHint() const override { return {180, 50}; }

signals:
    void onChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build(size_t index, const char* name, const char* caption);
    void showValue();
    void boxTextChanged();
    void stepBox(int index, bool up);
    void changed();
    void layoutBoxes();

    DegreeSpinValue model_;
    std::array<QLineEdit*, 3> boxes_{};
    std::array<UpDownButton*, 3> arrows_{};
    std::array<QLabel*, 3> captions_{};
    FormatSettings fs_;
    QString unitsString_;
    bool blockChangeEvent_ = false;
    bool writing_ = false;
};

} // namespace kestrix::gui
