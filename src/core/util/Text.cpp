#include "core/util/Text.h"

#include "core/util/Error.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kestrix {

std::string toLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    return toLowerAscii(a) == toLowerAscii(b);
}

std::string_view trimView(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ')
        --e;
    return text.substr(b, e - b);
}

std::string trim(std::string_view text) {
    return std::string(trimView(text));
}

size_t findIgnoreCase(std::string_view text, std::string_view needle, size_t from) {
    return toLowerAscii(text).find(toLowerAscii(needle), from);
}

std::string utf8Left(std::string_view text, size_t maxChars) {
    size_t chars = 0, i = 0;
    while (i < text.size()) {
        if (chars == maxChars)
            return std::string(text.substr(0, i));
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        ++chars;
    }
    return std::string(text);
}

namespace {

std::optional<uint64_t> parseMagnitude(std::string_view digits, unsigned base, uint64_t limit) {
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (value > (limit - d) / base)
            return std::nullopt;
        value = value * base + d;
    }
    return value;
}

template <typename T> std::optional<T> parseSigned(std::string_view text) {
    // Leading blanks are allowed, trailing ones are not.
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    constexpr uint64_t kMaxPos = static_cast<uint64_t>(std::numeric_limits<T>::max());
    // Hexadecimal texts may spell the full unsigned range (0xFFFFFFFF is -1).
    uint64_t limit = base == 16 ? kMaxPos * 2 + 1 : kMaxPos + (negative ? 1 : 0);
    auto mag = parseMagnitude(text.substr(i), base, limit);
    if (!mag)
        return std::nullopt;
    if (base == 16 && *mag > kMaxPos && !negative)
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(*mag));
    if (*mag > kMaxPos + 1 || (!negative && *mag > kMaxPos))
        return std::nullopt;
    if (negative)
        return static_cast<T>(0 - static_cast<std::make_unsigned_t<T>>(*mag));
    return static_cast<T>(*mag);
}

} // namespace

std::optional<int32_t> parseInt32(std::string_view text) {
    return parseSigned<int32_t>(text);
}

std::optional<int64_t> parseInt64(std::string_view text) {
    return parseSigned<int64_t>(text);
}

int32_t strToInt(std::string_view text) {
    auto v = parseInt32(text);
    if (!v)
        throw Error("'" + std::string(text) + "' is not a valid integer value",
                    ErrorKind::Conversion);
    return *v;
}

std::optional<double> parseFloat(std::string_view text, const FormatSettings& fs) {
    std::string_view t = trimView(text);
    std::string c; // the text in C-locale form
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        c += t[i++];
    bool digits = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        c += t[i++];
        digits = true;
    }
    if (i < t.size() && t[i] == fs.decimalSeparator) {
        c += '.';
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            c += t[i++];
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        c += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            c += t[i++];
        bool expDigits = false;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            c += t[i++];
            expDigits = true;
        }
        if (!expDigits)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;
    double value = std::strtod(c.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

double strToFloat(std::string_view text, const FormatSettings& fs) {
    auto v = parseFloat(text, fs);
    if (!v)
        throw Error("'" + std::string(text) + "' is not a valid floating point value",
                    ErrorKind::Conversion);
    return *v;
}

namespace {

std::string withSeparator(std::string text, char separator) {
    if (separator != '.')
        for (char& c : text)
            if (c == '.')
                c = separator;
    return text;
}

} // namespace

std::string floatToStrGeneral(double value, const FormatSettings& fs, int precision) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    if (value == 0)
        return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, value);
    // buf: [-]d.ddddde[+-]xx; take the digits and the exponent.
    std::string s(buf);
    size_t ePos = s.find('e');
    int exponent = std::atoi(s.c_str() + ePos + 1);
    std::string mantissa = s.substr(0, ePos);
    bool negative = mantissa[0] == '-';
    std::string digits;
    for (char ch : mantissa)
        if (ch >= '0' && ch <= '9')
            digits += ch;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent >= precision || std::fabs(value) < 0.00001) {
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        auto intLen = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intLen)
            out += digits + std::string(intLen - digits.size(), '0');
        else
            out += digits.substr(0, intLen) + "." + digits.substr(intLen);
    }
    return withSeparator(out, fs.decimalSeparator);
}

std::string floatToStrFixed(double value, int decimals, const FormatSettings& fs) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return withSeparator(buf, fs.decimalSeparator);
}

std::string strPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    va_end(args);
    return out;
}

} // namespace kestrix
