#include "web/StatusPages.h"

#include "core/util/JsonText.h"

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
    return percentEncoded(path, true);
}

std::string percentEncoded(const std::string& text, bool keepSlashes) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
            c == '-' || c == '_' || c == '.' || c == '~' || (keepSlashes && c == '/')) {
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

} // namespace kestrix::web
