// TIntegerSpin: a spin box holding a signed 64-bit integer, in decimal or hexadecimal.
#pragma once

#include "CustomSpin.h"
#include "controls/IntegerSpinValue.h"

#include <functional>

namespace kestrix::gui {

class TIntegerSpin : public TCustomSpin {
    Q_OBJECT
public:
    // With OwnerIncrement on, a step calls this with the signed step and the current value; the
    // value it leaves is written.
    using IncrementHandler = std::function<void(int64_t inc, int64_t& value)>;

    explicit TIntegerSpin(QWidget* parent = nullptr);

    // Reads the text: a valid number is clamped and remembered, anything else gives the
    // remembered value.
    int64_t Value();
    // Remembers the value and shows it clamped.
    void setValue(int64_t value);

    int64_t MinValue() const { return model_.MinValue(); }
    void setMinValue(int64_t value) { model_.setMinValue(value); }
    int64_t MaxValue() const { return model_.MaxValue(); }
    void setMaxValue(int64_t value) { model_.setMaxValue(value); }
    bool UseLimit() const { return model_.UseLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    int64_t Increment() const { return model_.Increment(); }
    void setIncrement(int64_t step) { model_.setIncrement(step); }
    bool HexMode() const { return model_.HexMode(); }
    // Changing the mode or the digit count rewrites the value in the new form.
    void setHexMode(bool on);
    int HexDigits() const { return model_.HexDigits(); }
    void setHexDigits(int digits);
    bool OwnerIncrement() const { return ownerIncrement_; }
    void setOwnerIncrement(bool on) { ownerIncrement_ = on; }
    void setOnIncrement(IncrementHandler handler) { onIncrement_ = std::move(handler); }

protected:
    void step(bool up, bool ctrl) override;
    bool acceptsKey(char32_t c) const override;
    void normalise() override;

private:
    IntegerSpinValue model_;
    IncrementHandler onIncrement_;
    bool ownerIncrement_ = false;
};

} // namespace kestrix::gui
