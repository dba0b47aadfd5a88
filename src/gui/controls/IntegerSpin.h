// IntegerSpin: a spin box holding a signed 64-bit integer, in decimal or hexadecimal.
#pragma once

#include "gui/controls/CustomSpin.h"
#include "core/controls/IntegerSpinValue.h"

#include <functional>

namespace kestrix::gui {

class IntegerSpin : public CustomSpin {
    Q_OBJECT
public:
    // With ownerIncrement on, a step calls this with the signed step and the current value; the
    // value it leaves is written.
    using IncrementHandler = std::function<void(int64_t inc, int64_t& value)>;

    explicit IntegerSpin(QWidget* parent = nullptr);

    // Reads the text: a valid number is clamped and remembered, anything else gives the
    // remembered value.
    int64_t value();
    // Remembers the value and shows it clamped.
    void setValue(int64_t value);

    int64_t minValue() const { return model_.minValue(); }
    void setMinValue(int64_t value) { model_.setMinValue(value); }
    int64_t maxValue() const { return model_.maxValue(); }
    void setMaxValue(int64_t value) { model_.setMaxValue(value); }
    bool useLimit() const { return model_.useLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    int64_t increment() const { return model_.increment(); }
    void setIncrement(int64_t step) { model_.setIncrement(step); }
    bool hexMode() const { return model_.hexMode(); }
    // Changing the mode or the digit count rewrites the value in the new form.
    void setHexMode(bool on);
    int hexDigits() const { return model_.hexDigits(); }
    void setHexDigits(int digits);
    bool ownerIncrement() const { return ownerIncrement_; }
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
