// The macro editor's rules without its widgets: writing date and counter macros from their
// settings, reading a found macro's arguments back into settings, the multiplier/divider
// reciprocal, and where "Find Next Macro" starts looking.
#pragma once

#include "core/macros/URLMacros.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

struct DateMacroSettings {
    double offsetHours = 0; // from UTC
    std::string format;
};

struct CounterMacroSettings {
    double multiplier = 1;
    double offset1 = 0; // added to the seconds before multiplying
    double offset2 = 0; // added after multiplying
    bool leadingZeros = false;
    int64_t width = 0;
};

// A number as the editor writes it into a macro: general format, up to 18 significant digits,
// always with "." as the decimal separator.
std::string macroNumber(double value);

// "<date>OFFSET,FORMAT</date>"; the format goes in as written.
std::string composeDateMacro(const DateMacroSettings& settings);
// "<counter>MULTIPLIER,OFFSET1,OFFSET2,ZEROS,WIDTH</counter>", ZEROS being 1 or 0.
std::string composeCounterMacro(const CounterMacroSettings& settings);

// A found macro's arguments read the way expansion reads them: numbers with ".", an argument
// the macro does not give reads 0 (or as the empty format). An unconvertible number such as
// "5e" raises a conversion error.
DateMacroSettings readDateMacro(std::string_view args);
CounterMacroSettings readCounterMacro(std::string_view args);

// 1/x for the multiplier/divider pair; 0 where no finite reciprocal exists (x = 0, or x so
// small that 1/x overflows).
double reciprocal(double x);

// The element "Find Next Macro" selects, given the edit's text and its selection (byte
// positions in the UTF-8 text). The search begins one character before the selection's end, so
// after a found element it begins at the element's last character; with the cursor at the end
// of the text it begins at the start again.
MacroElement findNextMacro(std::string_view text, size_t selStart, size_t selLength);

} // namespace kestrix
