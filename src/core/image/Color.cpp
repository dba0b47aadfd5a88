#include "core/image/Color.h"

namespace kestrix {

uint8_t PaletteMatcher::nearest(Color c) {
    auto it = cache_.find(c.key());
    if (it != cache_.end())
        return it->second;
    int best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < palette_.size() && i < 256; ++i) {
        int dr = int{palette_[i].r} - c.r;
        int dg = int{palette_[i].g} - c.g;
        int db = int{palette_[i].b} - c.b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
            if (d == 0)
                break;
        }
    }
    auto index = static_cast<uint8_t>(best);
    cache_.emplace(c.key(), index);
    return index;
}

std::vector<Color> defaultPalette(int bitsPerPixel) {
    if (bitsPerPixel == 1)
        return {{0, 0, 0}, {255, 255, 255}};
    if (bitsPerPixel == 4)
        return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    std::vector<Color> p;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                             static_cast<uint8_t>(b * 51)});
    for (int i = 0; p.size() < 256; ++i) {
        auto v = static_cast<uint8_t>(8 + i * 6);
        p.push_back({v, v, v});
    }
    return p;
}

} // namespace kestrix
