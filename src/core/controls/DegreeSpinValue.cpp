#include "core/controls/DegreeSpinValue.h"

#include "core/controls/SpinMath.h"
#include "core/util/Text.h"

#include <algorithm>
#include <cmath>

namespace kestrix {

namespace {

// Units per last shown digit of the seconds, by Digits.
constexpr std::array<int64_t, 6> kShownStep{100'000, 10'000, 1'000, 100, 10, 1};

// Keeps a count off the most negative 64-bit value, whose magnitude does not exist.
int64_t symmetric(int64_t units) {
    return std::max(units, -DegreeSpinValue::kMaxUnits);
}

int64_t magnitude(int64_t value) {
    return value < 0 ? -symmetric(value) : value;
}

int64_t negated(int64_t value) {
    return -symmetric(value);
}

} // namespace

DegreeParts splitUnits(int64_t units) {
    DegreeParts p;
    p.negative = units < 0;
    int64_t rest = magnitude(units);
    p.degrees = rest / kUnitsPerDegree;
    rest %= kUnitsPerDegree;
    p.minutes = rest / kUnitsPerMinute;
    rest %= kUnitsPerMinute;
    p.seconds = rest / kUnitsPerSecond;
    p.fraction = rest % kUnitsPerSecond;
    return p;
}

void DegreeSpinValue::setDigits(int digits) {
    digits_ = std::clamp(digits, 0, 5);
    units_ = truncate(units_);
}

void DegreeSpinValue::setDegrees(double degrees) {
    if (!std::isnan(degrees))
        setUnits(roundToInt64(degrees * kUnitsPerDegree));
}

int64_t DegreeSpinValue::clamp(int64_t units) const {
    if (!useLimit_)
        return units;
    // Both tests look at the value before clamping; the minimum is tested last and wins.
    const double degrees = static_cast<double>(units) / kUnitsPerDegree;
    int64_t result = units;
    if (degrees >= max_)
        result = truncToInt64(max_ * kUnitsPerDegree);
    if (degrees < min_)
        result = roundToInt64(min_ * kUnitsPerDegree);
    return result;
}

int64_t DegreeSpinValue::truncate(int64_t units) const {
    return units - units % kShownStep[static_cast<size_t>(digits_)];
}

void DegreeSpinValue::setUnits(int64_t units) {
    units_ = truncate(symmetric(clamp(symmetric(units))));
}

std::array<std::string, 3> DegreeSpinValue::texts(const FormatSettings& fs) const {
    const DegreeParts p = splitUnits(units_);
    std::string seconds = std::to_string(p.seconds);
    // Truncation keeps the fraction to the shown decimals, so a fraction always has one of them
    // that is not zero.
    if (p.fraction != 0)
        seconds += fs.decimalSeparator + strPrintf("%05lld", static_cast<long long>(p.fraction))
                                             .substr(0, static_cast<size_t>(digits_));
    return {(p.negative ? "-" : "") + std::to_string(p.degrees), std::to_string(p.minutes),
            seconds};
}

DegreeTyping DegreeSpinValue::typed(std::string_view degrees, std::string_view minutes,
                                    std::string_view seconds, const FormatSettings& fs) {
    const auto d = parseInt64(degrees);
    const auto m = parseInt64(minutes);
    const auto s = parseFloat(seconds, fs);
    if (!d || !m || !s)
        return DegreeTyping::Ignored;
    const bool valid = *m >= 0 && *m <= 59 && *s >= 0 && *s < 60;
    if (!valid && !autoCorrect_)
        return DegreeTyping::ChangeOnly;
    // "-0" in the degrees box carries the sign of a value under one degree.
    const bool negative = *d < 0 || *m < 0 || *s < 0 || degrees.find('-') != std::string_view::npos;
    const int64_t total =
        saturatingAdd(saturatingAdd(saturatingMul(magnitude(*d), kUnitsPerDegree),
                                    saturatingMul(magnitude(*m), kUnitsPerMinute)),
                      roundToInt64(std::fabs(*s) * kUnitsPerSecond));
    const int64_t units = negative ? negated(total) : total;
    if (units == units_)
        return DegreeTyping::Unchanged;
    setUnits(units);
    return DegreeTyping::Updated;
}

void DegreeSpinValue::step(int box, bool up) {
    const int64_t delta = box == 0   ? kUnitsPerDegree
                          : box == 1 ? kUnitsPerMinute
                                     : roundToInt64(secInc_ * kUnitsPerSecond);
    setUnits(saturatingAdd(units_, up ? delta : negated(delta)));
}

} // namespace kestrix
