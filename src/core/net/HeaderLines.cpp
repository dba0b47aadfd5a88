// Name lookup and in-place setting of "Name: value" lines.
#include "core/net/HeaderLines.h"

#include "core/util/Text.h"

namespace kestrix {

int HeaderLines::indexOfName(std::string_view name) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        size_t colon = lines_[i].find(':');
        if (colon != std::string::npos &&
            equalsIgnoreCase(std::string_view(lines_[i]).substr(0, colon), name))
            return static_cast<int>(i);
    }
    return -1;
}

void HeaderLines::setHeader(std::string_view name, std::string_view value) {
    int at = indexOfName(name);
    if (value.empty()) {
        if (at >= 0)
            lines_.erase(lines_.begin() + at);
        return;
    }
    std::string line = std::string(name) + ": " + std::string(value);
    if (at >= 0)
        lines_[static_cast<size_t>(at)] = std::move(line);
    else
        lines_.push_back(std::move(line));
}

std::string HeaderLines::text() const {
    std::string text;
    for (const auto& line : lines_)
        text += line + "\r\n";
    return text;
}

} // namespace kestrix
