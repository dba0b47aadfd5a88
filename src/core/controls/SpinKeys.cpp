#include "core/controls/SpinKeys.h"

namespace kestrix {

namespace {

bool isDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}
bool isSign(char32_t c) {
    return c == U'+' || c == U'-';
}
bool isHexLetter(char32_t c) {
    return (c >= U'A' && c <= U'F') || (c >= U'a' && c <= U'f');
}
bool is(char32_t c, char separator) {
    return c == static_cast<unsigned char>(separator);
}
bool isPassingControl(char32_t c) {
    return isControlKey(c) && !isEnterKey(c);
}

} // namespace

bool isEnterKey(char32_t c) {
    return c == U'\r' || c == U'\n';
}

bool isControlKey(char32_t c) {
    return c < 0x20 || c == 0x7F;
}

bool editorAcceptsKey(char32_t c, bool editorEnabled) {
    return editorEnabled || (isControlKey(c) && c != U'\b');
}

bool integerSpinAcceptsKey(char32_t c, bool hexMode, const FormatSettings& fs) {
    if (isPassingControl(c) || isDigit(c))
        return true;
    if (hexMode)
        return isHexLetter(c);
    return isSign(c) || is(c, fs.decimalSeparator);
}

bool realSpinAcceptsKey(char32_t c, const FormatSettings& fs) {
    return isPassingControl(c) || isDigit(c) || isSign(c) || c == U'E' || c == U'e' ||
           is(c, fs.decimalSeparator) || is(c, fs.thousandSeparator);
}

bool degreeSpinAcceptsKey(char32_t c, const FormatSettings& fs) {
    return isPassingControl(c) || isDigit(c) || isSign(c) || is(c, fs.decimalSeparator);
}

} // namespace kestrix
