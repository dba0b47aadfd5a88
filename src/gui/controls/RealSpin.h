// RealSpin: a spin box holding a 64-bit floating-point number, written in one of four formats
// with the locale's separators.
#pragma once

#include "core/controls/RealSpinValue.h"
#include "gui/controls/NumberSpin.h"

namespace kestrix::gui {

class RealSpin : public NumberSpin<double, RealSpinValue> {
    Q_OBJECT
public:
    explicit RealSpin(QWidget* parent = nullptr);

    // The value last read from a valid text (at every change of the text) or last written.
    double value() const { return model_.value(); }
    // Clamps, keeps and shows the value; onChange handlers already see the exact value.
    void setValue(double value);

    // Changing the digits or the format rewrites the value in the new form.
    int digits() const { return model_.digits(); }
    void setDigits(int digits);
    NumberFormat numFormat() const { return model_.numFormat(); }
    void setNumFormat(NumberFormat format);

protected:
    double currentValue() override { return value(); }
    void writeValue(double value) override { setValue(value); }
    bool acceptsKey(char32_t c) const override;
    void normalise() override;
    void textChangedHook(bool written) override;
    void localeChangedHook() override;
};

} // namespace kestrix::gui
