#include "cli/WatchStatus.h"

#include "core/util/Text.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace kestrix::cli {

namespace {

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Each path segment percent-encoded, the slashes kept.
std::string urlPath(const std::string& path) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

} // namespace

WatchStatus::WatchStatus(const std::vector<WatchedLink>& links) {
    for (const WatchedLink& link : links) {
        LinkStatus status;
        status.link = link.path;
        status.url = withoutCredentials(link.address);
        links_.push_back(std::move(status));
    }
}

void WatchStatus::record(size_t index, const LinkFetchResult& result, const std::string& saveDir) {
    const std::lock_guard<std::mutex> lock(mutex_);
    LinkStatus& s = links_.at(index);
    s.url = result.url;
    s.status = fetchStatusName(result.status);
    s.error = result.error;
    if (result.status == FetchStatus::New) {
        s.lastNew = result.time;
        s.latest = result.file.substr(std::min(result.file.size(), saveDir.size() + 1));
    }
}

std::vector<LinkStatus> WatchStatus::snapshot() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return links_;
}

std::string isoUtc(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else if (byte < 0x20)
            out += strPrintf("\\u%04x", byte);
        else
            out += c;
    }
    return out + "\"";
}

std::string statusJson(const std::vector<LinkStatus>& links) {
    std::string out = "{\"links\":[";
    for (size_t i = 0; i < links.size(); ++i) {
        const LinkStatus& s = links[i];
        out += std::string(i ? "," : "") + "{\"link\":" + jsonString(s.link) +
               ",\"url\":" + jsonString(s.url) + ",\"status\":" + jsonString(s.status) +
               ",\"last_new\":" + (s.lastNew ? jsonString(isoUtc(s.lastNew)) : "null") +
               ",\"error\":" + jsonString(s.error) +
               ",\"latest\":" + (s.latest.empty() ? "null" : jsonString(s.latest)) + "}";
    }
    return out + "]}\n";
}

std::string statusPage(const std::vector<LinkStatus>& links) {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"refresh\" content=\"10\"><title>Kestrix watch</title><style>"
        "body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}"
        "td,th{border:1px solid #ccc;padding:4px 8px;text-align:left;vertical-align:top}"
        "img{width:160px;display:block}.error{color:#b00}</style></head><body>\n"
        "<h1>Kestrix watch</h1>\n<p>" +
        std::to_string(links.size()) +
        " links. This page refreshes every 10 seconds; <a href=\"/api/status\">JSON</a>.</p>\n"
        "<table><tr><th>Picture</th><th>Link</th><th>Last new picture (UTC)</th>"
        "<th>Last status</th></tr>\n";
    for (const LinkStatus& s : links) {
        page += "<tr><td>";
        if (!s.latest.empty())
            page += "<a href=\"/pictures/" + urlPath(s.latest) + "\"><img src=\"/pictures/" +
                    urlPath(s.latest) + "\" alt=\"" + htmlEscape(s.link) + "\"></a>";
        page += "</td><td>" + htmlEscape(s.link) + "<br><small>" + htmlEscape(s.url) +
                "</small></td><td>" + (s.lastNew ? isoUtc(s.lastNew) : std::string("-")) +
                "</td><td>" + htmlEscape(s.status);
        if (!s.error.empty())
            page += "<br><span class=\"error\">" + htmlEscape(s.error) + "</span>";
        page += "</td></tr>\n";
    }
    return page + "</table></body></html>\n";
}

} // namespace kestrix::cli
