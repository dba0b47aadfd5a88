#include "web/TokenGate.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"
#include "web/RequestHead.h"

#include <algorithm>
#include <string_view>

namespace kestrix::web {

namespace {

constexpr std::string_view kTokenSymbols = "-._~+/=";

bool isTokenText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               kTokenSymbols.find(c) != std::string_view::npos;
    });
}

// Takes as long for a wrong token as for the right one, so that its bytes cannot be guessed one
// at a time from answer times.
bool sameToken(std::string_view given, std::string_view token) {
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(token[i]) ^
                      static_cast<unsigned char>(i < given.size() ? given[i] : 0);
    return difference == 0;
}

bool cookieHolds(std::string_view cookies, std::string_view token) {
    bool found = false;
    while (!cookies.empty()) {
        const size_t semicolon = cookies.find(';');
        const std::string_view pair = trimView(cookies.substr(0, semicolon));
        cookies = semicolon == std::string_view::npos ? std::string_view()
                                                      : cookies.substr(semicolon + 1);
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == kTokenCookie)
            found = sameToken(pair.substr(equals + 1), token) || found;
    }
    return found;
}

bool bearerHolds(std::string_view authorization, std::string_view token) {
    constexpr std::string_view kScheme = "Bearer ";
    return authorization.size() > kScheme.size() &&
           equalsIgnoreCase(authorization.substr(0, kScheme.size()), kScheme) &&
           sameToken(trimView(authorization.substr(kScheme.size())), token);
}

PageReply refused() {
    PageReply reply;
    reply.status = 401;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                 "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                 "<title>Kestrix: token needed</title></head><body>"
                 "<h1>This archive needs its token</h1>"
                 "<form method=\"get\"><label>Token <input name=\"token\" type=\"password\" "
                 "autocomplete=\"current-password\" required></label> "
                 "<button>Open</button></form>"
                 "<p>Scripts send <code>Authorization: Bearer TOKEN</code>.</p></body></html>\n";
    reply.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"kestrix\"");
    return reply;
}

// Shared caches must not keep what only token holders may see.
void keepCachesPrivate(PageReply& reply) {
    for (auto& [name, value] : reply.headers)
        if (equalsIgnoreCase(name, "Cache-Control") &&
            value.find("no-store") == std::string::npos &&
            value.find("private") == std::string::npos)
            value = "private, " + value;
}

} // namespace

std::string serveToken(const std::string& token, const std::string& tokenFile) {
    if (!token.empty() && !tokenFile.empty())
        throw Error("Give --serve-token or --serve-token-file, not both");
    std::string text = token;
    if (!tokenFile.empty()) {
        const std::string bytes = readFileBytes(tokenFile);
        text = trim(std::string_view(bytes).substr(0, bytes.find('\n')));
        if (text.empty())
            throw Error("No token in " + tokenFile);
    }
    if (!text.empty() &&
        (text.size() < kMinTokenLength || text.size() > kMaxTokenLength || !isTokenText(text)))
        throw Error("A serve token takes " + std::to_string(kMinTokenLength) + " to " +
                    std::to_string(kMaxTokenLength) +
                    " letters, digits and -._~+/= (for example: openssl rand -hex 16)");
    return text;
}

PageHandler tokenGate(std::string token, PageHandler site) {
    if (token.empty())
        return site;
    return [token = std::move(token), site = std::move(site)](const PageRequest& request) {
        const std::optional<std::string> inQuery = queryValue(request.query, "token");
        const bool byQuery = inQuery && sameToken(*inQuery, token);
        const bool byCookie = cookieHolds(request.cookie, token);
        if (!byQuery && !byCookie && !bearerHolds(request.authorization, token))
            return refused();
        PageReply reply = site(request);
        keepCachesPrivate(reply);
        if (byQuery && !byCookie)
            reply.headers.emplace_back("Set-Cookie", std::string(kTokenCookie) + "=" + token +
                                                         "; Path=/; Max-Age=31536000; HttpOnly; "
                                                         "SameSite=Strict");
        return reply;
    };
}

} // namespace kestrix::web
