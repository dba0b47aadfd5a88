// The arithmetic of the "Size" page: a new size by percent or by pixels, the aspect ratio always
// kept, never below 5 x 5.
#pragma once

#include "core/tools/Resampler.h"

#include <string>

namespace kestrix {

enum class SizeUnits { Percent, Pixels };

class SizeFields {
public:
    // The base size becomes the shown image's size; the change returns to 0.
    void resetSizeFields(int width, int height);
    // SizeChange += increment x direction (+1 or -1).
    void stepSizeChange(int increment, int direction);
    void computeNewSize(SizeUnits units);

    int baseWidth = 0;
    int baseHeight = 0;
    double aspectRatio = 1.0;
    int sizeChange = 0;
    int newWidth = 0;
    int newHeight = 0;

    // " 320 x 240", "Percent" or "Pixels", " -10".
    std::string imageSizeText() const;
    static std::string unitsText(SizeUnits units);
    std::string changeText() const;
};

// The resampling filter of each sharpness choice: Soft, Medium, Sharp.
ResampleFilter filterForSharpness(int sharpnessIndex);

} // namespace kestrix
