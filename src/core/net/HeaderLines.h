// HeaderLines: the lines of a request header, where a line "Name: value" can be looked up by
// its name (ignoring letter case) and set or removed in place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

class HeaderLines {
public:
    void add(std::string line) { lines_.push_back(std::move(line)); }
    void clear() { lines_.clear(); }
    const std::vector<std::string>& lines() const { return lines_; }

    // Index of the first line whose text before its first ":" equals `name` ignoring letter case,
    // or -1.
    int indexOfName(std::string_view name) const;

    // A non-empty value makes the line "name: value", in place of the found line or appended; an
    // empty value removes the found line.
    void setHeader(std::string_view name, std::string_view value);

    // Every line followed by CR LF.
    std::string text() const;

private:
    std::vector<std::string> lines_;
};

} // namespace kestrix
