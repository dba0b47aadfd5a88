#include "core/macros/NumberReading.h"

#include "core/util/Text.h"

#include <string>

namespace kestrix {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

double readFirstNumber(std::string_view text, const FormatSettings& fs) {
    const char sep = fs.decimalSeparator;
    std::string number;
    size_t i = 0;
    // Up to the first digit: only a leading minus and one separator survive.
    for (; i < text.size() && !isDigit(text[i]); ++i) {
        const char c = text[i];
        if (c == '-') {
            if (number.empty())
                number.assign(1, '-');
        } else if (c == sep && number.find(sep) == std::string::npos) {
            number += sep;
        } else {
            number.clear();
        }
    }
    if (i == text.size())
        return 0;
    bool hasSeparator = number.find(sep) != std::string::npos;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            number += c;
        } else if (c == sep && !hasSeparator) {
            number += c;
            hasSeparator = true;
        } else {
            break;
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        number += text[i++];
        if (i < text.size() && text[i] == '-') {
            number += '-';
            while (i < text.size() && text[i] == '-')
                ++i;
        }
        while (i < text.size() && isDigit(text[i]))
            number += text[i++];
    }
    return strToFloat(number, fs);
}

} // namespace kestrix
