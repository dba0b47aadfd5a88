// TRealSpin: a spin box holding a 64-bit floating-point number, written in one of four formats
// with the locale's separators.
#pragma once

#include "CustomSpin.h"
#include "controls/RealSpinValue.h"

#include <functional>

namespace kestrix::gui {

class TRealSpin : public TCustomSpin {
    Q_OBJECT
public:
    // With OwnerIncrement on, a step calls this with the signed step and the current value; the
    // value it leaves is written.
    using IncrementHandler = std::function<void(double inc, double& value)>;

    explicit TRealSpin(QWidget* parent = nullptr);

    // The value last read from a valid text (at every change of the text) or last written.
    double Value() const { return model_.value(); }
    // Clamps, keeps and shows the value; OnChange handlers already see the exact value.
    void setValue(double value);

    double MinValue() const { return model_.MinValue(); }
    void setMinValue(double value) { model_.setMinValue(value); }
    double MaxValue() const { return model_.MaxValue(); }
    void setMaxValue(double value) { model_.setMaxValue(value); }
    bool UseLimit() const { return model_.UseLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    double Increment() const { return model_.Increment(); }
    void setIncrement(double step) { model_.setIncrement(step); }
    // Changing the digits or the format rewrites the value in the new form.
    int Digits() const { return model_.Digits(); }
    void setDigits(int digits);
    TNumFormat NumFormat() const { return model_.NumFormat(); }
    void setNumFormat(TNumFormat format);
    bool OwnerIncrement() const { return ownerIncrement_; }
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
