// The bytes of a reply: the status line and header fields every page answer carries, and the
// short texts of the server's own refusals.
#pragma once

#include "web/PageServer.h"

#include <ctime>
#include <string>

namespace kestrix::web {

struct ReplyBytes {
    std::string head;
    std::string body;
};

// The reply as sent; for a HEAD request the body is left out but its length is still given. A
// status outside 200-599 or a malformed or reserved header field turns it into a 500.
ReplyBytes renderReply(PageReply reply, bool headRequest, std::time_t now);

// The server's own answer for `status` (400, 405, 408, 413, 431, 500, 503, 505, ...).
PageReply refusal(int status);

// "Not Found" for 404; "" for a status without a phrase of its own.
const char* reasonPhrase(int status);

} // namespace kestrix::web
