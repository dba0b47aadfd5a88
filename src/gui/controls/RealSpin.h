// RealSpin: a spin box holding a 64-bit floating-point number, written in one of four formats
// with the locale's separators.
#pragma once

#include "gui/controls/CustomSpin.h"
#include "core/controls/RealSpinValue.h"

#include <functional>

namespace kestrix::gui {

class RealSpin : public CustomSpin {
    Q_OBJECT
public:
    // With ownerIncrement on, a step calls this with the signed step and the current value; the
    // value it leaves is written.
    using IncrementHandler = std::function<void(double inc, double& value)>;

    explicit RealSpin(QWidget* parent = nullptr);

    // The value last read from a valid text (at every change of the text) or last written.
    double value() const { return model_.value(); }
    // Clamps, keeps and shows the value; onChange handlers already see the exact value.
    void setValue(double value);

    double minValue() const { return model_.minValue(); }
    void setMinValue(double value) { model_.setMinValue(value); }
    double maxValue() const { return model_.maxValue(); }
    void setMaxValue(double value) { model_.setMaxValue(value); }
    bool useLimit() const { return model_.useLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    double increment() const { return model_.increment(); }
    void setIncrement(double step) { model_.setIncrement(step); }
    // Changing the digits or the format rewrites the value in the new form.
    int digits() const { return model_.digits(); }
    void setDigits(int digits);
    NumberFormat numFormat() const { return model_.numFormat(); }
    void setNumFormat(NumberFormat format);
    bool ownerIncrement() const { return ownerIncrement_; }
    void setOwnerIncrement(bool on) { ownerIncrement_ = on; }
    void setOnIncrement(IncrementHandler handler) { onIncrement_ = std::move(handler); }

protected:
    void step(bool up, bool ctrl) override;
    bool acceptsKey(char32_t c) const override;
    void normalise() override;
    void textChangedHook(bool written) override;
    void localeChangedHook() override;

private:
    RealSpinValue model_;
    IncrementHandler onIncrement_;
    bool ownerIncrement_ = false;
};

} // namespace kestrix::gui
