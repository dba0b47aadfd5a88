// Degree spin value: writing degrees, the limit rules, the three box texts, typing and arrows,
// and the layout of the boxes.
#include "core/controls/DegreeSpinValue.h"

#include "core/controls/DegreeSpinLayout.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace kestrix;

namespace {

using Texts = std::array<std::string, 3>;

DegreeSpinValue delaySpin() {
    DegreeSpinValue v;
    v.setUseLimit(true);
    v.setMinValue(1.0 / 3600);
    v.setMaxValue(720);
    v.setDigits(0);
    return v;
}

DegreeSpinValue timeOffsetSpin() {
    DegreeSpinValue v;
    v.setDigits(1);
    return v;
}

Texts shown(double degrees, DegreeSpinValue v) {
    v.setDegrees(degrees);
    return v.texts(defaultFormatSettings());
}

} // namespace

TEST(DegreeSpinValue, WritingShowsNormalisedClampedAndTruncatedParts) {
    struct Case {
        DegreeSpinValue spin;
        double degrees;
        Texts texts;
    } cases[] = {
        {delaySpin(), 90.5 / 3600, {"0", "1", "30"}},
        {delaySpin(), 0, {"0", "0", "1"}},
        {delaySpin(), -3, {"0", "0", "1"}},
        {delaySpin(), 721, {"720", "0", "0"}},
        {delaySpin(), 720, {"720", "0", "0"}},
        {delaySpin(), 1.0 / 60, {"0", "1", "0"}},
        {timeOffsetSpin(), -0.5, {"-0", "30", "0"}},
        {timeOffsetSpin(), -7, {"-7", "0", "0"}},
        {timeOffsetSpin(), 5.5, {"5", "30", "0"}},
        {timeOffsetSpin(), 90.56 / 3600, {"0", "1", "30.5"}},
        {timeOffsetSpin(), -90.56 / 3600, {"-0", "1", "30.5"}},
        {timeOffsetSpin(), 1e300, {"25620477880", "9", "7.7"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(c.degrees, c.spin), c.texts) << c.degrees;

    DegreeSpinValue precise;
    precise.setDigits(3);
    precise.setDegrees(1.23456 / 3600); // 123,456 units: the last two digits are not shown
    EXPECT_EQ(precise.units(), 123'400);
    EXPECT_EQ(precise.texts(defaultFormatSettings()), (Texts{"0", "0", "1.234"}));
    FormatSettings comma;
    comma.decimalSeparator = ',';
    EXPECT_EQ(precise.texts(comma)[2], "1,234");
    precise.setDigits(1);
    EXPECT_EQ(precise.units(), 120'000);
    precise.setDegrees(std::nan(""));
    EXPECT_EQ(precise.units(), 120'000);
}

TEST(DegreeSpinValue, LimitsTruncateTheMaximumAndRoundTheMinimum) {
    DegreeSpinValue v;
    v.setUseLimit(true);
    v.setDigits(5);
    v.setMinValue(-1.000000001 / kUnitsPerDegree * 100); // -100.0000001 units
    v.setMaxValue(2.9999999 / kUnitsPerDegree);          // 2.9999999 units
    struct Case {
        int64_t units;
        int64_t clamped;
    } cases[] = {
        {3, 2},       {2, 2},       {1, 1},
        {-100, -100}, {-101, -100}, {std::numeric_limits<int64_t>::min(), -100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(v.clamp(c.units), c.clamped) << c.units;
    // With the minimum above the maximum both tests apply and the minimum is set last.
    v.setMinValue(10.0 / kUnitsPerDegree);
    EXPECT_EQ(v.clamp(5), 10);
    EXPECT_EQ(v.clamp(3), 10);
}

TEST(DegreeSpinValue, TypingReadsTheThreeBoxes) {
    struct Case {
        DegreeSpinValue spin;
        double start;
        Texts typed;
        DegreeTyping outcome;
        Texts after;
    } cases[] = {
        {timeOffsetSpin(), 1, {"1", "75", "0"}, DegreeTyping::Updated, {"2", "15", "0"}},
        {timeOffsetSpin(), 1, {"1", "7", "0"}, DegreeTyping::Updated, {"1", "7", "0"}},
        {timeOffsetSpin(), 1, {"1", "0", "0"}, DegreeTyping::Unchanged, {"1", "0", "0"}},
        {timeOffsetSpin(), 1, {"1", "0", "30."}, DegreeTyping::Updated, {"1", "0", "30"}},
        {timeOffsetSpin(), 1, {"-", "0", "0"}, DegreeTyping::Ignored, {"1", "0", "0"}},
        {timeOffsetSpin(), 1, {"1", "", "0"}, DegreeTyping::Ignored, {"1", "0", "0"}},
        {timeOffsetSpin(), 1, {"1", "0", "1,5"}, DegreeTyping::Ignored, {"1", "0", "0"}},
        {timeOffsetSpin(), 1, {"-0", "30", "0"}, DegreeTyping::Updated, {"-0", "30", "0"}},
        {timeOffsetSpin(), 1, {"0", "-30", "0"}, DegreeTyping::Updated, {"-0", "30", "0"}},
        {timeOffsetSpin(), 1, {"1", "0", "-0.5"}, DegreeTyping::Updated, {"-1", "0", "0.5"}},
        {timeOffsetSpin(), 0, {"0", "0", "90.25"}, DegreeTyping::Updated, {"0", "1", "30.2"}},
        {timeOffsetSpin(),
         0,
         {"99999999999999", "0", "0"},
         DegreeTyping::Updated,
         {"25620477880", "9", "7.7"}},
        {delaySpin(), 1, {"800", "0", "0"}, DegreeTyping::Updated, {"720", "0", "0"}},
        {delaySpin(), 1, {"0", "0", "0"}, DegreeTyping::Updated, {"0", "0", "1"}},
        {delaySpin(), 1, {"0", "0", "30.7"}, DegreeTyping::Updated, {"0", "0", "30"}},
    };
    for (auto& c : cases) {
        c.spin.setDegrees(c.start);
        EXPECT_EQ(c.spin.typed(c.typed[0], c.typed[1], c.typed[2], defaultFormatSettings()),
                  c.outcome)
            << c.typed[0] << " " << c.typed[1] << " " << c.typed[2];
        EXPECT_EQ(c.spin.texts(defaultFormatSettings()), c.after) << c.typed[1];
    }
    // Without auto-correction parts out of range only report the change.
    DegreeSpinValue strict = timeOffsetSpin();
    strict.setAutoCorrect(false);
    strict.setDegrees(1);
    EXPECT_EQ(strict.typed("1", "75", "0", defaultFormatSettings()), DegreeTyping::ChangeOnly);
    EXPECT_EQ(strict.typed("1", "0", "60", defaultFormatSettings()), DegreeTyping::ChangeOnly);
    EXPECT_EQ(strict.degrees(), 1);
}

TEST(DegreeSpinValue, ArrowsStepEachBoxAndSaturate) {
    struct Case {
        DegreeSpinValue spin;
        double start;
        int box;
        bool up;
        double secInc;
        Texts after;
    } cases[] = {
        {timeOffsetSpin(), 0, 0, true, 1, {"1", "0", "0"}},
        {timeOffsetSpin(), 0, 1, false, 1, {"-0", "1", "0"}},
        {timeOffsetSpin(), 0, 2, true, 1, {"0", "0", "1"}},
        {timeOffsetSpin(), 0, 2, true, 0.25, {"0", "0", "0.2"}},
        {timeOffsetSpin(), 59.0 / 60, 1, true, 1, {"1", "0", "0"}},
        {delaySpin(), 720, 0, true, 1, {"720", "0", "0"}},
        {delaySpin(), 0, 2, false, 1, {"0", "0", "1"}},
        {delaySpin(), 1, 2, true, 0.5, {"1", "0", "0"}},
        {timeOffsetSpin(), 1e300, 0, true, 1, {"25620477880", "9", "7.7"}},
        {timeOffsetSpin(), -1e300, 2, false, 1e300, {"-25620477880", "9", "7.7"}},
    };
    for (auto& c : cases) {
        c.spin.setDegrees(c.start);
        c.spin.setSecInc(c.secInc);
        c.spin.step(c.box, c.up);
        EXPECT_EQ(c.spin.texts(defaultFormatSettings()), c.after) << c.start << " " << c.box;
    }
}

TEST(DegreeSpinLayout, SharesFollowTheDigitsAndLeaveFourEqualGaps) {
    struct Case {
        int digits;
        std::array<int, 3> x;
        std::array<int, 3> boxWidth;
    } cases[] = {
        {0, {8, 88, 144}, {57, 33, 33}}, {1, {8, 80, 136}, {49, 33, 41}},
        {2, {8, 76, 132}, {45, 33, 45}}, {5, {8, 64, 120}, {33, 33, 57}},
        {9, {8, 64, 120}, {33, 33, 57}},
    };
    for (const auto& c : cases) {
        const auto layout = degreeSpinLayout(200, 50, 20, 14, c.digits);
        for (size_t i = 0; i < 3; ++i) {
            const DegreeBoxGeometry& g = layout[i];
            EXPECT_EQ(g.box, (SpinRect{c.x[i], 12, c.boxWidth[i], 20})) << c.digits << i;
            EXPECT_EQ(g.arrows, (SpinRect{c.x[i] + c.boxWidth[i], 12, 15, 20})) << c.digits << i;
            EXPECT_EQ(g.caption, (SpinRect{c.x[i], 32, c.boxWidth[i], 14})) << c.digits << i;
        }
    }
    // Too small to share: nothing gets a negative size or position.
    for (const auto& g : degreeSpinLayout(30, 10, 20, 14, 1)) {
        EXPECT_GE(g.box.width, 0);
        EXPECT_GE(g.box.y, 0);
    }
}
