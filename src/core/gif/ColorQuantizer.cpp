#include "core/gif/ColorQuantizer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <emmintrin.h>

namespace kestrix {

// One cache line: the children first, since every insertion reads them.
struct alignas(64) ColorQuantizer::Node {
    std::array<uint32_t, 8> children{};
    uint32_t nextReducible = 0;
    // Pixels that reached this leaf (a picture holds far fewer than 2^31), with the top bit
    // marking a leaf.
    uint32_t pixelsAndLeaf = 0;
    // 64-bit: a large single-colour picture would overflow 32-bit sums.
    uint64_t sumRed = 0, sumGreen = 0, sumBlue = 0;

    static constexpr uint32_t kLeaf = 0x80000000u;
    bool leaf() const { return (pixelsAndLeaf & kLeaf) != 0; }
    uint32_t pixels() const { return pixelsAndLeaf & ~kLeaf; }
};

namespace {

inline int childIndex(uint8_t r, uint8_t g, uint8_t b, int level) {
    const int shift = 7 - level;
    return ((r >> shift) & 1) * 4 + ((g >> shift) & 1) * 2 + ((b >> shift) & 1);
}

} // namespace

ColorQuantizer::ColorQuantizer(int colourLimit, int depth)
    : nodes_(1), colourLimit_(colourLimit), depth_(depth), midCache_(4096, 0) {
    nodes_.reserve(4096);
}

ColorQuantizer::~ColorQuantizer() = default;

uint32_t ColorQuantizer::createNode(int level) {
    uint32_t index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
        nodes_[index] = Node{};
    } else {
        index = static_cast<uint32_t>(nodes_.size());
        nodes_.emplace_back();
    }
    Node& node = nodes_[index];
    if (level == depth_) {
        node.pixelsAndLeaf = Node::kLeaf;
        ++leaves_;
    } else {
        node.nextReducible = reducible_[static_cast<size_t>(level)];
        reducible_[static_cast<size_t>(level)] = index;
    }
    return index;
}

void ColorQuantizer::insertColour(uint8_t r, uint8_t g, uint8_t b) {
    const size_t cell = static_cast<size_t>((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
    uint32_t node = depth_ > kCacheLevel ? midCache_[cell] : 0;
    int level = kCacheLevel;
    if (node == 0) {
        if (root_ == 0)
            root_ = createNode(0);
        node = root_;
        for (level = 0; level < kCacheLevel && !nodes_[node].leaf() && level < depth_; ++level) {
            uint32_t child = nodes_[node].children[static_cast<size_t>(childIndex(r, g, b, level))];
            if (child == 0) {
                child = createNode(level + 1); // may move the array: index again below
                nodes_[node].children[static_cast<size_t>(childIndex(r, g, b, level))] = child;
            }
            node = child;
        }
        if (level == kCacheLevel)
            midCache_[cell] = node;
    }
    while (!nodes_[node].leaf()) {
        const auto slot = static_cast<size_t>(childIndex(r, g, b, level));
        uint32_t child = nodes_[node].children[slot];
        if (child == 0) {
            child = createNode(level + 1);
            nodes_[node].children[slot] = child;
        }
        node = child;
        ++level;
    }
    Node& leaf = nodes_[node];
    ++leaf.pixelsAndLeaf;
    leaf.sumRed += r;
    leaf.sumGreen += g;
    leaf.sumBlue += b;
    while (leaves_ > colourLimit_)
        mergeDeepestNode();
}

void ColorQuantizer::mergeDeepestNode() {
    int level = depth_ - 1;
    while (level > 0 && reducible_[static_cast<size_t>(level)] == 0)
        --level;
    const uint32_t index = reducible_[static_cast<size_t>(level)];
    if (index == 0)
        return;
    Node& node = nodes_[index];
    reducible_[static_cast<size_t>(level)] = node.nextReducible;
    int removed = 0;
    uint32_t pixels = node.pixels();
    uint64_t red = 0, green = 0, blue = 0;
    for (uint32_t& child : node.children) {
        if (child == 0)
            continue;
        const Node& c = nodes_[child];
        pixels += c.pixels();
        red += c.sumRed;
        green += c.sumGreen;
        blue += c.sumBlue;
        // Below the deepest reducible level every node is a leaf: the child has no children.
        free_.push_back(child);
        child = 0;
        ++removed;
    }
    node.pixelsAndLeaf = pixels | Node::kLeaf;
    node.sumRed = red;
    node.sumGreen = green;
    node.sumBlue = blue;
    leaves_ += 1 - removed;
    if (level < kCacheLevel)
        std::fill(midCache_.begin(), midCache_.end(), 0);
}

void ColorQuantizer::buildOctree(const Bitmap& bitmap) {
    for (int y = 0; y < bitmap.height(); ++y) {
        const uint8_t* row = bitmap.scanLine(y);
        for (int x = 0; x < bitmap.width(); ++x)
            insertColour(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

std::vector<Color> ColorQuantizer::listPalette() const {
    std::vector<Color> palette;
    std::vector<uint32_t> stack;
    if (root_ != 0)
        stack.push_back(root_);
    while (!stack.empty()) {
        const Node& n = nodes_[stack.back()];
        stack.pop_back();
        if (n.leaf()) {
            if (n.pixels() > 0 && palette.size() < 256)
                palette.push_back({static_cast<uint8_t>(n.sumRed / n.pixels()),
                                   static_cast<uint8_t>(n.sumGreen / n.pixels()),
                                   static_cast<uint8_t>(n.sumBlue / n.pixels())});
            continue;
        }
        for (int i = 7; i >= 0; --i) // pushed in reverse so that child 0 comes first
            if (n.children[static_cast<size_t>(i)] != 0)
                stack.push_back(n.children[static_cast<size_t>(i)]);
    }
    palette.resize(256);
    return palette;
}

ColourLookup::ColourLookup(const std::vector<Color>& palette) {
    cache_.fill(-1);
    // Entries beyond the palette never win: they are farther than any colour can be.
    for (size_t i = 0; i < 256; ++i) {
        const bool present = i < palette.size();
        red_[i] = present ? palette[i].r : 2000;
        green_[i] = present ? palette[i].g : 2000;
        blue_[i] = present ? palette[i].b : 2000;
    }
    for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        int16_t& c = cache_[static_cast<size_t>(cell(palette[i].r, palette[i].g, palette[i].b))];
        if (c < 0)
            c = static_cast<int16_t>(i);
    }
}

// The first entry with the smallest sum of absolute differences, eight entries at a time.
int ColourLookup::nearest(uint8_t r, uint8_t g, uint8_t b) const {
    const __m128i vr = _mm_set1_epi16(r), vg = _mm_set1_epi16(g), vb = _mm_set1_epi16(b);
    auto absDiff = [](__m128i x, __m128i y) {
        return _mm_sub_epi16(_mm_max_epi16(x, y), _mm_min_epi16(x, y));
    };
    alignas(16) int16_t distance[256];
    __m128i best = _mm_set1_epi16(INT16_MAX);
    for (int i = 0; i < 256; i += 8) {
        const __m128i d = _mm_add_epi16(
            _mm_add_epi16(
                absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(red_ + i)), vr),
                absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(green_ + i)), vg)),
            absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(blue_ + i)), vb));
        _mm_store_si128(reinterpret_cast<__m128i*>(distance + i), d);
        best = _mm_min_epi16(best, d);
    }
    alignas(16) int16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), best);
    const int16_t minimum = *std::min_element(lanes, lanes + 8);
    return static_cast<int>(std::find(distance, distance + 256, minimum) - distance);
}

uint8_t ColourLookup::find(uint8_t r, uint8_t g, uint8_t b) {
    int16_t& c = cache_[static_cast<size_t>(cell(r, g, b))];
    if (c < 0)
        c = static_cast<int16_t>(nearest(r, g, b));
    return static_cast<uint8_t>(c);
}

Bitmap reduceToPalette(const Bitmap& source) {
    Bitmap converted;
    if (source.pixelFormat() != PixelFormat::Bit24) {
        converted = source;
        converted.convertTo24();
    }
    const Bitmap& bitmap = source.pixelFormat() == PixelFormat::Bit24 ? source : converted;
    ColorQuantizer quantizer;
    quantizer.buildOctree(bitmap);
    const std::vector<Color> palette = quantizer.listPalette();
    ColourLookup lookup(palette);
    Bitmap out(bitmap.width(), bitmap.height(), PixelFormat::Bit8);
    out.setPalette(palette);
    const int w = bitmap.width();
    for (int y = 0; y < bitmap.height(); ++y) {
        const uint8_t* in = bitmap.scanLine(y);
        uint8_t* row = out.scanLine(y);
        const bool leftToRight = y % 2 == 0;
        for (int k = 0; k < w; ++k) {
            const int x = leftToRight ? k : w - 1 - k;
            row[x] = lookup.find(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
        }
    }
    return out;
}

} // namespace kestrix
