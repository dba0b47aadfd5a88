#include "core/tools/SizeFields.h"

#include <cmath>

namespace kestrix {

namespace {

// Round to the nearest integer, ties to even.
int roundEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

} // namespace

void SizeFields::resetSizeFields(int width, int height) {
    baseWidth = width;
    baseHeight = height;
    newWidth = width;
    newHeight = height;
    sizeChange = 0;
    aspectRatio = baseHeight == 0 ? 1.0 : static_cast<double>(baseWidth) / baseHeight;
}

void SizeFields::stepSizeChange(int increment, int direction) {
    sizeChange += increment * direction;
}

void SizeFields::computeNewSize(SizeUnits units) {
    newWidth = units == SizeUnits::Percent ? roundEven(baseWidth * (sizeChange / 100.0)) + baseWidth
                                           : baseWidth + sizeChange;
    newHeight = roundEven(newWidth / aspectRatio);
    if (newWidth < 5)
        newWidth = 5;
    if (newHeight < 5)
        newHeight = 5;
}

std::string SizeFields::imageSizeText() const {
    return " " + std::to_string(newWidth) + " x " + std::to_string(newHeight);
}

std::string SizeFields::unitsText(SizeUnits units) {
    return units == SizeUnits::Pixels ? "Pixels" : "Percent";
}

std::string SizeFields::changeText() const {
    return " " + std::to_string(sizeChange);
}

ResampleFilter filterForSharpness(int sharpnessIndex) {
    switch (sharpnessIndex) {
    case 0:
        return ResampleFilter::BSpline;
    case 1:
        return ResampleFilter::Mitchell;
    default:
        return ResampleFilter::Lanczos3;
    }
}

} // namespace kestrix
