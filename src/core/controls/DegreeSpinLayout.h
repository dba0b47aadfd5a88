// Where the three boxes of a degree spin, their arrows and their captions go inside the control.
#pragma once

#include <array>

namespace kestrix {

// Width of a spin box's arrow pair.
constexpr int kSpinArrowWidth = 15;

struct SpinRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const SpinRect&) const = default;
};

struct DegreeBoxGeometry {
    SpinRect box;
    SpinRect arrows;
    SpinRect caption;
};

// The boxes share the width in proportions that depend on the seconds' decimals (the seconds box
// widens as the others give way); each box is its share less its arrows, and the rest of the
// width makes four equal gaps around and between them. The boxes sit three quarters of the way
// down the height their captions leave free, each caption directly under its box.
std::array<DegreeBoxGeometry, 3> degreeSpinLayout(int width, int height, int boxHeight,
                                                  int captionHeight, int digits);

} // namespace kestrix
