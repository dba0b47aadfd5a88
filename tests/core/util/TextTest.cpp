#include "core/util/Text.h"

#include "core/util/DateTime.h"
#include "core/util/Error.h"

#include <gtest/gtest.h>

using namespace kestrix;

TEST(Text, IntegersParseWholeTextOnly) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"60", 60},
        {" 60", 60},
        {"-7", -7},
        {"+3", 3},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$10", 16},
        {"0xFFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"60 ", std::nullopt},
        {"12a", std::nullopt},
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"1.5", std::nullopt},
        {"0x100000000", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseInt32(c.text), c.value) << c.text;
    try {
        strToInt("abc");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
        EXPECT_EQ(e.kind(), ErrorKind::Conversion);
    }
}

TEST(Text, FloatsFollowTheLocaleSeparator) {
    FormatSettings comma;
    comma.decimalSeparator = ',';
    EXPECT_EQ(parseFloat("0.07", defaultFormatSettings()), 0.07);
    EXPECT_EQ(parseFloat("0,07", comma), 0.07);
    EXPECT_EQ(parseFloat("0.07", comma), std::nullopt);
    EXPECT_EQ(parseFloat("1e3", defaultFormatSettings()), 1000.0);
    EXPECT_EQ(parseFloat(".5", defaultFormatSettings()), 0.5);
    EXPECT_EQ(parseFloat("5e", defaultFormatSettings()), std::nullopt);
    EXPECT_EQ(parseFloat("x", defaultFormatSettings()), std::nullopt);
}

TEST(Text, GeneralNumberFormatIsShortest) {
    const auto& fs = defaultFormatSettings();
    struct Case {
        double value;
        int precision;
        const char* text;
    } cases[] = {
        {0.07, 15, "0.07"}, {1.0 / 60, 15, "0.0166666666666667"},
        {5.5, 15, "5.5"},   {-7, 15, "-7"},
        {0, 15, "0"},       {1e20, 15, "1E20"},
        {1e-7, 15, "1E-7"}, {123456789012345.0, 15, "123456789012345"},
        {0.29, 15, "0.29"}, {1.0 / 60, 18, "0.0166666666666666664"},
        {0.5, 15, "0.5"},   {100, 15, "100"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(floatToStrGeneral(c.value, fs, c.precision), c.text) << c.value;
    FormatSettings comma;
    comma.decimalSeparator = ',';
    EXPECT_EQ(floatToStrGeneral(0.07, comma), "0,07");
    EXPECT_EQ(floatToStrFixed(1.5, 3, comma), "1,500");
}

TEST(Text, Utf8LeftNeverSplitsACharacter) {
    EXPECT_EQ(utf8Left("abcdef", 3), "abc");
    EXPECT_EQ(utf8Left("\xC3\xA9\xC3\xA9x", 2), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(utf8Left("ab", 5), "ab");
}

TEST(DateTime, CalendarRoundTrips) {
    EXPECT_EQ(encodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(encodeDateTime(1970, 1, 1), 25569.0);
    DateTime t = encodeDateTime(2026, 12, 8, 14, 5, 9, 250);
    DateParts d = decodeDate(t);
    TimeParts tp = decodeTime(t);
    EXPECT_EQ(d.year, 2026);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(d.day, 8);
    EXPECT_EQ(d.dayOfWeek, 2); // a Tuesday
    EXPECT_EQ(tp.hour, 14);
    EXPECT_EQ(tp.minute, 5);
    EXPECT_EQ(tp.second, 9);
    EXPECT_EQ(tp.millisecond, 250);
    EXPECT_EQ(decodeDate(encodeDateTime(2024, 2, 29)).day, 29);
    EXPECT_EQ(decodeDate(encodeDateTime(1899, 12, 29, 6)).day, 29);
    EXPECT_EQ(decodeTime(encodeDateTime(1899, 12, 29, 6)).hour, 6);
}
