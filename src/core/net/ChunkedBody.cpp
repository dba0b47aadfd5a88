#include "core/net/ChunkedBody.h"

#include "core/util/Error.h"

#include <algorithm>
#include <cctype>

namespace kestrix {

namespace {

// A size line is a few hex digits and maybe extensions; anything longer is no chunk framing.
constexpr size_t kLongestLine = 4096;

[[noreturn]] void invalidChunk() {
    throw Error("Invalid chunked body");
}

// The line at the start of `raw` without its line end, or false while it is incomplete.
bool takeLine(std::string& raw, size_t& used, std::string& line) {
    const size_t lf = raw.find('\n', used);
    if (lf == std::string::npos) {
        if (raw.size() - used > kLongestLine)
            invalidChunk();
        return false;
    }
    line.assign(raw, used, lf - used);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    used = lf + 1;
    return true;
}

size_t chunkSize(const std::string& line) {
    size_t size = 0;
    size_t digits = 0;
    for (const char c : line) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            break;
        if (++digits > 15)
            invalidChunk();
        size = size * 16 +
               static_cast<size_t>(std::isdigit(static_cast<unsigned char>(c))
                                       ? c - '0'
                                       : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    if (digits == 0)
        invalidChunk();
    return size;
}

} // namespace

bool ChunkedBody::feed(std::string& raw, std::string& out, size_t limit) {
    size_t used = 0;
    std::string line;
    while (stage_ != Stage::Done) {
        if (stage_ == Stage::Size) {
            if (!takeLine(raw, used, line))
                break;
            remaining_ = chunkSize(line);
            stage_ = remaining_ == 0 ? Stage::Trailer : Stage::Data;
        } else if (stage_ == Stage::Data) {
            const size_t take = std::min(remaining_, raw.size() - used);
            if (take > limit - std::min(limit, out.size()))
                throw Error("Response too large");
            out.append(raw, used, take);
            used += take;
            remaining_ -= take;
            if (remaining_ > 0)
                break;
            stage_ = Stage::DataEnd;
        } else if (stage_ == Stage::DataEnd) {
            if (!takeLine(raw, used, line))
                break;
            if (!line.empty())
                invalidChunk();
            stage_ = Stage::Size;
        } else {
            if (!takeLine(raw, used, line))
                break;
            if (line.empty())
                stage_ = Stage::Done;
        }
    }
    raw.erase(0, used);
    return stage_ == Stage::Done;
}

} // namespace kestrix
