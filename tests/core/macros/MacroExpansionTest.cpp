#include "core/macros/DateFormatter.h"
#include "core/macros/NumberReading.h"
#include "core/macros/URLMacros.h"
#include "core/util/Error.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

DateTime at(const char* iso) {
    return *parseIsoDateTime(iso);
}

struct Case {
    const char* time;
    const char* input;
    const char* expected;
};

const Case kExpansions[] = {
    {"2026-12-08T14:05:00Z", "img<date>0,yyyymmdd</date>.jpg", "img20261208.jpg"},
    {"2026-12-08T14:05:00Z", "cam<date>-7,hh</date>", "cam07"},
    {"2026-12-08T14:05:00Z", "a<b>x</b><date>0,yyyy</date>", "a<b>x</b>2026"},
    {"2026-12-08T14:05:00Z", "<date>0,yyyy</date><b>x</b>", "2026<b>x</b>"},
    {"2026-12-08T14:05:00Z", "<Date>0,yyyy</Date>", "<Date>0,yyyy</Date>"},
    {"2026-12-08T14:05:00Z", "<date>0,dd, mm</date>", "08"},
    {"2026-12-08T14:05:09.250Z", "<counter>1,0,0,0,8</counter>", "50709"},
    {"2026-12-08T14:05:09.250Z", "<counter>0,0,-5,1,4</counter>", "00-5"},
    {"2026-12-08T00:01:05.5Z", "<counter>1,0,0,1,5</counter>", "00065"},
    {"2026-12-08T00:01:05.5Z", "<counter>0.0166666666666667,0,0,0,0</counter>", "1"},
    {"2026-12-08T00:01:05.5Z", "<counter>0.2,0,100,1,6</counter>", "000113"},
    {"2026-12-08T00:01:05.5Z", "<counter>2,-64.7,0,1,3</counter>", "001"},
    // Offsets that cross midnight, month and year ends.
    {"2026-12-01T00:30:00Z", "<date>-1.5,yyyy-mm-dd hh:nn</date>", "2026-11-30 23:00"},
    {"2026-12-31T23:45:00Z", "<date>0.5,yyyymmddhhnn</date>", "202701010015"},
    {"2026-03-01T01:00:00Z", "<date>-2,d/m</date>", "28/2"},
    // Two macros, each expanded once, left to right.
    {"2026-12-08T14:05:09.250Z", "<date>0,hh</date>-<counter>1,0,0,0,0</counter>", "14-50709"},
    // A macro inside another's arguments is part of them: here the format "<counter>1".
    {"2026-12-08T14:05:09Z", "<date>0,<counter>1,0,0,0,0</counter></date>",
     "<12/8/2026 14:05:09ou514:052026r>1"},
    // An incomplete element stops the expansion.
    {"2026-12-08T14:05:00Z", "a<b<date>0,yyyy</date>", "a<b<date>0,yyyy</date>"},
    {"2026-12-08T14:05:00Z", "<date>0,yyyy</date><date>0,yyyy", "2026<date>0,yyyy"},
    {"2026-12-08T14:05:00Z", "x<y", "x<y"},
    // A tag ending in a backslash stands alone and is skipped.
    {"2026-12-08T14:05:00Z", "<x\\>a<date>0,yyyy</date>", "<x\\>a2026"},
    // Missing arguments: numbers read 0, the format reads empty (as "c").
    {"2026-12-08T14:05:09Z", "<date>0</date>", "12/8/2026 14:05:09"},
    {"2026-12-08T14:05:09Z", "<date>0,</date>", "12/8/2026 14:05:09"},
    {"2026-12-08T14:05:09Z", "<counter></counter>", "0"},
    {"2026-12-08T14:05:09Z", "<counter>,1,2</counter>", "0"},
    // More than ten arguments: the eleventh and later are not kept.
    {"2026-12-08T14:05:09Z", "<counter>0,0,7,0,0,9,9,9,9,9,9,9</counter>", "7"},
};

const Case kFormats[] = {
    {"2026-12-08T14:05:09.250Z", "yy y yyy yyyy", "26 26 2026 2026"},
    {"2026-12-08T14:05:09.250Z", "m mm mmm mmmm mmmmm", "12 12 Dec December December"},
    {"2026-12-08T14:05:09.250Z", "d dd ddd dddd aaa aaaa", "8 08 Tue Tuesday Tue Tuesday"},
    {"2026-12-08T14:05:09.250Z", "ddddd|dddddd", "12/8/2026|Tuesday, December 8, 2026"},
    {"2026-12-08T14:05:09.250Z", "t|tt|ttt", "14:05|14:05:09|14:05:09"},
    {"2026-12-08T14:05:09.250Z", "h hh n nn s ss", "14 14 5 05 9 09"},
    {"2026-12-08T14:05:09.005Z", "z zz zzz zzzz", "5 05 005 005"},
    {"2026-12-08T14:05:09.250Z", "hh:mm|hhxmm|h mm|hh'x'mm", "14:05|14x12|14 05|14x05"},
    {"2026-12-08T14:05:09.250Z", "h:nn am/pm", "2:05 pm"},
    {"2026-12-08T14:05:09.250Z", "hh a/p|hh A/P", "02 p|02 P"},
    {"2026-12-08T14:05:09.250Z", "hh ampm", "02 PM"},
    {"2026-12-08T14:05:09.250Z", "h \"x\" am/pm", "2 x pm"},
    {"2026-12-08T14:05:09.250Z", "h 'am/pm' h", "14 am/pm 14"},
    {"2026-12-08T14:05:09.250Z", "h h am/pm", "14 2 pm"},
    {"2026-12-08T00:30:00Z", "h AM/PM|hh Am/pM", "12 AM|12 Am"},
    {"2026-12-08T12:30:00Z", "h a/p", "12 p"},
    {"2026-12-08T14:05:09.250Z", "c", "12/8/2026 14:05:09"},
    {"2026-12-08T00:00:00.900Z", "c", "12/8/2026"},
    {"2026-12-08T14:05:09.250Z", "", "12/8/2026 14:05:09"},
    {"2026-12-08T14:05:09.250Z", "e g", "2026 A.D."},
    {"2026-12-08T14:05:09.250Z", "'d'\"m\" b/x:q", "dm b/x:q"},
};

} // namespace

TEST(URLMacros, ExpansionTable) {
    for (const Case& c : kExpansions) {
        FixedClock clock(at(c.time));
        EXPECT_EQ(expandUrlMacros(c.input, clock, defaultFormatSettings()), c.expected)
            << c.input << " at " << c.time;
    }
}

TEST(URLMacros, FormatterTable) {
    for (const Case& c : kFormats)
        EXPECT_EQ(formatDateTime(c.input, at(c.time), defaultFormatSettings()), c.expected)
            << c.input << " at " << c.time;
}

TEST(URLMacros, LocaleFormatsNestTwoLevelsAndUseTheLocale) {
    FormatSettings fs;
    fs.shortDateFormat = "yyyy c";
    fs.dateSeparator = '.';
    fs.timeSeparator = 'h';
    fs.decimalSeparator = ',';
    EXPECT_EQ(formatDateTime("c", at("2026-12-08T00:00:00Z"), fs), "2026 ");
    EXPECT_EQ(formatDateTime("d/m hh:nn", at("2026-12-08T14:05:00Z"), fs), "8.12 14h05");
    // Macro numbers use "." whatever the locale; a comma always ends an argument.
    FixedClock clock(at("2026-12-08T14:05:00Z"));
    EXPECT_EQ(expandUrlMacros("<date>1.5,hh:nn</date>", clock, fs), "15h35");
    EXPECT_EQ(expandUrlMacros("<date>1,5,hh</date>", clock, fs), "5");
    EXPECT_EQ(expandUrlMacros("<counter>0,0,2.5,0,0</counter>", clock, fs), "2");
}

TEST(URLMacros, NumberReading) {
    const std::pair<const char*, double> cases[] = {
        {"-2.5", -2.5}, {"x12y", 12},    {".5", 0.5},      {"+3", 3},  {"1e3", 1000}, {"abc", 0},
        {"", 0},        {"-", 0},        {"a-5", -5},      {"5-3", 5}, {"-.5", -0.5}, {"..5", 5},
        {"1.2.3", 1.2}, {"1e-3", 0.001}, {"1e--3", 0.001}, {"3.", 3},  {"--7", -7},   {"7e2x", 700},
    };
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(readFirstNumber(text, defaultFormatSettings()), value) << text;
    for (const char* bad : {"5e", "1e+3", "2Ex"}) {
        try {
            readFirstNumber(bad, defaultFormatSettings());
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Conversion);
            std::string collected(bad);
            collected.resize(collected.find_first_of("eE") + 1);
            EXPECT_EQ(e.what(), "'" + collected + "' is not a valid floating point value");
        }
    }
    FixedClock clock(at("2026-12-08T14:05:00Z"));
    EXPECT_THROW(expandUrlMacros("x<date>5e,yyyy</date>", clock, defaultFormatSettings()), Error);
}

TEST(URLMacros, ArgumentSplitting) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitMacroArgs("1,0,0"), (V{"1", "0", "0"}));
    EXPECT_EQ(splitMacroArgs("1,,2"), (V{"1"}));
    EXPECT_EQ(splitMacroArgs(",2"), V{});
    EXPECT_EQ(splitMacroArgs("1,2,"), (V{"1", "2"}));
    EXPECT_EQ(splitMacroArgs("a,b,c,d,e,f,g,h,i,j,k,l").size(), 10u);
    EXPECT_EQ(splitMacroArgs(std::string(300, 'x') + ",y")[0].size(), 255u);
    EXPECT_EQ(splitMacroArgs(std::string(300, 'x') + ",y")[1], "y");

    MacroElement e = findMacroElement("ab<counter>1,2</counter>cd", 0);
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.start, 2u);
    EXPECT_EQ(e.end, 24u);
    EXPECT_EQ(e.tag, "counter");
    EXPECT_EQ(e.args, "1,2");
    EXPECT_FALSE(findMacroElement("ab<counter>1,2</counter>cd", 3).found);
    e = findMacroElement("<x\\>rest", 0);
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.end, 4u);
    EXPECT_EQ(e.args, "");
}

TEST(URLMacros, HugeWidthsAndValuesStayBounded) {
    FixedClock clock(at("2026-12-08T14:05:09Z"));
    const auto& fs = defaultFormatSettings();
    EXPECT_EQ(expandUrlMacros("<counter>0,0,1,1,2000000000</counter>", clock, fs).size(), 255u);
    EXPECT_EQ(expandUrlMacros("<counter>1e300,0,0,0,0</counter>", clock, fs),
              "9223372036854775807");
    // With zeros on, the low 32 bits are written.
    EXPECT_EQ(expandUrlMacros("<counter>0,0,4294967301,1,0</counter>", clock, fs), "5");
}

TEST(URLMacros, CommandLine) {
    using kestrix::test::runCommand;
    auto r = runCommand(std::string(KESTRIX_CLI) +
                        " expand --at 2026-12-08T14:05:09.250Z 'img<date>0,yyyymmdd_hhnnss.zzz"
                        "</date>.jpg'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "img20261208_140509.250.jpg\n");
    r = runCommand(std::string(KESTRIX_CLI) + " expand '<date>5e,yyyy</date>' 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "'5e' is not a valid floating point value\n");
    r = runCommand(std::string(KESTRIX_CLI) + " expand --at yesterday x 2>&1");
    EXPECT_EQ(r.status, 1);
}
