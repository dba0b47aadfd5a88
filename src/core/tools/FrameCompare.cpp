#include "core/tools/FrameCompare.h"

#include "core/decode/ImageDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>
#include <map>
#include <unordered_map>

namespace kestrix {

namespace {

// Sums |a - b| per channel (blue, green, red) over 24-bit bytes. The sums are exact integers, so
// adding them up in another order than pixel by pixel gives the same means. Each vector of byte
// differences is summed whole and for two channels under masks; the third is the rest.
void channelSumsSse2(const uint8_t* a, const uint8_t* b, size_t bytes, uint64_t sums[3]) {
    // In a block of three 16-byte vectors, byte k of vector v belongs to channel (16v + k) % 3.
    __m128i masks[3][2];
    for (int v = 0; v < 3; ++v)
        for (int c = 0; c < 2; ++c) {
            alignas(16) uint8_t m[16];
            for (int k = 0; k < 16; ++k)
                m[k] = (16 * v + k) % 3 == c ? 0xFF : 0;
            masks[v][c] = _mm_load_si128(reinterpret_cast<const __m128i*>(m));
        }
    const __m128i zero = _mm_setzero_si128();
    __m128i total = zero, blue = zero, green = zero;
    size_t i = 0;
    for (; i + 48 <= bytes; i += 48)
        for (int v = 0; v < 3; ++v) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 16 * v));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 16 * v));
            const __m128i d = _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x));
            total = _mm_add_epi64(total, _mm_sad_epu8(d, zero));
            blue = _mm_add_epi64(blue, _mm_sad_epu8(_mm_and_si128(d, masks[v][0]), zero));
            green = _mm_add_epi64(green, _mm_sad_epu8(_mm_and_si128(d, masks[v][1]), zero));
        }
    alignas(16) uint64_t t[2], bl[2], gr[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(t), total);
    _mm_store_si128(reinterpret_cast<__m128i*>(bl), blue);
    _mm_store_si128(reinterpret_cast<__m128i*>(gr), green);
    sums[0] += bl[0] + bl[1];
    sums[1] += gr[0] + gr[1];
    sums[2] += t[0] + t[1] - bl[0] - bl[1] - gr[0] - gr[1];
    for (; i < bytes; ++i)
        sums[i % 3] += static_cast<uint64_t>(std::abs(int{a[i]} - int{b[i]}));
}

#if defined(__x86_64__)
__attribute__((target("avx512f"))) uint64_t lanesSum(__m512i v) {
    alignas(64) uint64_t lanes[8];
    _mm512_store_si512(lanes, v);
    uint64_t sum = 0;
    for (uint64_t lane : lanes)
        sum += lane;
    return sum;
}

// The same with 64-byte vectors (a block of three is 192 bytes).
__attribute__((target("avx512f,avx512bw"))) void
channelSumsAvx512(const uint8_t* a, const uint8_t* b, size_t bytes, uint64_t sums[3]) {
    __m512i masks[3][2];
    for (int v = 0; v < 3; ++v)
        for (int c = 0; c < 2; ++c) {
            alignas(64) uint8_t m[64];
            for (int k = 0; k < 64; ++k)
                m[k] = (64 * v + k) % 3 == c ? 0xFF : 0;
            masks[v][c] = _mm512_load_si512(m);
        }
    const __m512i zero = _mm512_setzero_si512();
    __m512i total = zero, blue = zero, green = zero;
    size_t i = 0;
    for (; i + 192 <= bytes; i += 192)
        for (int v = 0; v < 3; ++v) {
            const __m512i x = _mm512_loadu_si512(a + i + 64 * v);
            const __m512i y = _mm512_loadu_si512(b + i + 64 * v);
            const __m512i d = _mm512_sub_epi8(_mm512_max_epu8(x, y), _mm512_min_epu8(x, y));
            total = _mm512_add_epi64(total, _mm512_sad_epu8(d, zero));
            blue = _mm512_add_epi64(blue, _mm512_sad_epu8(_mm512_and_si512(d, masks[v][0]), zero));
            green =
                _mm512_add_epi64(green, _mm512_sad_epu8(_mm512_and_si512(d, masks[v][1]), zero));
        }
    const uint64_t t = lanesSum(total), bl = lanesSum(blue), gr = lanesSum(green);
    sums[0] += bl;
    sums[1] += gr;
    sums[2] += t - bl - gr;
    // The rest starts at a multiple of 192 bytes, so its channels line up again.
    channelSumsSse2(a + i, b + i, bytes - i, sums);
}
#endif

void channelSums(const uint8_t* a, const uint8_t* b, size_t bytes, uint64_t sums[3]) {
#if defined(__x86_64__)
    static const bool kWide = __builtin_cpu_supports("avx512bw");
    if (kWide) {
        channelSumsAvx512(a, b, bytes, sums);
        return;
    }
#endif
    channelSumsSse2(a, b, bytes, sums);
}

struct Common {
    int width;
    int height;
};

Common commonArea(const Bitmap& a, const Bitmap& b) {
    return {std::max(0, std::min(a.width(), b.width())),
            std::max(0, std::min(a.height(), b.height()))};
}

} // namespace

void differenceInto(Bitmap& target, Bitmap& other) {
    target.convertTo24();
    other.convertTo24();
    const Common area = commonArea(target, other);
    const size_t bytes = static_cast<size_t>(area.width) * 3;
    for (int y = 0; y < area.height; ++y) {
        uint8_t* t = target.scanLine(y);
        const uint8_t* o = other.scanLine(y);
        for (size_t i = 0; i < bytes; ++i)
            t[i] = static_cast<uint8_t>(std::abs(int{t[i]} - int{o[i]}));
    }
}

std::array<double, 3> channelMeanDifference(Bitmap& a, Bitmap& b) {
    a.convertTo24();
    b.convertTo24();
    const Common area = commonArea(a, b);
    // No common pixel: nothing differs.
    if (area.width == 0 || area.height == 0)
        return {0, 0, 0};
    uint64_t sums[3] = {0, 0, 0};
    const size_t bytes = static_cast<size_t>(area.width) * 3;
    for (int y = 0; y < area.height; ++y)
        channelSums(a.scanLine(y), b.scanLine(y), bytes, sums);
    const double pixels = static_cast<double>(area.width) * area.height;
    return {static_cast<double>(sums[0]) / pixels, static_cast<double>(sums[1]) / pixels,
            static_cast<double>(sums[2]) / pixels};
}

double frameDifference(Bitmap& a, Bitmap& b) {
    const auto [blue, green, red] = channelMeanDifference(a, b);
    return std::sqrt(blue * blue + green * green + red * red) / 443.405006;
}

int bottomBlackRows(Bitmap& bitmap) {
    bitmap.convertTo24();
    const size_t bytes = static_cast<size_t>(bitmap.width()) * 3;
    int rows = 0;
    for (int y = bitmap.height() - 1; y >= 0; --y, ++rows) {
        const uint8_t* row = bitmap.scanLine(y);
        if (std::any_of(row, row + bytes, [](uint8_t v) { return v > 3; }))
            break;
    }
    return rows;
}

void averageInto(Bitmap& accumulator, Bitmap& frame, int n) {
    accumulator.convertTo24();
    frame.convertTo24();
    const Common area = commonArea(accumulator, frame);
    const size_t bytes = static_cast<size_t>(area.width) * 3;
    for (int y = 0; y < area.height; ++y) {
        uint8_t* acc = accumulator.scanLine(y);
        const uint8_t* in = frame.scanLine(y);
        for (size_t i = 0; i < bytes; ++i)
            acc[i] = static_cast<uint8_t>((in[i] + acc[i] * (n - 1)) / n);
    }
}

namespace {

// The two reference frames of frame a among n.
std::pair<int, int> references(int a, int n) {
    if (a == 0)
        return {1, 2};
    if (a == n - 1)
        return {a - 1, a - 2};
    return {a - 1, a + 1};
}

using DifferenceCache = std::map<std::pair<int, int>, double>;

double cachedDifference(BitmapList& frames, int i, int j, DifferenceCache* cache) {
    const std::pair<int, int> key{std::min(i, j), std::max(i, j)};
    if (cache) {
        auto it = cache->find(key);
        if (it != cache->end())
            return it->second;
    }
    const double d = frameDifference(*frames.get(i), *frames.get(j));
    if (cache)
        cache->emplace(key, d);
    return d;
}

bool flawed(BitmapList& frames, int a, const FlawSettings& s, DifferenceCache* cache) {
    const int n = frames.count();
    if (n <= 2 || a < 0 || a >= n)
        return false;
    const auto [p, q] = references(a, n);
    const double ap = cachedDifference(frames, a, p, cache);
    const double aq = cachedDifference(frames, a, q, cache);
    const double pq = cachedDifference(frames, p, q, cache);
    if (std::fabs(ap - pq) > s.threshold && std::fabs(aq - pq) > s.threshold)
        return true;
    return s.blackFrames && bottomBlackRows(*frames.get(a)) > 15;
}

} // namespace

bool isFlawedFrame(BitmapList& frames, int a, const FlawSettings& settings) {
    return flawed(frames, a, settings, nullptr);
}

std::vector<int> findFlawedFrames(BitmapList& frames, const FlawSettings& settings,
                                  const std::function<void(int)>& progress) {
    std::vector<int> found;
    DifferenceCache cache;
    for (int a = 0; a < frames.count(); ++a) {
        if (flawed(frames, a, settings, &cache))
            found.push_back(a);
        // Differences between frames that no later frame uses again are dropped.
        cache.erase(cache.begin(), cache.lower_bound({a - 2, 0}));
        if (progress)
            progress(a);
    }
    return found;
}

namespace {

// A hash of size, format and the pixel bytes of every row (padding left out).
uint64_t contentHash(const Bitmap& b) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    mix(static_cast<uint64_t>(b.width()));
    mix(static_cast<uint64_t>(b.height()));
    mix(static_cast<uint64_t>(b.pixelFormat()));
    const size_t bytes = static_cast<size_t>(std::max(rowByteCount(b), 0));
    for (int y = 0; y < b.height(); ++y) {
        const uint8_t* row = b.scanLine(y);
        size_t i = 0;
        for (; i + 8 <= bytes; i += 8) {
            uint64_t word;
            std::memcpy(&word, row + i, 8);
            mix(word);
        }
        for (; i < bytes; ++i)
            mix(row[i]);
    }
    return h;
}

} // namespace

std::vector<int> findDuplicateFrames(const BitmapList& frames,
                                     const std::function<void(int)>& progress) {
    // Only frames with the same hash can be equal; equality itself is decided byte by byte.
    std::unordered_map<uint64_t, std::vector<int>> seen;
    std::vector<int> found;
    for (int j = 0; j < frames.count(); ++j) {
        std::vector<int>& same = seen[contentHash(*frames.get(j))];
        const bool duplicate = std::any_of(same.begin(), same.end(), [&](int i) {
            return bitmapsEqual(*frames.get(i), *frames.get(j));
        });
        if (duplicate)
            found.push_back(j);
        else
            same.push_back(j);
        if (progress)
            progress(j);
    }
    return found;
}

std::string listText(const std::vector<int>& positions) {
    std::string text;
    for (int p : positions) {
        text += std::to_string(p + 1) + ",";
        if (text.size() % 30 == 0)
            text += "\r\n";
    }
    // Positions count from 1: the cursor moves 40 on, and the next comma there becomes a break.
    size_t cursor = 1;
    for (;;) {
        cursor += 40;
        size_t k = cursor;
        while (k <= text.size() && text[k - 1] != ',')
            ++k;
        if (k > text.size())
            break;
        text.replace(k - 1, 1, "\r\n");
        cursor = k;
    }
    return text;
}

std::string flawQuestion(const std::vector<int>& positions) {
    return "The following Flawed Frames were found\r\n\r\n" + listText(positions) +
           "\r\n\r\nDelete All?";
}

std::string duplicateQuestion(const std::vector<int>& positions) {
    return "The following Duplicate Frames were found\r\n\r\n" + listText(positions) +
           "\r\n\r\nDelete All?";
}

void averageFrames(BitmapList& frames, Bitmap& accumulator,
                   const std::function<void(int)>& progress) {
    accumulator = frames.count() > 0 ? *frames.get(0) : Bitmap();
    for (int k = 1; k < frames.count(); ++k) {
        if (progress)
            progress(k);
        averageInto(accumulator, *frames.get(k), k + 1);
    }
}

} // namespace kestrix
