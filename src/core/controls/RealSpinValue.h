// The value behind a real-number spin box: reading its text with the locale's separators, limits,
// the four number formats for writing, and the arrow steps.
#pragma once

#include "core/controls/SpinLimits.h"
#include "core/util/FormatSettings.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrix {

enum class NumberFormat { Standard, Scientific, Fixed, Thousands };

// `value` in one of the number formats with `digits` significant digits (scientific) or
// decimals (fixed, thousands); standard is the shortest general form with up to 15 digits.
std::string formatReal(double value, NumberFormat format, int digits, const FormatSettings& fs);
// A box's text as a number: every thousands separator is dropped, the rest must be a whole
// floating-point text with the locale's decimal separator.
std::optional<double> parseReal(std::string_view text, const FormatSettings& fs);

class RealSpinValue : public SpinLimits<double> {
public:
    int digits() const { return digits_; }
    // Kept in 0..18, the most a 64-bit float can show meaningfully in any of the formats.
    void setDigits(int digits);
    NumberFormat numFormat() const { return numFormat_; }
    void setNumFormat(NumberFormat format) { numFormat_ = format; }

    // The value: last read from a valid text or last written, always within the limits.
    double value() const { return value_; }

    // Takes the number of a changed text; an invalid text leaves the value as it was.
    void read(std::string_view text, const FormatSettings& fs);
    // Clamps and keeps the value, returning the text to show. A value that is not finite (a
    // caller's division by zero) is refused and the current value is shown instead.
    std::string write(double value, const FormatSettings& fs);
    std::string format(double value, const FormatSettings& fs) const;
    double stepped(double current, bool up, bool ctrl) const;

private:
    double value_ = 0;
    int digits_ = 5;
    NumberFormat numFormat_ = NumberFormat::Standard;
};

} // namespace kestrix
