#include "core/net/MultipartStream.h"

#include "core/util/Error.h"
#include "core/util/Text.h"

#include <algorithm>

namespace kestrix {

namespace {

constexpr size_t npos = std::string_view::npos;

bool looksLikePicture(std::string_view bytes) {
    return bytes.starts_with("\xFF\xD8\xFF") || bytes.starts_with("\x89PNG") ||
           bytes.starts_with("GIF8") || bytes.starts_with("BM");
}

// The line at `from` without its line end, and where the next line begins (npos while the line
// has not arrived whole).
std::pair<std::string_view, size_t> lineAt(std::string_view text, size_t from) {
    const size_t lf = text.find('\n', from);
    if (lf == npos)
        return {{}, npos};
    std::string_view line = text.substr(from, lf - from);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return {line, lf + 1};
}

} // namespace

std::optional<std::string> multipartBoundary(std::string_view contentType) {
    const size_t semicolon = contentType.find(';');
    if (!equalsIgnoreCase(trimView(contentType.substr(0, semicolon)), "multipart/x-mixed-replace"))
        return std::nullopt;
    const size_t at = findIgnoreCase(contentType, "boundary=");
    if (at == npos)
        return std::nullopt;
    std::string_view value = contentType.substr(at + 9);
    value = value.substr(0, value.find(';'));
    value = trimView(value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    while (value.starts_with('-'))
        value.remove_prefix(1);
    if (value.empty())
        return std::nullopt;
    return std::string(value);
}

MultipartFirstPicture::MultipartFirstPicture(std::string boundary, size_t limit)
    : boundary_(std::move(boundary)), limit_(limit) {}

std::pair<size_t, size_t> MultipartFirstPicture::findDelimiter(std::string_view received,
                                                               size_t from) const {
    for (size_t at = received.find(boundary_, from); at != npos;
         at = received.find(boundary_, at + 1)) {
        // Only dashes may come before the boundary on its line.
        size_t lineStart = at;
        while (lineStart > 0 && received[lineStart - 1] == '-')
            --lineStart;
        if (lineStart != 0 && received[lineStart - 1] != '\n')
            continue;
        const auto [line, next] = lineAt(received, lineStart);
        return {lineStart, next};
    }
    return {npos, npos};
}

bool MultipartFirstPicture::complete(std::string_view received) {
    for (;;) {
        if (stage_ == Stage::Preamble) {
            const size_t overlap = boundary_.size() + 4;
            const auto [start, next] = findDelimiter(
                received, std::max(at_, searched_ > overlap ? searched_ - overlap : 0));
            searched_ = received.size();
            if (next == npos) {
                // Only the last bytes may still hold the start of a boundary line.
                if (received.size() - at_ > limit_)
                    throw Error("MJPEG part larger than " + std::to_string(limit_) + " bytes");
                return false;
            }
            at_ = next;
            stage_ = Stage::Headers;
        }
        if (stage_ == Stage::Headers && !readPartHeaders(received))
            return false;
        if (!readPartBody(received))
            return false;
        if (partLength_ > 0 && looksLikePicture(received.substr(partStart_, 4)))
            return true;
        stage_ = Stage::Preamble;
        searched_ = at_;
    }
}

bool MultipartFirstPicture::readPartHeaders(std::string_view received) {
    contentLength_.reset();
    for (;;) {
        const auto [line, next] = lineAt(received, at_);
        if (next == npos) {
            if (received.size() - at_ > 65536)
                throw Error("MJPEG part header too long");
            return false;
        }
        at_ = next;
        if (line.empty())
            break;
        const size_t colon = line.find(':');
        if (colon != npos && equalsIgnoreCase(trimView(line.substr(0, colon)), "Content-Length")) {
            const auto length = parseInt64(trimView(line.substr(colon + 1)));
            if (length && *length >= 0)
                contentLength_ = static_cast<size_t>(*length);
        }
    }
    partStart_ = at_;
    searched_ = at_;
    stage_ = Stage::Body;
    return true;
}

bool MultipartFirstPicture::readPartBody(std::string_view received) {
    if (contentLength_) {
        if (*contentLength_ > limit_)
            throw Error("MJPEG part larger than " + std::to_string(limit_) + " bytes");
        if (received.size() - partStart_ < *contentLength_)
            return false;
        partLength_ = *contentLength_;
        at_ = partStart_ + partLength_;
        return true;
    }
    // Without a length the part ends at the line break before the next boundary line. What was
    // searched before is not searched again, but for a boundary that may have been cut off.
    const size_t overlap = boundary_.size() + 4;
    const size_t from = searched_ > partStart_ + overlap ? searched_ - overlap : partStart_;
    const auto [start, next] = findDelimiter(received, from);
    searched_ = received.size();
    if (next == npos) {
        if (received.size() - partStart_ > limit_)
            throw Error("MJPEG part larger than " + std::to_string(limit_) + " bytes");
        return false;
    }
    size_t end = start;
    if (end > partStart_ && received[end - 1] == '\n')
        --end;
    if (end > partStart_ && received[end - 1] == '\r')
        --end;
    partLength_ = end - partStart_;
    at_ = start;
    return true;
}

} // namespace kestrix
