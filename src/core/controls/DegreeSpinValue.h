// The value behind a degree (or hours) spin: a signed count of 1/100000 seconds, shown as three
// boxes (degrees, minutes, seconds) and edited by typing into any box or by per-box arrows.
#pragma once

#include "core/util/FormatSettings.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

constexpr int64_t kUnitsPerSecond = 100'000;
constexpr int64_t kUnitsPerMinute = 60 * kUnitsPerSecond;
constexpr int64_t kUnitsPerDegree = 60 * kUnitsPerMinute;

// The shown parts of a value: whole degrees, minutes and seconds of its magnitude and the rest
// of a second in units (0 .. 99,999).
struct DegreeParts {
    bool negative = false;
    int64_t degrees = 0;
    int64_t minutes = 0;
    int64_t seconds = 0;
    int64_t fraction = 0;
};

DegreeParts splitUnits(int64_t units);

// What typing into one of the boxes did.
enum class DegreeTyping {
    Ignored,    // a box does not read as a number: nothing happens
    ChangeOnly, // the parts are out of range and auto-correction is off: only the change event
    Unchanged,  // the texts spell the current value: nothing happens
    Updated,    // the value changed: show it normalised and fire the change event
};

class DegreeSpinValue {
public:
    // The units never reach the most negative 64-bit value, so the magnitude is always defined.
    static constexpr int64_t kMaxUnits = INT64_MAX;

    double minValue() const { return min_; }
    void setMinValue(double degrees) { min_ = degrees; }
    double maxValue() const { return max_; }
    void setMaxValue(double degrees) { max_ = degrees; }
    bool useLimit() const { return useLimit_; }
    void setUseLimit(bool on) { useLimit_ = on; }
    bool autoCorrect() const { return autoCorrect_; }
    void setAutoCorrect(bool on) { autoCorrect_ = on; }
    double secInc() const { return secInc_; }
    void setSecInc(double seconds) { secInc_ = seconds; }
    int digits() const { return digits_; }
    // Decimals of the seconds box, 0 to 5; the current value is truncated to the new precision.
    void setDigits(int digits);

    int64_t units() const { return units_; }
    double degrees() const { return static_cast<double>(units_) / kUnitsPerDegree; }
    // Rounds to units, clamps and truncates to the shown precision. NaN is refused.
    void setDegrees(double degrees);

    // The limits applied to a count of units (when useLimit is on).
    int64_t clamp(int64_t units) const;
    // Toward zero to a multiple of 10^(5 - Digits) units: what the seconds box can show.
    int64_t truncate(int64_t units) const;

    // The texts of the degrees, minutes and seconds boxes; the seconds carry up to Digits
    // decimals with the locale's separator, and a negative value under one degree shows "-0".
    std::array<std::string, 3> texts(const FormatSettings& fs) const;

    // The three box texts as the user left them after a change of any of them.
    DegreeTyping typed(std::string_view degrees, std::string_view minutes, std::string_view seconds,
                       const FormatSettings& fs);
    // One click of a box's arrows (box 0 degrees, 1 minutes, 2 seconds by secInc).
    void step(int box, bool up);

private:
    // Clamps and truncates a new count of units and keeps it.
    void setUnits(int64_t units);

    int64_t units_ = 0;
    double min_ = 0;
    double max_ = 0;
    double secInc_ = 1;
    int digits_ = 1;
    bool useLimit_ = false;
    bool autoCorrect_ = true;
};

} // namespace kestrix
