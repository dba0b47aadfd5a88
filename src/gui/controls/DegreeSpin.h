// TDegreeSpin: an angle or a duration as three boxes (degrees or hours, minutes, seconds), each
// with its own arrows and a caption under it.
#pragma once

#include "controls/DegreeSpinValue.h"
#include "util/FormatSettings.h"

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;

namespace kestrix::gui {

class TUpDownButton;

class TDegreeSpin : public QWidget {
    Q_OBJECT
public:
    explicit TDegreeSpin(QWidget* parent = nullptr);

    // The value in degrees or hours.
    double Degrees() const { return model_.Degrees(); }
    // Rounds to 1/100000 second, clamps, truncates to the shown decimals, shows and fires
    // OnChange (unless BlockChangeEvent).
    void setDegrees(double degrees);

    // Decimals shown in the seconds box, 0 to 5; also sets how the width is shared.
    int Digits() const { return model_.Digits(); }
    void setDigits(int digits);
    double MinValue() const { return model_.MinValue(); }
    void setMinValue(double degrees) { model_.setMinValue(degrees); }
    double MaxValue() const { return model_.MaxValue(); }
    void setMaxValue(double degrees) { model_.setMaxValue(degrees); }
    bool UseLimit() const { return model_.UseLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    // When on, typed parts out of range (75 minutes) are folded into the value.
    bool AutoCorrect() const { return model_.AutoCorrect(); }
    void setAutoCorrect(bool on) { model_.setAutoCorrect(on); }
    // Seconds added by one click of the seconds arrows.
    double SecInc() const { return model_.SecInc(); }
    void setSecInc(double seconds) { model_.setSecInc(seconds); }
    bool BlockChangeEvent() const { return blockChangeEvent_; }
    void setBlockChangeEvent(bool block) { blockChangeEvent_ = block; }
    // The caption under the first box; "Deg" while it is empty.
    const QString& UnitsString() const { return unitsString_; }
    void setUnitsString(const QString& units);

    // Box 0 holds the degrees, 1 the minutes, 2 the seconds.
    QLineEdit* box(int index) const { return boxes_[static_cast<size_t>(index)]; }
    TUpDownButton* arrows(int index) const { return arrows_[static_cast<size_t>(index)]; }
    QLabel* caption(int index) const { return captions_[static_cast<size_t>(index)]; }

    QSize sizeHint() const override { return {180, 50}; }

signals:
    void OnChange();

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
    std::array<TUpDownButton*, 3> arrows_{};
    std::array<QLabel*, 3> captions_{};
    FormatSettings fs_;
    QString unitsString_;
    bool blockChangeEvent_ = false;
    bool writing_ = false;
};

} // namespace kestrix::gui
