// Real spin value: reading with the locale's separators, the number formats, limits and steps.
#include "core/controls/RealSpinValue.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace kestrix;

namespace {

FormatSettings german() {
    FormatSettings fs;
    fs.decimalSeparator = ',';
    fs.thousandSeparator = '.';
    return fs;
}

RealSpinValue fps() {
    RealSpinValue v;
    v.setUseLimit(true);
    v.setMinValue(0.5);
    v.setMaxValue(200);
    v.write(10, defaultFormatSettings());
    return v;
}

} // namespace

TEST(RealSpinValue, ReadsWithTheLocaleSeparators) {
    FormatSettings same; // a locale whose grouping character is its decimal separator
    same.decimalSeparator = ',';
    same.thousandSeparator = ',';
    struct Case {
        const char* text;
        const FormatSettings& fs;
        std::optional<double> value;
    } cases[] = {
        {"1,000.5", defaultFormatSettings(), 1000.5},
        {"1,2,3", defaultFormatSettings(), 123},
        {"-2.5e3", defaultFormatSettings(), -2500},
        {" 7 ", defaultFormatSettings(), 7},
        {"12a", defaultFormatSettings(), std::nullopt},
        {"", defaultFormatSettings(), std::nullopt},
        {",", defaultFormatSettings(), std::nullopt},
        {"1e999", defaultFormatSettings(), std::nullopt},
        {"1.000,5", german(), 1000.5},
        {"0,25", german(), 0.25},
        {"1,5", same, 1.5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseReal(c.text, c.fs), c.value) << c.text;
}

TEST(RealSpinValue, WritesInEachNumberFormat) {
    using enum NumberFormat;
    struct Case {
        double value;
        NumberFormat format;
        int digits;
        bool comma;
        const char* text;
    } cases[] = {
        {10, Standard, 5, false, "10"},
        {1.0 / 60, Standard, 5, false, "0.0166666666666667"},
        {0.5, Standard, 0, true, "0,5"},
        {1e20, Standard, 5, false, "1E20"},
        {1234.5, Scientific, 5, false, "1.2345E+0003"},
        {0, Scientific, 5, false, "0.0000E+0000"},
        {-0.00012345, Scientific, 3, true, "-1,23E-0004"},
        {1e300, Scientific, 1, false, "1E+0300"},
        {2.5, Fixed, 2, false, "2.50"},
        {2.5, Fixed, 0, true, "2"},
        {1234567.891, Thousands, 2, false, "1,234,567.89"},
        {-1234.4, Thousands, 0, false, "-1,234"},
        {999.96, Thousands, 1, false, "1,000.0"},
        {123, Thousands, 1, false, "123.0"},
        {1234567.5, Thousands, 1, true, "1.234.567,5"},
        {std::numeric_limits<double>::infinity(), Thousands, 2, false, "INF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            formatReal(c.value, c.format, c.digits, c.comma ? german() : defaultFormatSettings()),
            c.text)
            << c.value;
}

TEST(RealSpinValue, LimitsStepsAndTheKeptValue) {
    const FormatSettings& fs = defaultFormatSettings();
    RealSpinValue v = fps();
    EXPECT_EQ(v.write(v.stepped(v.value(), true, true), fs), "20");
    EXPECT_EQ(v.write(200, fs), "200");
    EXPECT_EQ(v.write(v.stepped(v.value(), true, false), fs), "200");
    EXPECT_EQ(v.write(0.1, fs), "0.5");
    EXPECT_EQ(v.write(v.stepped(v.value(), false, true), fs), "0.5");
    v.read("7000", fs);
    EXPECT_EQ(v.value(), 200);
    v.read("12a", fs);
    EXPECT_EQ(v.value(), 200);
    // A division by zero in a caller must not put NaN or infinity into the box.
    EXPECT_EQ(v.write(std::nan(""), fs), "200");
    EXPECT_EQ(v.write(-std::numeric_limits<double>::infinity(), fs), "200");
    EXPECT_EQ(v.value(), 200);

    RealSpinValue free;
    free.setIncrement(0.25);
    EXPECT_EQ(free.stepped(1, false, false), 0.75);
    EXPECT_EQ(free.stepped(1, true, true), 3.5);
    EXPECT_EQ(free.write(-7000.5, fs), "-7000.5");
    free.setDigits(40);
    EXPECT_EQ(free.digits(), 18);
}
