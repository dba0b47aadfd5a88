// Macros inside link addresses: <date>OFFSET,FORMAT</date> and
// <counter>MULTIPLIER,OFFSET1,OFFSET2,ZEROS,WIDTH</counter>, replaced by text computed from the
// current UTC time each time an address is used.
#pragma once

#include "core/util/Clock.h"
#include "core/util/FormatSettings.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

constexpr size_t kMaxMacroArgs = 10;
constexpr size_t kMaxMacroArgLength = 255;

struct MacroElement {
    bool found = false;
    size_t start = 0; // position of the element's "<"
    size_t end = 0;   // position just after its closing tag
    std::string tag;
    std::string args;
};

// The next complete element at or after `from`. A tag ending in a backslash stands alone: it
// has no arguments and no closing tag, and ends after its own ">".
MacroElement findMacroElement(std::string_view text, size_t from);

// Up to ten comma-separated arguments of at most 255 characters; the list ends at the first
// empty argument.
std::vector<std::string> splitMacroArgs(std::string_view args);

// The current UTC time, from the clock.
DateTime utcNow(const Clock& clock);

std::string dateMacroValue(std::string_view args, DateTime utcNow, const FormatSettings& fs);
std::string counterMacroValue(std::string_view args, DateTime utcNow, const FormatSettings& fs);

// Replaces every date and counter macro of `text` by its value; everything else stays. Expansion
// stops at the first "<" that does not begin a complete element. A number that cannot be
// converted raises a conversion error.
std::string expandUrlMacros(std::string_view text, const Clock& clock, const FormatSettings& fs);

} // namespace kestrix
