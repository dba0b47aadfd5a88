// Integer spin value: reading with limits and the remembered value, hex mode, steps, key rules.
#include "core/controls/IntegerSpinValue.h"

#include "core/controls/SpinKeys.h"

#include <gtest/gtest.h>
#include <limits>

using namespace kestrix;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

IntegerSpinValue timeOut() {
    IntegerSpinValue v;
    v.setUseLimit(true);
    v.setMinValue(1);
    v.setMaxValue(6000);
    v.write(30);
    return v;
}

} // namespace

TEST(IntegerSpinValue, ReadsClampsAndFallsBackToTheLastValidValue) {
    struct Case {
        const char* text;
        int64_t value;
        int64_t remembered;
    } cases[] = {
        {"7000", 6000, 6000}, {"6000", 6000, 6000}, {"0", 1, 1},
        {"-5", 1, 1},         {"250", 250, 250},    {"12a", 30, 30},
        {"", 30, 30},         {"60 ", 30, 30},      {" 45", 45, 45},
        {"1.5", 30, 30},      {"$10", 16, 16},      {"99999999999999999999", 30, 30},
    };
    for (const auto& c : cases) {
        IntegerSpinValue v = timeOut();
        EXPECT_EQ(v.read(c.text), c.value) << c.text;
        EXPECT_EQ(v.remembered(), c.remembered) << c.text;
    }
    // Without limits the text's number comes through as it is.
    IntegerSpinValue free;
    EXPECT_EQ(free.read("-9223372036854775808"), kMin);
    EXPECT_EQ(free.read("7000"), 7000);
}

TEST(IntegerSpinValue, WritingRemembersUnclampedButShowsClamped) {
    IntegerSpinValue v = timeOut();
    EXPECT_EQ(v.write(0), "1");
    EXPECT_EQ(v.remembered(), 0);
    // An unreadable text must still give a value inside the limits the box enforces.
    EXPECT_EQ(v.read("x"), 1);
    EXPECT_EQ(v.normalise("x"), "1");
    EXPECT_EQ(v.write(9000), "6000");
    EXPECT_EQ(v.normalise(""), "6000");
    EXPECT_EQ(v.remembered(), 6000);
    EXPECT_EQ(v.normalise("0042"), "42");
}

TEST(IntegerSpinValue, HexModeWritesUpperCaseZeroFilledAndReadsWithoutPrefix) {
    struct Case {
        int digits;
        int64_t value;
        const char* text;
    } cases[] = {
        {4, 255, "00FF"},
        {4, 0x12345, "12345"},
        {0, 0, "0"},
        {2, -1, "FFFFFFFFFFFFFFFF"},
        {99, 1, "0000000000000001"},
        {-3, 10, "A"},
    };
    for (const auto& c : cases) {
        IntegerSpinValue v;
        v.setHexMode(true);
        v.setHexDigits(c.digits);
        const std::string text = v.write(c.value);
        EXPECT_EQ(text, c.text) << c.value;
        EXPECT_EQ(v.read(text), c.value) << text;
    }
    IntegerSpinValue v;
    v.setHexMode(true);
    EXPECT_EQ(v.read("ff"), 255);
    EXPECT_EQ(v.read("-1"), 255); // no signs in hex: the last valid value
    EXPECT_EQ(v.read("0x10"), 255);
}

TEST(IntegerSpinValue, StepsSaturateInsteadOfOverflowing) {
    struct Case {
        int64_t increment;
        int64_t current;
        bool up;
        bool ctrl;
        int64_t next;
    } cases[] = {
        {1, 10, true, false, 11},      {1, 10, false, true, 0},
        {3, 10, true, true, 40},       {-2, 0, true, false, -2},
        {1, kMax, true, false, kMax},  {1, kMin, false, false, kMin},
        {kMax, 5, true, true, kMax},   {kMin, 0, true, false, kMin},
        {kMin, 0, false, false, kMax}, {kMax / 5, 0, true, true, kMax},
    };
    for (const auto& c : cases) {
        IntegerSpinValue v;
        v.setIncrement(c.increment);
        EXPECT_EQ(v.stepped(c.current, c.up, c.ctrl), c.next)
            << c.increment << " " << c.current << " " << c.up << c.ctrl;
    }
}

TEST(SpinKeys, EachBoxTakesItsOwnCharacters) {
    FormatSettings comma;
    comma.decimalSeparator = ',';
    comma.thousandSeparator = '.';
    const FormatSettings& en = defaultFormatSettings();
    struct Case {
        char32_t c;
        bool integer, hex, real, degree, realComma;
    } cases[] = {
        {U'7', true, true, true, true, true},       {U'-', true, false, true, true, true},
        {U'+', true, false, true, true, true},      {U'.', true, false, true, true, true},
        {U',', false, false, true, false, true},    {U'a', false, true, false, false, false},
        {U'F', false, true, false, false, false},   {U'g', false, false, false, false, false},
        {U'e', false, true, true, false, true},     {U'E', false, true, true, false, true},
        {U' ', false, false, false, false, false},  {U'\b', true, true, true, true, true},
        {0x16, true, true, true, true, true},       {U'\r', false, false, false, false, false},
        {U'\n', false, false, false, false, false}, {U'é', false, false, false, false, false},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(integerSpinAcceptsKey(k.c, false, en), k.integer) << uint32_t(k.c);
        EXPECT_EQ(integerSpinAcceptsKey(k.c, true, en), k.hex) << uint32_t(k.c);
        EXPECT_EQ(realSpinAcceptsKey(k.c, en), k.real) << uint32_t(k.c);
        EXPECT_EQ(degreeSpinAcceptsKey(k.c, en), k.degree) << uint32_t(k.c);
        EXPECT_EQ(realSpinAcceptsKey(k.c, comma), k.realComma) << uint32_t(k.c);
    }
    // A disabled editor lets through only control characters that do not edit.
    EXPECT_TRUE(editorAcceptsKey(U'5', true));
    EXPECT_FALSE(editorAcceptsKey(U'5', false));
    EXPECT_FALSE(editorAcceptsKey(U'\b', false));
    EXPECT_TRUE(editorAcceptsKey(0x03, false));
}
