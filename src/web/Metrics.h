// The watch's figures in the Prometheus text exposition format (version 0.0.4), for the
// monitoring operators already run: fetches by link and result, bytes, new pictures, each
// camera's state and how many are in each, fetch times and how late fetches start, the archive
// and retention. Label values are escaped and valid UTF-8.
#pragma once

#include "core/watch/WatchState.h"

#include <string>

namespace kestrix::web {

std::string prometheusMetrics(const WatchSnapshot& snapshot);

// A label value as the format wants it: backslash, double quote and line feed escaped.
std::string prometheusLabel(const std::string& value);

} // namespace kestrix::web
