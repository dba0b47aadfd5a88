// Small text helpers: ASCII case, trimming, and number conversion with the program's rules
// (whole-text integers with "0x"/"$" hex, locale-aware floats, general number format).
#pragma once

#include "core/util/FormatSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix {

std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string_view trimView(std::string_view text);
std::string trim(std::string_view text);
// Index of `needle` in `text` ignoring ASCII case, or npos.
size_t findIgnoreCase(std::string_view text, std::string_view needle, size_t from = 0);
// True for one or more ASCII digits and nothing else.
bool allDigits(std::string_view text);

// The first `maxChars` characters of UTF-8 text; never splits a multi-byte character.
std::string utf8Left(std::string_view text, size_t maxChars);

// Whole-text integer conversion: optional blanks and sign, decimal or hexadecimal ("0x" or "$").
std::optional<int32_t> parseInt32(std::string_view text);
std::optional<int64_t> parseInt64(std::string_view text);
// As parseInt32, but a failure raises "'TEXT' is not a valid integer value".
int32_t strToInt(std::string_view text);

// Whole-text float conversion with the locale's decimal separator and an optional exponent.
std::optional<double> parseFloat(std::string_view text, const FormatSettings& fs);
// As parseFloat, but a failure raises "'TEXT' is not a valid floating point value".
double strToFloat(std::string_view text, const FormatSettings& fs);

// General number format: the shortest text with up to `precision` significant digits; fixed
// notation unless the value needs an exponent (1E20, 1E-7).
std::string floatToStrGeneral(double value, const FormatSettings& fs, int precision = 15);
// Fixed notation with `decimals` digits after the separator.
std::string floatToStrFixed(double value, int decimals, const FormatSettings& fs);

// printf into a std::string.
std::string strPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace kestrix
