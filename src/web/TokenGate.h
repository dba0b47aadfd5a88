// A token in front of the site, for anyone who serves it beyond this machine: every request must
// carry it, as "?token=TOKEN" (a first visit, which also sets an HttpOnly, SameSite=Strict
// cookie, so that the page's own requests and later visits carry it), as that cookie, or as
// "Authorization: Bearer TOKEN" (scripts, probes). Anything else is answered 401.
#pragma once

#include "web/PageServer.h"

#include <string>

namespace kestrix::web {

constexpr const char* kTokenCookie = "kestrix_token";
constexpr size_t kMinTokenLength = 16;
constexpr size_t kMaxTokenLength = 256;

// The token of --serve-token TEXT or --serve-token-file FILE (its first line, blanks around it
// dropped); "" when neither is given. Raises for both at once, for a file that cannot be read
// and for a token that is too short, too long, or holds characters other than letters, digits
// and -._~+/= (it travels in a cookie and a header).
std::string serveToken(const std::string& token, const std::string& tokenFile);

// `site` behind `token`; an empty token lets every request through unchanged.
PageHandler tokenGate(std::string token, PageHandler site);

} // namespace kestrix::web
