#include "core/util/Duration.h"

#include "core/util/Error.h"

#include <cmath>
#include <string>

namespace kestrix {

std::chrono::seconds parseDuration(std::string_view text) {
    const std::string copy(text);
    const auto invalid = [&] {
        return Error("Invalid duration: " + copy + " (use a number with s, m, h or d)");
    };
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || !std::isfinite(value) || value < 0)
        throw invalid();
    const std::string unit(end);
    double factor = 0;
    if (unit.empty() || unit == "s")
        factor = 1;
    else if (unit == "m")
        factor = 60;
    else if (unit == "h")
        factor = 3600;
    else if (unit == "d")
        factor = 86400;
    else
        throw invalid();
    const double seconds = value * factor;
    if (seconds > 10.0 * 366 * 86400)
        throw invalid();
    return std::chrono::seconds(static_cast<int64_t>(std::llround(seconds)));
}

} // namespace kestrix
