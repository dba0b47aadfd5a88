#include "web/ReplyText.h"

#include "core/util/Text.h"

#include <array>

namespace kestrix::web {

namespace {

// The server writes these itself; a handler that sets one would break the framing or the
// promise that every answer carries them.
constexpr std::array<std::string_view, 6> kReservedFields = {
    "Content-Type", "Content-Length",         "Connection",
    "Date",         "X-Content-Type-Options", "Transfer-Encoding"};

bool isFieldName(std::string_view name) {
    if (name.empty())
        return false;
    for (char c : name) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && c != '-' && c != '_')
            return false;
    }
    return true;
}

bool isFieldValue(std::string_view value) {
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F)
            return false;
    }
    return true;
}

bool headersAreSound(const PageReply& reply) {
    for (const auto& [name, value] : reply.headers) {
        if (!isFieldName(name) || !isFieldValue(value))
            return false;
        for (std::string_view reserved : kReservedFields)
            if (equalsIgnoreCase(name, reserved))
                return false;
    }
    return isFieldValue(reply.contentType);
}

// RFC 9110's IMF-fixdate, spelled without the C library's locale-dependent names.
std::string httpDate(std::time_t now) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    gmtime_r(&now, &utc);
    return strPrintf("%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday], utc.tm_mday,
                     kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

} // namespace

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "";
    }
}

PageReply refusal(int status) {
    PageReply reply;
    reply.status = status;
    reply.body = std::string(reasonPhrase(status)) + "\n";
    if (status == 405)
        reply.headers.emplace_back("Allow", "GET, HEAD");
    if (status == 503)
        reply.headers.emplace_back("Retry-After", "1");
    return reply;
}

ReplyBytes renderReply(PageReply reply, bool headRequest, std::time_t now) {
    // Below 200 the answer would not be final; the client would wait for another.
    if (reply.status < 200 || reply.status > 599 || !headersAreSound(reply))
        reply = refusal(500);
    bool ownCacheControl = false;
    for (const auto& field : reply.headers)
        ownCacheControl = ownCacheControl || equalsIgnoreCase(field.first, "Cache-Control");

    ReplyBytes bytes;
    std::string& head = bytes.head;
    head = strPrintf("HTTP/1.1 %d %s\r\n", reply.status, reasonPhrase(reply.status));
    head += "Date: " + httpDate(now) + "\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n";
    head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n";
    if (!ownCacheControl)
        head += "Cache-Control: no-store\r\n";
    head += "X-Content-Type-Options: nosniff\r\n";
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    if (!headRequest)
        bytes.body = std::move(reply.body);
    return bytes;
}

} // namespace kestrix::web
