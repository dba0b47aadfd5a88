#include "web/StatusPages.h"

#include "core/util/JsonText.h"

#include <cctype>

namespace kestrix::web {

namespace {

std::string number(uint64_t n) {
    return std::to_string(n);
}

std::string linkJson(const LinkStatus& s) {
    return "{\"link\":" + jsonString(s.link) + ",\"url\":" + jsonString(s.url) +
           ",\"status\":" + jsonString(s.status) +
           ",\"last_new\":" + (s.lastNew ? jsonString(isoUtc(s.lastNew)) : "null") +
           ",\"error\":" + jsonString(s.error) +
           ",\"latest\":" + (s.latest.empty() ? "null" : jsonString(s.latest)) +
           ",\"failures\":" + std::to_string(s.failuresInARow) + "}";
}

std::string linkRow(const LinkStatus& s) {
    std::string row = "<tr><td>";
    if (!s.latest.empty())
        row += "<a href=\"/pictures/" + urlPath(s.latest) + "\"><img src=\"/pictures/" +
               urlPath(s.latest) + "\" alt=\"" + htmlEscape(s.link) + "\"></a>";
    row += "</td><td>" + htmlEscape(s.link) + "<br><small>" + htmlEscape(s.url) +
           "</small></td><td>" + (s.lastNew ? isoUtc(s.lastNew) : std::string("-")) + "</td><td>" +
           htmlEscape(s.status);
    if (!s.error.empty())
        row += "<br><span class=\"error\">" + htmlEscape(s.error) + "</span>";
    return row + "</td></tr>\n";
}

} // namespace

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (const char c : toValidUtf8(text)) {
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

std::string statusJson(const WatchSnapshot& snapshot) {
    std::string out = "{\"links\":[";
    for (size_t i = 0; i < snapshot.links.size(); ++i)
        out += (i ? "," : "") + linkJson(snapshot.links[i]);
    const WatchFigures& w = snapshot.watch;
    const RetentionFigures& r = snapshot.retention;
    out += "],\"watch\":{\"fetches\":" + number(w.fetches) +
           ",\"on_rhythm_fetches\":" + number(w.rhythmFetches) +
           ",\"late_starts\":" + number(w.lateStarts) + ",\"busy\":" + std::to_string(w.busy) +
           ",\"slots\":" + std::to_string(w.slots) + "}";
    out += ",\"retention\":{\"index_ready\":" + std::string(r.indexReady ? "true" : "false") +
           ",\"files\":" + number(r.files) + ",\"bytes\":" + number(r.bytes) +
           ",\"runs\":" + number(r.runs) + ",\"deleted_files\":" + number(r.deletedFiles) +
           ",\"deleted_bytes\":" + number(r.deletedBytes) +
           ",\"last_run\":" + (r.lastRun ? jsonString(isoUtc(r.lastRun)) : "null") + "}}\n";
    return out;
}

std::string statusPage(const WatchSnapshot& snapshot) {
    const RetentionFigures& r = snapshot.retention;
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width\">"
        "<meta http-equiv=\"refresh\" content=\"10\"><title>Kestrix watch</title><style>"
        "body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}"
        "td,th{border:1px solid #ccc;padding:4px 8px;text-align:left;vertical-align:top}"
        "img{width:160px;display:block}.error{color:#b00}</style></head><body>\n"
        "<h1>Kestrix watch</h1>\n<p>" +
        std::to_string(snapshot.links.size()) +
        " links. This page refreshes every 10 seconds; <a href=\"/api/status\">JSON</a>.</p>\n"
        "<p>Archive: " +
        (r.indexReady ? number(r.files) + " pictures, " + number(r.bytes) + " bytes"
                      : std::string("being read")) +
        "; retention deleted " + number(r.deletedFiles) + " pictures (" + number(r.deletedBytes) +
        " bytes) since the start.</p>\n"
        "<table><tr><th>Picture</th><th>Link</th><th>Last new picture (UTC)</th>"
        "<th>Last status</th></tr>\n";
    for (const LinkStatus& s : snapshot.links)
        page += linkRow(s);
    return page + "</table></body></html>\n";
}

} // namespace kestrix::web
