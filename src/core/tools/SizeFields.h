// The arithmetic of the "Size" page: a new size by percent or by pixels, the aspect ratio always
// kept, never below 5 x 5.
#pragma once

#include <string>

namespace kestrix {

enum class SizeUnits { Percent, Pixels };

class SizeFields {
public:
    // The base size becomes the shown image's size; the change returns to 0.
    void ResetSizeFields(int width, int height);
    // SizeChange += increment x direction (+1 or -1).
    void StepSizeChange(int increment, int direction);
    void ComputeNewSize(SizeUnits units);

    int BaseWidth = 0;
    int BaseHeight = 0;
    double AspectRatio = 1.0;
    int SizeChange = 0;
    int NewWidth = 0;
    int NewHeight = 0;

    // " 320 x 240", "Percent" or "Pixels", " -10".
    std::string imageSizeText() const;
    static std::string unitsText(SizeUnits units);
    std::string changeText() const;
};

// The resampling filter of each sharpness choice: Soft, Medium, Sharp.
int FilterForSharpness(int sharpnessIndex);

} // namespace kestrix
