// Resolution of a reference (a redirect's Location) against the address that was asked for, by
// the rules of RFC 3986 section 5: "cam2.jpg", "../x", "sub/x", "?q", "/x" and "//host/x" keep
// what the base gives them; a reference with a scheme stands as it is. A fragment is dropped,
// since it is never sent.
#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// `base` is an absolute address ("http://h:8080/dir/rel?x").
std::string resolveReference(std::string_view base, std::string_view reference);

// "a/b/../c/./d" -> "a/c/d", as RFC 3986 section 5.2.4 removes dot segments.
std::string removeDotSegments(std::string_view path);

} // namespace kestrix
