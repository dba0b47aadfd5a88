// Reading a request head: where it ends, whether it is one the pages answer, and the request the
// handler sees. Only the request line and the fields that decide the framing are looked at.
#pragma once

#include "web/PageServer.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrix::web {

// Index just past the empty line that ends the head in `bytes` (CR LF or bare LF line ends), or
// npos. The search starts near `from`, the size already searched, so that trickled bytes are not
// scanned again and again.
size_t findHeadEnd(std::string_view bytes, size_t from = 0);

struct ParsedHead {
    // 0 when the request goes to the handler, else the status of the server's refusal.
    int refusal = 0;
    PageRequest request; // method, path and query; valid only when refusal is 0
};

// `head` is everything up to and including the empty line.
ParsedHead parseRequestHead(std::string_view head, size_t maxBodyBytes);

// The path of a request target with %XX escapes decoded, or nothing when an escape is malformed or
// the result holds a control character or is not UTF-8 (overlong forms included).
std::optional<std::string> decodePath(std::string_view raw);

} // namespace kestrix::web
