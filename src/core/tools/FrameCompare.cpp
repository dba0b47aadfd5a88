#include "tools/FrameCompare.h"

#include <algorithm>
#include <cstdlib>

namespace kestrix {

void DifferenceInto(Bitmap& target, Bitmap& other) {
    target.convertTo24();
    other.convertTo24();
    const int w = std::min(target.width(), other.width());
    const int h = std::min(target.height(), other.height());
    const size_t bytes = static_cast<size_t>(std::max(w, 0)) * 3;
    for (int y = 0; y < h; ++y) {
        uint8_t* t = target.scanLine(y);
        const uint8_t* o = other.scanLine(y);
        for (size_t i = 0; i < bytes; ++i)
            t[i] = static_cast<uint8_t>(std::abs(int{t[i]} - int{o[i]}));
    }
}

} // namespace kestrix
