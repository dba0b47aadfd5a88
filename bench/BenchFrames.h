// Camera-like test frames shared by the frame benchmarks.
#pragma once

#include "core/frames/BitmapList.h"

#include <cmath>
#include <cstdint>

namespace kestrix::bench {

// `count` frames of 640 x 480 that pan across a wide picture of colour waves with a little
// noise: every frame differs from the last, as a camera's frames do. Built once per count.
inline const BitmapList& panningFrames(int count) {
    constexpr int kWidth = 640, kHeight = 480;
    static BitmapList list;
    if (list.count() != count) {
        list.clear();
        const int wide = kWidth + count;
        Bitmap scene(wide, kHeight);
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < wide; ++x) {
                seed = seed * 1664525 + 1013904223;
                const int noise = static_cast<int>(seed >> 28) - 8;
                uint8_t* p = scene.scanLine(y) + 3 * x;
                p[0] = static_cast<uint8_t>(128 + 80 * std::cos(x / 40.0 - y / 90.0) + noise);
                p[1] = static_cast<uint8_t>(128 + 90 * std::sin((x + y) / 60.0) + noise);
                p[2] = static_cast<uint8_t>(128 + 100 * std::sin(x / 25.0) * std::cos(y / 35.0));
            }
        Bitmap frame(kWidth, kHeight);
        for (int i = 0; i < count; ++i) {
            frame.copyRect(0, 0, scene, {i, 0, i + kWidth, kHeight});
            list.add(frame);
        }
    }
    return list;
}

} // namespace kestrix::bench
