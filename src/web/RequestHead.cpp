#include "web/RequestHead.h"

#include "core/util/Text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrix::web {

namespace {

bool isToken(std::string_view text) {
    constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    if (text.empty())
        return false;
    for (char c : text) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && kSymbols.find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Strict UTF-8: no overlong forms (a classic way to smuggle "." and "/"), no surrogates, nothing
// above U+10FFFF.
bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        if ((lead >= 0x80 && lead < 0xC0) || lead > 0xF4 || text.size() - i <= extra)
            return false;
        uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const uint32_t smallest = extra == 0 ? 0 : extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// The head's lines without their line ends; a CR anywhere else stays and is refused later.
std::vector<std::string_view> splitLines(std::string_view head) {
    std::vector<std::string_view> lines;
    size_t begin = 0;
    for (size_t end = head.find('\n'); end != std::string_view::npos;
         end = head.find('\n', begin)) {
        std::string_view line = head.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

// Fills method, path and query from "METHOD TARGET HTTP/x.y"; answers the refusal status or 0.
int parseRequestLine(std::string_view line, PageRequest& request, bool& http11) {
    const size_t firstSpace = line.find(' ');
    const size_t secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string_view::npos || secondSpace == std::string_view::npos ||
        line.find(' ', secondSpace + 1) != std::string_view::npos)
        return 400;
    const std::string_view method = line.substr(0, firstSpace);
    const std::string_view target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    const std::string_view version = line.substr(secondSpace + 1);
    if (!isToken(method) || target.empty() || target[0] != '/')
        return 400;
    if (version.size() != 8 || !version.starts_with("HTTP/") || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
        return 400;
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return 505;
    for (char c : target)
        if (isControl(c) || c == ' ')
            return 400;
    const size_t question = target.find('?');
    auto path = decodePath(target.substr(0, question));
    if (!path)
        return 400;
    request.method = std::string(method);
    request.path = std::move(*path);
    if (question != std::string_view::npos)
        request.query = std::string(target.substr(question + 1));
    http11 = version == "HTTP/1.1";
    return 0;
}

// What the header fields say about the framing and the host.
struct HeaderFacts {
    int hosts = 0;
    bool transferEncoding = false;
    std::optional<std::string_view> contentLength;
    bool conflictingLengths = false;
};

// A field the pages read once: a second one could be read differently by a proxy in front.
int takeOnce(std::string_view value, std::string& into, bool& seen) {
    if (seen)
        return 400;
    seen = true;
    into = std::string(value);
    return 0;
}

// Answers 400 for a malformed field (or a folded one), else 0.
int readField(std::string_view line, HeaderFacts& facts, PageRequest& request, bool& authorized,
              bool& ranged) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
        return 400;
    const std::string_view name = line.substr(0, colon);
    for (char c : line.substr(colon + 1))
        if (isControl(c) && c != '\t')
            return 400;
    const std::string_view value = trimView(line.substr(colon + 1));
    if (equalsIgnoreCase(name, "Host")) {
        ++facts.hosts;
    } else if (equalsIgnoreCase(name, "Transfer-Encoding")) {
        facts.transferEncoding = true;
    } else if (equalsIgnoreCase(name, "Content-Length")) {
        if (facts.contentLength && *facts.contentLength != value)
            facts.conflictingLengths = true;
        facts.contentLength = value;
    } else if (equalsIgnoreCase(name, "Authorization")) {
        return takeOnce(value, request.authorization, authorized);
    } else if (equalsIgnoreCase(name, "Range")) {
        return takeOnce(value, request.range, ranged);
    } else if (equalsIgnoreCase(name, "Cookie")) {
        request.cookie += (request.cookie.empty() ? "" : "; ") + std::string(value);
    }
    return 0;
}

// 0 when the body (if any) is small enough to be read and dropped, else the refusal status.
int checkBody(const HeaderFacts& facts, size_t maxBodyBytes) {
    if (facts.transferEncoding)
        return 413;
    if (!facts.contentLength)
        return 0;
    const std::string_view text = *facts.contentLength;
    if (facts.conflictingLengths || text.empty())
        return 400;
    uint64_t length = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 400;
        // Past the cap the exact figure no longer matters, and it must not overflow.
        if (length <= maxBodyBytes)
            length = length * 10 + static_cast<uint64_t>(c - '0');
    }
    return length > maxBodyBytes ? 413 : 0;
}

} // namespace

size_t findHeadEnd(std::string_view bytes, size_t from) {
    // A terminator may straddle what was searched and what is new.
    for (size_t i = bytes.find('\n', from < 2 ? 0 : from - 2); i != std::string_view::npos;
         i = bytes.find('\n', i + 1)) {
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            return i + 2;
        if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n')
            return i + 3;
    }
    return std::string_view::npos;
}

ParsedHead parseRequestHead(std::string_view head, size_t maxBodyBytes) {
    ParsedHead parsed;
    const std::vector<std::string_view> lines = splitLines(head);
    bool http11 = false;
    if (lines.empty() || lines[0].find('\r') != std::string_view::npos) {
        parsed.refusal = 400;
        return parsed;
    }
    parsed.refusal = parseRequestLine(lines[0], parsed.request, http11);
    HeaderFacts facts;
    bool authorized = false, ranged = false;
    for (size_t i = 1; i < lines.size() && parsed.refusal == 0 && !lines[i].empty(); ++i) {
        // A line that starts with a blank continues the previous one: an obsolete form that
        // lets a field be read differently by different parsers.
        const bool folded = lines[i][0] == ' ' || lines[i][0] == '\t';
        parsed.refusal =
            folded ? 400 : readField(lines[i], facts, parsed.request, authorized, ranged);
    }
    if (parsed.refusal == 0 && (facts.hosts > 1 || (http11 && facts.hosts == 0)))
        parsed.refusal = 400;
    if (parsed.refusal == 0)
        parsed.refusal = checkBody(facts, maxBodyBytes);
    if (parsed.refusal == 0 && parsed.request.method != "GET" && parsed.request.method != "HEAD")
        parsed.refusal = 405;
    return parsed;
}

std::optional<std::string> decodePath(std::string_view raw) {
    std::string path;
    path.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            path += raw[i];
            continue;
        }
        const int high = i + 2 < raw.size() ? hexValue(raw[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(raw[i + 2]) : -1;
        if (low < 0)
            return std::nullopt;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    for (char c : path)
        if (isControl(c))
            return std::nullopt;
    if (!isUtf8(path))
        return std::nullopt;
    return path;
}

std::optional<std::string> queryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) != name)
            continue;
        std::string raw(equals == std::string_view::npos ? std::string_view()
                                                         : pair.substr(equals + 1));
        std::replace(raw.begin(), raw.end(), '+', ' ');
        return decodePath(raw);
    }
    return std::nullopt;
}

} // namespace kestrix::web
