// Spans of time as people write them on a command line: "90s", "30m", "1h", "2d", or a plain
// number of seconds.
#pragma once

#include <chrono>
#include <string_view>

namespace kestrix {

// Raises "Invalid duration: TEXT (use a number with s, m, h or d)" for anything else, a negative
// span or one beyond ten years.
std::chrono::seconds parseDuration(std::string_view text);

} // namespace kestrix
