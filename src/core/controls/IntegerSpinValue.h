// The value behind an integer spin box: reading its text (decimal, or hexadecimal in hex mode),
// limits, the last valid value, the text written back and the arrow steps.
#pragma once

#include "core/controls/SpinLimits.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

class IntegerSpinValue : public SpinLimits<int64_t> {
public:
    bool hexMode() const { return hexMode_; }
    void setHexMode(bool on) { hexMode_ = on; }
    int hexDigits() const { return hexDigits_; }
    // A 64-bit value never needs more than 16 hexadecimal digits; the count is kept in 0..16.
    void setHexDigits(int digits);

    // The last valid value read, or the last value written (unclamped).
    int64_t remembered() const { return remembered_; }

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
    int64_t remembered_ = 0;
    int hexDigits_ = 4;
    bool hexMode_ = false;
};

} // namespace kestrix
