#include "core/macros/MacroComposer.h"

#include "core/controls/SpinMath.h"
#include "core/macros/NumberReading.h"
#include "core/util/Text.h"

#include <cmath>
#include <vector>

namespace kestrix {

namespace {

// Enough digits for every double to read back as itself.
constexpr int kMacroDigits = 18;

// Macro numbers never follow the locale: a comma already separates the arguments, and a link
// file must read the same wherever it is opened.
const FormatSettings& pointSettings() {
    static const FormatSettings kPoint = [] {
        FormatSettings fs;
        fs.decimalSeparator = '.';
        return fs;
    }();
    return kPoint;
}

double numberArg(const std::vector<std::string>& args, size_t i) {
    return i < args.size() ? readFirstNumber(args[i], pointSettings()) : 0.0;
}

} // namespace

std::string macroNumber(double value) {
    return floatToStrGeneral(value, pointSettings(), kMacroDigits);
}

std::string composeDateMacro(const DateMacroSettings& settings) {
    return "<date>" + macroNumber(settings.offsetHours) + "," + settings.format + "</date>";
}

std::string composeCounterMacro(const CounterMacroSettings& settings) {
    return "<counter>" + macroNumber(settings.multiplier) + "," + macroNumber(settings.offset1) +
           "," + macroNumber(settings.offset2) + (settings.leadingZeros ? ",1," : ",0,") +
           std::to_string(settings.width) + "</counter>";
}

DateMacroSettings readDateMacro(std::string_view args) {
    const auto list = splitMacroArgs(args);
    DateMacroSettings settings;
    settings.offsetHours = numberArg(list, 0);
    if (list.size() > 1)
        settings.format = list[1];
    return settings;
}

CounterMacroSettings readCounterMacro(std::string_view args) {
    const auto list = splitMacroArgs(args);
    CounterMacroSettings settings;
    settings.multiplier = numberArg(list, 0);
    settings.offset1 = numberArg(list, 1);
    settings.offset2 = numberArg(list, 2);
    // The same test expansion applies, so the box is ticked exactly when the macro adds zeros.
    settings.leadingZeros = truncToInt64(numberArg(list, 3)) > 0;
    settings.width = truncToInt64(numberArg(list, 4));
    return settings;
}

double reciprocal(double x) {
    if (x == 0)
        return 0;
    const double r = 1 / x;
    return std::isfinite(r) ? r : 0;
}

MacroElement findNextMacro(std::string_view text, size_t selStart, size_t selLength) {
    const size_t selEnd = selStart + selLength;
    const size_t from = selStart >= text.size() || selEnd == 0 ? 0 : selEnd - 1;
    return findMacroElement(text, from);
}

} // namespace kestrix
