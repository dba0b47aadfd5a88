// Text that others parse: JSON strings and pages stay valid UTF-8 whatever bytes came in.
#include "core/util/JsonText.h"

#include <gtest/gtest.h>

using namespace kestrix;

TEST(JsonText, InvalidUtf8BecomesTheReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x93\xB7", "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x93\xB7"},
        {"Latin-1 K\xF6ln", "Latin-1 K" + r + "ln"},
        {"\xC0\xAF overlong", r + r + " overlong"},
        {"\xED\xA0\x80 surrogate", r + r + r + " surrogate"},
        {"\xF4\x90\x80\x80 too high", r + r + r + r + " too high"},
        {"cut \xE2\x82", "cut " + r + r},
        {"\x80\xBF", r + r},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(toValidUtf8(in), out) << in;
    EXPECT_EQ(jsonString("a\"b\\c\n\x01\x7F K\xF6ln"),
              "\"a\\\"b\\\\c\\u000a\\u0001\\u007f K" + r + "ln\"");
    EXPECT_EQ(isoUtc(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtc(1796800421), "2026-12-09T07:13:41Z");
}
