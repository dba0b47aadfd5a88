// The watch's state as JSON, and the escaping every page uses. Every text is escaped and valid
// UTF-8. (The pages themselves are in web/ArchivePages.h.)
#pragma once

#include "core/watch/WatchState.h"

#include <string>

namespace kestrix::web {

// {"links":[{"link","url","status","last_new","error","latest","failures"},...],
//  "watch":{...},"retention":{...}}
std::string statusJson(const WatchSnapshot& snapshot);

// Text for HTML, escaped and valid UTF-8.
std::string htmlEscape(const std::string& text);
// Each path segment percent-encoded, the slashes kept.
std::string urlPath(const std::string& path);
// Every byte but letters, digits and -._~ (and '/' with `keepSlashes`) percent-encoded.
std::string percentEncoded(const std::string& text, bool keepSlashes);

} // namespace kestrix::web
