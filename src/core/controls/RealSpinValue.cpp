#include "core/controls/RealSpinValue.h"

#include "core/util/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrix {

namespace {

constexpr int kStandardPrecision = 15;
constexpr int kExponentDigits = 4;

// "-d.dddE+dddd": `digits` significant digits, the exponent signed and at least four digits long.
std::string scientific(double value, int digits, const FormatSettings& fs) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", std::max(digits, 1) - 1, value);
    std::string text(buf);
    const size_t e = text.find('E');
    std::string mantissa = text.substr(0, e);
    std::replace(mantissa.begin(), mantissa.end(), '.', fs.decimalSeparator);
    const char sign = text[e + 1];
    std::string exponent = text.substr(e + 2);
    if (exponent.size() < kExponentDigits)
        exponent.insert(0, kExponentDigits - exponent.size(), '0');
    return mantissa + 'E' + sign + exponent;
}

// Fixed notation with the thousands separator between groups of three integer digits.
std::string thousands(double value, int digits, const FormatSettings& fs) {
    const std::string fixed = floatToStrFixed(value, digits, fs);
    const size_t start = fixed[0] == '-' ? 1 : 0;
    size_t end = start;
    while (end < fixed.size() && fixed[end] >= '0' && fixed[end] <= '9')
        ++end;
    std::string out = fixed.substr(0, start);
    for (size_t i = start; i < end; ++i) {
        if (i > start && (end - i) % 3 == 0)
            out += fs.thousandSeparator;
        out += fixed[i];
    }
    return out + fixed.substr(end);
}

} // namespace

std::string formatReal(double value, NumberFormat format, int digits, const FormatSettings& fs) {
    if (!std::isfinite(value))
        return floatToStrGeneral(value, fs);
    switch (format) {
    case NumberFormat::Scientific:
        return scientific(value, digits, fs);
    case NumberFormat::Fixed:
        return floatToStrFixed(value, digits, fs);
    case NumberFormat::Thousands:
        return thousands(value, digits, fs);
    case NumberFormat::Standard:
        break;
    }
    return floatToStrGeneral(value, fs, kStandardPrecision);
}

std::optional<double> parseReal(std::string_view text, const FormatSettings& fs) {
    // A locale whose two separators coincide cannot group digits: the character is the decimal
    // separator then, or every decimal number would read ten or a hundred times too large.
    if (fs.thousandSeparator == fs.decimalSeparator)
        return parseFloat(text, fs);
    std::string plain(text);
    std::erase(plain, fs.thousandSeparator);
    return parseFloat(plain, fs);
}

void RealSpinValue::setDigits(int digits) {
    digits_ = std::clamp(digits, 0, 18);
}

void RealSpinValue::read(std::string_view text, const FormatSettings& fs) {
    if (auto parsed = parseReal(text, fs))
        value_ = clamp(*parsed);
}

std::string RealSpinValue::write(double value, const FormatSettings& fs) {
    if (std::isfinite(value))
        value_ = clamp(value);
    return format(value_, fs);
}

std::string RealSpinValue::format(double value, const FormatSettings& fs) const {
    return formatReal(value, numFormat_, digits_, fs);
}

double RealSpinValue::stepped(double current, bool up, bool ctrl) const {
    const double step = ctrl ? increment_ * 10 : increment_;
    return up ? current + step : current - step;
}

} // namespace kestrix
