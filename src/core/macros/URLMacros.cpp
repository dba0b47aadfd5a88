#include "core/macros/URLMacros.h"

#include "core/macros/DateFormatter.h"
#include "core/macros/NumberReading.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kestrix {

MacroElement findMacroElement(std::string_view text, size_t from) {
    MacroElement e;
    size_t open = text.find('<', from);
    if (open == std::string_view::npos)
        return e;
    size_t close = text.find('>', open);
    if (close == std::string_view::npos)
        return e;
    e.tag = std::string(text.substr(open + 1, close - open - 1));
    e.start = open;
    if (!e.tag.empty() && e.tag.back() == '\\') {
        e.found = true;
        e.end = close + 1;
        return e;
    }
    const std::string closing = "</" + e.tag + ">";
    size_t closingAt = text.find(closing, close + 1);
    if (closingAt == std::string_view::npos)
        return e;
    e.found = true;
    e.args = std::string(text.substr(close + 1, closingAt - close - 1));
    e.end = closingAt + closing.size();
    return e;
}

std::vector<std::string> splitMacroArgs(std::string_view args) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < args.size() && out.size() < kMaxMacroArgs) {
        size_t comma = args.find(',', pos);
        size_t end = comma == std::string_view::npos ? args.size() : comma;
        if (end == pos)
            break;
        out.emplace_back(args.substr(pos, std::min(end - pos, kMaxMacroArgLength)));
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return out;
}

DateTime utcNow(const Clock& clock) {
    return clock.utcNow();
}

namespace {

// A missing argument reads as 0, or as the empty text.
std::string argOrEmpty(const std::vector<std::string>& args, size_t i) {
    return i < args.size() ? args[i] : std::string();
}

// Numbers in macros always use "." as the decimal separator: a comma already separates the
// arguments, and a link file must read the same whatever the reader's locale.
double numberArg(const std::vector<std::string>& args, size_t i, const FormatSettings& fs) {
    if (i >= args.size())
        return 0.0;
    FormatSettings point = fs;
    point.decimalSeparator = '.';
    return readFirstNumber(args[i], point);
}

// Truncation toward zero, kept inside the 64-bit range.
int64_t truncate64(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 9.2233720368547758e18)
        return std::numeric_limits<int64_t>::max();
    if (v <= -9.2233720368547758e18)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

} // namespace

std::string dateMacroValue(std::string_view text, DateTime utcNow, const FormatSettings& fs) {
    const auto args = splitMacroArgs(text);
    const double offsetHours = numberArg(args, 0, fs);
    return formatDateTime(argOrEmpty(args, 1), utcNow + offsetHours / 24.0, fs);
}

std::string counterMacroValue(std::string_view text, DateTime utcNow, const FormatSettings& fs) {
    const auto args = splitMacroArgs(text);
    const double multiplier = numberArg(args, 0, fs);
    const double offset1 = numberArg(args, 1, fs);
    const double offset2 = numberArg(args, 2, fs);
    const int64_t zeros = truncate64(numberArg(args, 3, fs));
    const int64_t width = truncate64(numberArg(args, 4, fs));
    const double seconds = (utcNow - std::trunc(utcNow)) * 24 * 60 * 60;
    const double value = (seconds + offset1) * multiplier + offset2;
    const int64_t n = truncate64(value);
    if (zeros <= 0)
        return std::to_string(n);
    std::string digits = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(n)));
    // No address holds more than 255 characters, so no wider padding is ever useful; a larger
    // width from a foreign link file must not allocate without bound.
    const size_t wanted = static_cast<size_t>(std::clamp<int64_t>(width, 0, kMaxMacroArgLength));
    if (digits.size() < wanted)
        digits.insert(0, wanted - digits.size(), '0');
    return digits;
}

std::string expandUrlMacros(std::string_view text, const Clock& clock, const FormatSettings& fs) {
    std::string out(text);
    size_t pos = 0;
    for (;;) {
        const MacroElement e = findMacroElement(out, pos);
        if (!e.found)
            return out;
        std::string value;
        if (e.tag == "date")
            value = dateMacroValue(e.args, utcNow(clock), fs);
        else if (e.tag == "counter")
            value = counterMacroValue(e.args, utcNow(clock), fs);
        else {
            pos = e.end;
            continue;
        }
        out.replace(e.start, e.end - e.start, value);
        pos = e.start + value.size();
    }
}

} // namespace kestrix
