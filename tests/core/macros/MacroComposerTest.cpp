// The macro editor's rules: the macro texts it writes, reading found macros back, the
// multiplier/divider reciprocal and where Find Next Macro looks.
#include "core/macros/MacroComposer.h"

#include "core/util/Error.h"

#include <gtest/gtest.h>
#include <string>

using namespace kestrix;

TEST(MacroComposer, WritesMacrosWithPointAndEighteenDigits) {
    struct DateCase {
        double offset;
        const char* format;
        const char* expected;
    } dates[] = {
        {0, "yyyymmdd", "<date>0,yyyymmdd</date>"},
        {-7, "hh", "<date>-7,hh</date>"},
        {5.5, "dd,mm", "<date>5.5,dd,mm</date>"},
        {-0.5, "", "<date>-0.5,</date>"},
    };
    for (const auto& c : dates)
        EXPECT_EQ(composeDateMacro({c.offset, c.format}), c.expected) << c.expected;

    struct CounterCase {
        CounterMacroSettings settings;
        const char* expected;
    } counters[] = {
        {{}, "<counter>1,0,0,0,0</counter>"},
        {{1.0 / 60, 0, 0, false, 0}, "<counter>0.0166666666666666664,0,0,0,0</counter>"},
        {{0.25, -64.5, 100, true, 6}, "<counter>0.25,-64.5,100,1,6</counter>"},
        // Eighteen digits show a binary fraction's last bits: the text reads back exactly.
        {{0.2, 0, 0, false, 0}, "<counter>0.200000000000000011,0,0,0,0</counter>"},
        {{1e20, 0x1p-24, 0, true, -3}, "<counter>1E20,5.9604644775390625E-8,0,1,-3</counter>"},
    };
    for (const auto& c : counters)
        EXPECT_EQ(composeCounterMacro(c.settings), c.expected) << c.expected;
}

TEST(MacroComposer, WrittenMacrosReadBackExactly) {
    const CounterMacroSettings counters[] = {
        {1.0 / 60, 1.0 / 3, -2.0 / 7, true, 12},
        {1e20, 1e-7, -123456.789, false, 0},
        {0, 0, 0, true, -4},
    };
    for (const auto& s : counters) {
        const std::string macro = composeCounterMacro(s);
        const auto e = findMacroElement(macro, 0);
        ASSERT_TRUE(e.found) << macro;
        const CounterMacroSettings back = readCounterMacro(e.args);
        EXPECT_EQ(back.multiplier, s.multiplier) << macro;
        EXPECT_EQ(back.offset1, s.offset1) << macro;
        EXPECT_EQ(back.offset2, s.offset2) << macro;
        EXPECT_EQ(back.leadingZeros, s.leadingZeros) << macro;
        EXPECT_EQ(back.width, s.width) << macro;
    }
    const DateMacroSettings date{-1.0 / 3600, "yyyy-mm-dd"};
    const auto e = findMacroElement(composeDateMacro(date), 0);
    const DateMacroSettings back = readDateMacro(e.args);
    EXPECT_EQ(back.offsetHours, date.offsetHours);
    EXPECT_EQ(back.format, date.format);
}

TEST(MacroComposer, ReadsTypedMacrosAsExpansionDoes) {
    // The format ends at a comma, as in expansion; missing arguments read 0 or empty.
    const DateMacroSettings date = readDateMacro("-2.5 hours,dd, mm");
    EXPECT_EQ(date.offsetHours, -2.5);
    EXPECT_EQ(date.format, "dd");
    EXPECT_EQ(readDateMacro("3").format, "");

    struct CounterCase {
        const char* args;
        double multiplier;
        bool zeros;
        int64_t width;
    } cases[] = {
        {"2,0,0,1,4", 2, true, 4},
        // Zeros are added only when the switch, truncated, is above 0.
        {"1,0,0,-1,4", 1, false, 4},
        {"1,0,0,0.5,4", 1, false, 4},
        {"1,0,0,2.9,7.9", 1, true, 7},
        {"x12y,0,0,1e30,-1e30", 12, true, INT64_MIN},
        {"1,,0,1,4", 1, false, 0},
        {"", 0, false, 0},
    };
    for (const auto& c : cases) {
        const CounterMacroSettings s = readCounterMacro(c.args);
        EXPECT_EQ(s.multiplier, c.multiplier) << c.args;
        EXPECT_EQ(s.leadingZeros, c.zeros) << c.args;
        EXPECT_EQ(s.width, c.width) << c.args;
    }
    EXPECT_THROW(readDateMacro("5e,yyyy"), Error);
    for (const char* args : {"1,0,0,1,4e", "1e400,0,0,0,0"})
        EXPECT_THROW(readCounterMacro(args), Error) << args;
}

TEST(MacroComposer, ReciprocalHasNoInfinity) {
    const struct {
        double x, expected;
    } cases[] = {{60, 1.0 / 60}, {0.5, 2}, {-4, -0.25}, {0, 0}, {1e-310, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(reciprocal(c.x), c.expected) << c.x;
}

TEST(MacroComposer, FindNextStepsThroughMacrosAndWraps) {
    const std::string text = "a<date>0,yyyy</date>b<counter>2,0,0,1,4</counter>";
    const size_t date = 1, dateEnd = text.find("b<");
    const size_t counter = dateEnd + 1, counterEnd = text.size();
    struct Press {
        size_t selStart, selLength;
        bool found;
        size_t start, end;
    } presses[] = {
        {0, 0, true, date, dateEnd},                       // fresh opening
        {date, dateEnd - date, true, counter, counterEnd}, // after the date macro
        {counter, counterEnd - counter, false, 0, 0},      // after the last macro
        {text.size(), 0, true, date, dateEnd},             // cursor at the end: wrap
        {date + 1, 0, true, date, dateEnd},                // cursor just after a "<"
        // Inside a macro the search meets its closing tag, which opens no element.
        {date + 2, 0, false, 0, 0},
        {dateEnd, 0, true, counter, counterEnd}, // right after an element
        {0, text.size(), false, 0, 0},           // everything selected
    };
    for (const auto& p : presses) {
        const MacroElement e = findNextMacro(text, p.selStart, p.selLength);
        EXPECT_EQ(e.found, p.found) << p.selStart << "+" << p.selLength;
        if (e.found && p.found) {
            EXPECT_EQ(e.start, p.start) << p.selStart << "+" << p.selLength;
            EXPECT_EQ(e.end, p.end) << p.selStart << "+" << p.selLength;
        }
    }
    // A backslash tag is an element of its own; the next search resumes after its ">".
    const std::string slash = "<x\\><date>0,yy</date>";
    const MacroElement first = findNextMacro(slash, 0, 0);
    ASSERT_TRUE(first.found);
    EXPECT_EQ(first.end, 4u);
    const MacroElement second = findNextMacro(slash, first.start, first.end - first.start);
    EXPECT_EQ(second.tag, "date");
    EXPECT_EQ(second.start, 4u);
    EXPECT_FALSE(findNextMacro("", 0, 0).found);
}
