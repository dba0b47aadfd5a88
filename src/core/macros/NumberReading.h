// Reading the first number out of a macro argument.
#pragma once

#include "core/util/FormatSettings.h"

#include <string_view>

namespace kestrix {

// The first number in `text`: an optional minus sign and decimal separator collected before the
// first digit (other characters start over), digits with at most one separator, then an
// optional exponent. A text without digits reads as 0; an exponent mark without digits ("5e")
// raises "'5e' is not a valid floating point value".
double readFirstNumber(std::string_view text, const FormatSettings& fs);

} // namespace kestrix
