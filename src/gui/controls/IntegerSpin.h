// IntegerSpin: a spin box holding a signed 64-bit integer, in decimal or hexadecimal.
#pragma once

#include "core/controls/IntegerSpinValue.h"
#include "gui/controls/NumberSpin.h"

namespace kestrix::gui {

class IntegerSpin : public NumberSpin<int64_t, IntegerSpinValue> {
    Q_OBJECT
public:
    explicit IntegerSpin(QWidget* parent = nullptr);

    // Reads the text: a valid number is clamped and remembered, anything else gives the
    // remembered value.
    int64_t value();
    // Remembers the value and shows it clamped.
    void setValue(int64_t value);

    bool hexMode() const { return model_.hexMode(); }
    // Changing the mode or the digit count rewrites the value in the new form.
    void setHexMode(bool on);
    int hexDigits() const { return model_.hexDigits(); }
    void setHexDigits(int digits);

protected:
    int64_t currentValue() override { return value(); }
    void writeValue(int64_t value) override { setValue(value); }
    bool acceptsKey(char32_t c) const override;
    void normalise() override;
};

} // namespace kestrix::gui
