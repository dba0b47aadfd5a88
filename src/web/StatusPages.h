// What the watch's page shows: the status page (plain HTML, no external assets, refreshing itself
// every 10 seconds) and the same as JSON. Every text is escaped and valid UTF-8.
#pragma once

#include "core/watch/WatchState.h"

#include <string>

namespace kestrix::web {

// {"links":[{"link","url","status","last_new","error","latest","failures"},...],
//  "watch":{...},"retention":{...}}
std::string statusJson(const WatchSnapshot& snapshot);
std::string statusPage(const WatchSnapshot& snapshot);

// Text for HTML, escaped and valid UTF-8.
std::string htmlEscape(const std::string& text);
// Each path segment percent-encoded, the slashes kept.
std::string urlPath(const std::string& path);

} // namespace kestrix::web
