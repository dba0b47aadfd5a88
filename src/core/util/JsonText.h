// Text for JSON and web pages: UTF-8 repaired (every invalid byte becomes U+FFFD), JSON strings,
// and ISO 8601 times in UTC. Link names and server texts come from files and cameras, so they may
// hold any byte; what the program writes for others to parse must stay valid.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace kestrix {

// `text` with every byte that does not begin a valid UTF-8 sequence (overlong forms, surrogates
// and code points above U+10FFFF included) replaced by U+FFFD.
std::string toValidUtf8(std::string_view text);

// The text as a JSON string, quotes included: valid UTF-8, with quotes, backslashes and control
// characters escaped.
std::string jsonString(std::string_view text);

// 2026-12-09T07:13:41Z.
std::string isoUtc(std::time_t time);

} // namespace kestrix
