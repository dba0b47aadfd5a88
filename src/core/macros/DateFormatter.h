// Date and time formatting with the program's format language: d, m, y, h, n, s, z, t, c, e, g
// runs, am/pm, a/p, ampm, "/" and ":" separators and quoted text.
#pragma once

#include "core/util/DateTime.h"
#include "core/util/FormatSettings.h"

#include <string>
#include <string_view>

namespace kestrix {

// An empty format formats as "c". Formats taken from the locale (c, ddddd, t, ...) nest at most
// two levels deep.
std::string formatDateTime(std::string_view format, DateTime value, const FormatSettings& fs);

} // namespace kestrix
