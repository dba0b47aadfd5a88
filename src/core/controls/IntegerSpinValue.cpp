#include "core/controls/IntegerSpinValue.h"

#include "core/controls/SpinMath.h"
#include "core/util/Text.h"

#include <algorithm>

namespace kestrix {

void IntegerSpinValue::setHexDigits(int digits) {
    hexDigits_ = std::clamp(digits, 0, 16);
}

int64_t IntegerSpinValue::read(std::string_view text) {
    auto parsed = hexMode_ ? parseInt64("$" + std::string(text)) : parseInt64(text);
    if (!parsed)
        return clamp(remembered_);
    remembered_ = clamp(*parsed);
    return remembered_;
}

std::string IntegerSpinValue::write(int64_t value) {
    remembered_ = value;
    return format(clamp(value));
}

std::string IntegerSpinValue::format(int64_t value) const {
    if (!hexMode_)
        return std::to_string(value);
    // Negative values show their two's complement, which reads back as the same value.
    return strPrintf("%0*llX", hexDigits_,
                     static_cast<unsigned long long>(static_cast<uint64_t>(value)));
}

std::string IntegerSpinValue::normalise(std::string_view text) {
    const int64_t value = text.empty() ? read(format(remembered_)) : read(text);
    return write(value);
}

int64_t IntegerSpinValue::stepped(int64_t current, bool up, bool ctrl) const {
    const int64_t step = ctrl ? saturatingMul(increment_, 10) : increment_;
    return up ? saturatingAdd(current, step) : saturatingAdd(current, saturatingMul(step, -1));
}

} // namespace kestrix
