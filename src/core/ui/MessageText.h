// How failure texts are shown in message boxes.
#pragma once

#include <string>

namespace kestrix {

// The text with a full stop added when its last character sorts after "." (so a text that
// already ends in a full stop or a blank gets none).
inline std::string withFullStop(const std::string& text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        return text + ".";
    return text;
}

} // namespace kestrix
