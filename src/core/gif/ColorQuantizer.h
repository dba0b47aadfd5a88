// Colour reduction of a 24-bit bitmap to 256 colours: an octree quantizer builds the palette from
// the picture's own colours, and a cached lookup over a 5-5-5 colour grid maps every pixel to an
// entry without dithering. The order in which pixels are visited is part of the result.
#pragma once

#include "core/image/Bitmap.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kestrix {

class ColorQuantizer {
public:
    explicit ColorQuantizer(int colourLimit = 256, int depth = 8);
    ~ColorQuantizer();
    static constexpr int kCacheLevel = 4;
    ColorQuantizer(const ColorQuantizer&) = delete;
    ColorQuantizer& operator=(const ColorQuantizer&) = delete;

    // Adds every pixel of a 24-bit bitmap, top row first, left to right.
    void buildOctree(const Bitmap& bitmap);
    void insertColour(uint8_t r, uint8_t g, uint8_t b);
    // The leaves in depth-first order (children 0 .. 7), padded with black to 256 entries.
    std::vector<Color> listPalette() const;
    int leaves() const { return leaves_; }

private:
    struct Node;
    uint32_t createNode(int level);
    void mergeDeepestNode();

    // Nodes are addressed by index into one array; a merged node's children go to a free list and
    // are reused. Index 0 is never a node, so 0 means "no node".
    std::vector<Node> nodes_;
    std::vector<uint32_t> free_;
    uint32_t root_ = 0;
    int leaves_ = 0;
    std::array<uint32_t, 9> reducible_{};
    int colourLimit_;
    int depth_;
    // The level-4 node of each 4-4-4 colour cell, so that most insertions start halfway down.
    // Merging a node above level 4 unlinks such nodes and empties the cache.
    std::vector<uint32_t> midCache_;
};

// The nearest-entry lookup: each cell of the 5-5-5 grid answers the entry that first claimed it,
// or, when no entry lies in it, the entry nearest (sum of absolute differences) to the first
// colour looked up there.
class ColourLookup {
public:
    explicit ColourLookup(const std::vector<Color>& palette);
    uint8_t find(uint8_t r, uint8_t g, uint8_t b);
    static int cell(uint8_t r, uint8_t g, uint8_t b) {
        return (r >> 3) + (g >> 3) * 32 + (b >> 3) * 1024;
    }

private:
    int nearest(uint8_t r, uint8_t g, uint8_t b) const;

    std::array<int16_t, 32768> cache_;
    // The palette channel by channel, for the search.
    alignas(16) int16_t red_[256], green_[256], blue_[256];
};

// An 8-bit bitmap with a 256-entry palette from the octree of the (24-bit) bitmap's own colours;
// rows are mapped in serpentine order, the first left to right.
Bitmap reduceToPalette(const Bitmap& bitmap);

} // namespace kestrix
