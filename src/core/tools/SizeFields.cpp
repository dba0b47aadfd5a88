#include "tools/SizeFields.h"

#include <cmath>

namespace kestrix {

namespace {

// Round to the nearest integer, ties to even.
int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

} // namespace

void SizeFields::ResetSizeFields(int width, int height) {
    BaseWidth = width;
    BaseHeight = height;
    NewWidth = width;
    NewHeight = height;
    SizeChange = 0;
    AspectRatio = BaseHeight == 0 ? 1.0 : static_cast<double>(BaseWidth) / BaseHeight;
}

void SizeFields::StepSizeChange(int increment, int direction) { SizeChange += increment * direction; }

void SizeFields::ComputeNewSize(SizeUnits units) {
    NewWidth = units == SizeUnits::Percent
                   ? roundEven(BaseWidth * (SizeChange / 100.0)) + BaseWidth
                   : BaseWidth + SizeChange;
    NewHeight = roundEven(NewWidth / AspectRatio);
    if (NewWidth < 5)
        NewWidth = 5;
    if (NewHeight < 5)
        NewHeight = 5;
}

std::string SizeFields::imageSizeText() const {
    return " " + std::to_string(NewWidth) + " x " + std::to_string(NewHeight);
}

std::string SizeFields::unitsText(SizeUnits units) {
    return units == SizeUnits::Pixels ? "Pixels" : "Percent";
}

std::string SizeFields::changeText() const { return " " + std::to_string(SizeChange); }

int FilterForSharpness(int sharpnessIndex) {
    switch (sharpnessIndex) {
    case 0: return 4; // B-Spline
    case 1: return 5; // Mitchell
    default: return 6; // Lanczos3
    }
}

} // namespace kestrix
