// The value behind an integer spin box: reading its text (decimal, or hexadecimal in hex mode),
// limits, the last valid value, the text written back and the arrow steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

class IntegerSpinValue {
public:
    int64_t minValue() const { return min_; }
    void setMinValue(int64_t value) { min_ = value; }
    int64_t maxValue() const { return max_; }
    void setMaxValue(int64_t value) { max_ = value; }
    bool useLimit() const { return useLimit_; }
    void setUseLimit(bool on) { useLimit_ = on; }
    int64_t increment() const { return increment_; }
    void setIncrement(int64_t step) { increment_ = step; }
    bool hexMode() const { return hexMode_; }
    void setHexMode(bool on) { hexMode_ = on; }
    int hexDigits() const { return hexDigits_; }
    // A 64-bit value never needs more than 16 hexadecimal digits; the count is kept in 0..16.
    void setHexDigits(int digits);

    // The last valid value read, or the last value written (unclamped).
    int64_t remembered() const { return remembered_; }

    int64_t clamp(int64_t value) const;
    // The value of a box's text: a valid number is clamped and remembered; anything else gives
    // the remembered value, brought into the limits.
    int64_t read(std::string_view text);
    // Remembers the value as given and returns the text the box shows: the clamped value.
    std::string write(int64_t value);
    // The text for a value, without clamping.
    std::string format(int64_t value) const;
    // The box's text after the focus leaves it: an empty text stands for the remembered value,
    // then the value is read and written back clamped and in canonical form.
    std::string normalise(std::string_view text);
    // One arrow step from `current`: Increment up or down, ten times as far with Ctrl held.
    int64_t stepped(int64_t current, bool up, bool ctrl) const;

private:
    int64_t min_ = 0;
    int64_t max_ = 0;
    int64_t increment_ = 1;
    int64_t remembered_ = 0;
    int hexDigits_ = 4;
    bool useLimit_ = false;
    bool hexMode_ = false;
};

} // namespace kestrix
