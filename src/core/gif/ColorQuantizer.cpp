#include "gif/ColorQuantizer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <emmintrin.h>

namespace kestrix {

struct TColorQuantizer::Node {
    bool Leaf = false;
    // 64-bit: a large single-colour picture would overflow 32-bit sums.
    uint64_t Pixels = 0;
    uint64_t SumRed = 0, SumGreen = 0, SumBlue = 0;
    Node* NextReducible = nullptr;
    std::array<Node*, 8> Children{};
};

namespace {

constexpr size_t kBlockNodes = 1024;

inline int childIndex(uint8_t r, uint8_t g, uint8_t b, int level) {
    const int shift = 7 - level;
    return ((r >> shift) & 1) * 4 + ((g >> shift) & 1) * 2 + ((b >> shift) & 1);
}

} // namespace

TColorQuantizer::TColorQuantizer(int colourLimit, int depth)
    : colourLimit_(colourLimit), depth_(depth), midCache_(4096, nullptr) {}

TColorQuantizer::~TColorQuantizer() = default;

TColorQuantizer::Node* TColorQuantizer::createNode(int level) {
    Node* node;
    if (!free_.empty()) {
        node = free_.back();
        free_.pop_back();
        *node = Node{};
    } else {
        if (blocks_.empty() || usedInBlock_ == kBlockNodes) {
            blocks_.push_back(std::make_unique<Node[]>(kBlockNodes));
            usedInBlock_ = 0;
        }
        node = &blocks_.back()[usedInBlock_++];
    }
    if (level == depth_) {
        node->Leaf = true;
        ++leaves_;
    } else {
        node->NextReducible = reducible_[static_cast<size_t>(level)];
        reducible_[static_cast<size_t>(level)] = node;
    }
    return node;
}

void TColorQuantizer::InsertColour(uint8_t r, uint8_t g, uint8_t b) {
    const size_t cell = static_cast<size_t>((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4));
    Node* node = depth_ > kCacheLevel ? midCache_[cell] : nullptr;
    int level = kCacheLevel;
    if (!node) {
        if (!root_)
            root_ = createNode(0);
        node = root_;
        for (level = 0; level < kCacheLevel && !node->Leaf && level < depth_; ++level) {
            Node*& child = node->Children[static_cast<size_t>(childIndex(r, g, b, level))];
            if (!child)
                child = createNode(level + 1);
            node = child;
        }
        if (level == kCacheLevel)
            midCache_[cell] = node;
    }
    while (!node->Leaf) {
        Node*& child = node->Children[static_cast<size_t>(childIndex(r, g, b, level))];
        if (!child)
            child = createNode(level + 1);
        node = child;
        ++level;
    }
    ++node->Pixels;
    node->SumRed += r;
    node->SumGreen += g;
    node->SumBlue += b;
    while (leaves_ > colourLimit_)
        MergeDeepestNode();
}

void TColorQuantizer::MergeDeepestNode() {
    int level = depth_ - 1;
    while (level > 0 && !reducible_[static_cast<size_t>(level)])
        --level;
    Node* node = reducible_[static_cast<size_t>(level)];
    if (!node)
        return;
    reducible_[static_cast<size_t>(level)] = node->NextReducible;
    int removed = 0;
    uint64_t red = 0, green = 0, blue = 0;
    for (Node*& child : node->Children) {
        if (!child)
            continue;
        node->Pixels += child->Pixels;
        red += child->SumRed;
        green += child->SumGreen;
        blue += child->SumBlue;
        // Below the deepest reducible level every node is a leaf: the child has no children.
        free_.push_back(child);
        child = nullptr;
        ++removed;
    }
    node->SumRed = red;
    node->SumGreen = green;
    node->SumBlue = blue;
    node->Leaf = true;
    leaves_ += 1 - removed;
    if (level < kCacheLevel)
        std::fill(midCache_.begin(), midCache_.end(), nullptr);
}

void TColorQuantizer::BuildOctree(const Bitmap& bitmap) {
    for (int y = 0; y < bitmap.height(); ++y) {
        const uint8_t* row = bitmap.scanLine(y);
        for (int x = 0; x < bitmap.width(); ++x)
            InsertColour(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

std::vector<Color> TColorQuantizer::ListPalette() const {
    std::vector<Color> palette;
    std::vector<const Node*> stack;
    if (root_)
        stack.push_back(root_);
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (n->Leaf) {
            if (n->Pixels > 0 && palette.size() < 256)
                palette.push_back({static_cast<uint8_t>(n->SumRed / n->Pixels),
                                   static_cast<uint8_t>(n->SumGreen / n->Pixels),
                                   static_cast<uint8_t>(n->SumBlue / n->Pixels)});
            continue;
        }
        for (int i = 7; i >= 0; --i) // pushed in reverse so that child 0 comes first
            if (n->Children[static_cast<size_t>(i)])
                stack.push_back(n->Children[static_cast<size_t>(i)]);
    }
    palette.resize(256);
    return palette;
}

ColourLookup::ColourLookup(const std::vector<Color>& palette) : palette_(palette) {
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
            _mm_add_epi16(absDiff(_mm_load_si128(reinterpret_cast<const __m128i*>(red_ + i)), vr),
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

Bitmap ReduceToPalette(const Bitmap& source) {
    Bitmap converted;
    if (source.pixelFormat() != PixelFormat::Bit24) {
        converted = source;
        converted.convertTo24();
    }
    const Bitmap& bitmap = source.pixelFormat() == PixelFormat::Bit24 ? source : converted;
    TColorQuantizer quantizer;
    quantizer.BuildOctree(bitmap);
    const std::vector<Color> palette = quantizer.ListPalette();
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
