// HMAC-SHA256 (RFC 2104) over the program's own SHA-256, for signing webhook bodies as the
// common webhook conventions do.
#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// The MAC in lower-case hex (64 digits).
std::string hmacSha256Hex(std::string_view key, std::string_view message);

} // namespace kestrix
