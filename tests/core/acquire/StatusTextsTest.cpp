#include "core/acquire/StatusTexts.h"

#include "core/acquire/AddressHistory.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

double seconds(double s) {
    return s / 86400.0;
}

} // namespace

TEST(StatusTexts, AgeDotsAndByteCounts) {
    EXPECT_EQ(formatAge(seconds(7)), "0:07");
    EXPECT_EQ(formatAge(seconds(754)), "12:34");
    EXPECT_EQ(formatAge(seconds(75 * 60 + 2.9)), "75:02");
    EXPECT_EQ(formatAge(1 + seconds(5)), "0:05"); // whole days dropped
    EXPECT_EQ(formatAge(0), "0:00");

    EXPECT_EQ(loadingDots(3), ". . . ");
    EXPECT_EQ(loadingDots(10), "");
    EXPECT_EQ(loadingDots(61), ". ");
    EXPECT_EQ(loadingText(3), "Loading Data 3 . . . ");
    EXPECT_EQ(loadingText(10), "Loading Data 10 ");
    EXPECT_EQ(loadingText(61), "Loading Data 61 . ");

    const auto& fs = defaultFormatSettings();
    EXPECT_EQ(byteCountText(0, fs), "0");
    EXPECT_EQ(byteCountText(1048576, fs), "1048576");
    EXPECT_EQ(byteCountText(1048577, fs), "1.000 m");
    EXPECT_EQ(byteCountText(1572864, fs), "1.500 m");
    FormatSettings comma;
    comma.decimalSeparator = ',';
    EXPECT_EQ(byteCountText(1572864, comma), "1,500 m");

    EXPECT_EQ(utcTimeText(46364 + seconds(7 * 3600 + 5 * 60 + 9)), "7:05:09");
    EXPECT_EQ(utcTimeText(46364 + seconds(14 * 3600 + 5 * 60 + 9)), "14:05:09");
}

TEST(StatusTexts, SpansIntervalsAndPlaybackDelays) {
    EXPECT_EQ(formatSpan(seconds(75)), "01:15");
    EXPECT_EQ(formatSpan(seconds(3725)), "1:02:05");
    EXPECT_EQ(formatSpan(seconds(0.4)), "00:00");

    const double t0 = 46364 + seconds(36000), t1 = t0 + seconds(75);
    EXPECT_EQ(spanText(averageInterval({})), "00:00");
    EXPECT_EQ(spanText(averageInterval({t0})), "00:00");
    EXPECT_EQ(spanText(averageInterval({t0, t1})), "01:15");
    EXPECT_EQ(spanText(averageInterval({t1, t0, t1 + seconds(45)})), "01:37"); // (75 + 120) / 2
    EXPECT_EQ(spanText(frameInterval({t0, t1}, 0)), "01:15");
    EXPECT_EQ(spanText(frameInterval({t0, t1}, 1)), "01:15");
    EXPECT_EQ(spanText(frameInterval({t0}, 0)), "00:00");
    // Frames without a time (0, loaded from a file) beside captured ones: their intervals are
    // shown empty and left out of the average.
    const std::vector<DateTime> mixed = {0, 0, t0, t1, 0, t1 + seconds(45)};
    EXPECT_EQ(spanText(frameInterval(mixed, 0)), "");
    EXPECT_EQ(spanText(frameInterval(mixed, 2)), "");
    EXPECT_EQ(spanText(frameInterval(mixed, 3)), "01:15");
    EXPECT_EQ(spanText(frameInterval(mixed, 5)), "");
    EXPECT_EQ(spanText(averageInterval(mixed)), "01:15");
    EXPECT_EQ(spanText(averageInterval({0, 0, 0})), "");

    const std::pair<double, int> delays[] = {{10, 100}, {0.5, 2000}, {3, 333},
                                             {7, 143},  {16, 62},    {200, 5}};
    for (auto [fps, ms] : delays)
        EXPECT_EQ(playbackDelayMs(fps), ms) << fps;
}

TEST(AddressHistory, TheAddressInUseMovesToTheTop) {
    std::vector<std::string> list{"http://a", "HTTP://B", ""};
    std::string text = "http://b";
    pushAddressHistory(list, text);
    EXPECT_EQ(list, (std::vector<std::string>{"HTTP://B", "http://a", ""}));
    EXPECT_EQ(text, "HTTP://B");
    text = "http://c";
    pushAddressHistory(list, text);
    EXPECT_EQ(list.front(), "http://c");
    EXPECT_EQ(list.size(), 4u);
}
