#include "core/controls/DegreeSpinLayout.h"

#include <algorithm>

namespace kestrix {

namespace {

// Percent of the width for the degrees, minutes and seconds shares, by Digits (0 to 5).
constexpr std::array<std::array<int, 3>, 6> kShares{{
    {36, 24, 24},
    {32, 24, 28},
    {30, 24, 30},
    {28, 24, 32},
    {26, 24, 34},
    {24, 24, 36},
}};

} // namespace

std::array<DegreeBoxGeometry, 3> degreeSpinLayout(int width, int height, int boxHeight,
                                                  int captionHeight, int digits) {
    const auto& percent = kShares[static_cast<size_t>(std::clamp(digits, 0, 5))];
    width = std::max(width, 0);
    std::array<int, 3> share{};
    int used = 0;
    for (size_t i = 0; i < 3; ++i) {
        share[i] = width * percent[i] / 100;
        used += share[i];
    }
    const int gap = (width - used) / 4;
    const int top = std::max(0, (height - boxHeight - captionHeight) * 3 / 4);
    std::array<DegreeBoxGeometry, 3> layout{};
    int x = gap;
    for (size_t i = 0; i < 3; ++i) {
        const int boxWidth = std::max(0, share[i] - kSpinArrowWidth);
        layout[i].box = {x, top, boxWidth, boxHeight};
        layout[i].arrows = {x + boxWidth, top, kSpinArrowWidth, boxHeight};
        layout[i].caption = {x, top + boxHeight, boxWidth, captionHeight};
        x += share[i] + gap;
    }
    return layout;
}

} // namespace kestrix
