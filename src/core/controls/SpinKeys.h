// Which typed characters the spin controls let into their boxes. A refused character beeps and
// is dropped; control characters (Backspace, Ctrl+C, ...) pass except Enter, which belongs to the
// dialog's default button.
#pragma once

#include "core/util/FormatSettings.h"

namespace kestrix {

bool isEnterKey(char32_t c);
bool isControlKey(char32_t c);

// Characters a number box can hold at all; with the editor disabled the text can only be spun, so
// Backspace and every printable character are refused as well.
bool editorAcceptsKey(char32_t c, bool editorEnabled);

// Integer box: digits, signs and the decimal separator, or in hex mode digits and A to F.
bool integerSpinAcceptsKey(char32_t c, bool hexMode, const FormatSettings& fs);
// Real box: digits, signs, exponent letters and both separators.
bool realSpinAcceptsKey(char32_t c, const FormatSettings& fs);
// Each of the three boxes of a degree spin: digits, signs and the decimal separator.
bool degreeSpinAcceptsKey(char32_t c, const FormatSettings& fs);

} // namespace kestrix
