// Reading a request head: where it ends, whether it is one the pages answer, and the request the
// handler sees. Only the request line, the fields that decide the framing and the few the pages
// read (Authorization, Cookie, Range) are looked at.
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

// The value of `name` in a query string ("a=1&b=x%2Fy"), decoded as a path is ('+' is a blank);
// nothing when it is missing or does not decode.
std::optional<std::string> queryValue(std::string_view query, std::string_view name);

} // namespace kestrix::web
