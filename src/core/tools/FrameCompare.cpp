#include "core/tools/FrameCompare.h"

#include "core/decode/ImageDecoder.h"
#include "core/util/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>
#include <unordered_map>
#include <utility>

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
    forEachRange(area.height, [&](int from, int to) {
        for (int y = from; y < to; ++y) {
            uint8_t* t = target.scanLine(y);
            const uint8_t* o = other.scanLine(y);
            for (size_t i = 0; i < bytes; ++i)
                t[i] = static_cast<uint8_t>(std::abs(int{t[i]} - int{o[i]}));
        }
    });
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

void averageRows(Bitmap& accumulator, const Bitmap& frame, int n, int from, int to) {
    const Common area = commonArea(accumulator, frame);
    const size_t bytes = static_cast<size_t>(area.width) * 3;
    for (int y = from; y < std::min(to, area.height); ++y) {
        uint8_t* acc = accumulator.scanLine(y);
        const uint8_t* in = frame.scanLine(y);
        for (size_t i = 0; i < bytes; ++i)
            acc[i] = static_cast<uint8_t>((in[i] + acc[i] * (n - 1)) / n);
    }
}

void averageInto(Bitmap& accumulator, Bitmap& frame, int n) {
    accumulator.convertTo24();
    frame.convertTo24();
    averageRows(accumulator, frame, n, 0, accumulator.height());
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

} // namespace

bool isFlawedFrame(BitmapList& frames, int a, const FlawSettings& s) {
    const int n = frames.count();
    if (n <= 2 || a < 0 || a >= n)
        return false;
    const auto [p, q] = references(a, n);
    const double ap = frameDifference(*frames.get(a), *frames.get(p));
    const double aq = frameDifference(*frames.get(a), *frames.get(q));
    const double pq = frameDifference(*frames.get(p), *frames.get(q));
    if (std::fabs(ap - pq) > s.threshold && std::fabs(aq - pq) > s.threshold)
        return true;
    return s.blackFrames && bottomBlackRows(*frames.get(a)) > 15;
}

std::vector<int> findFlawedFrames(BitmapList& frames, const FlawSettings& settings,
                                  const std::function<void(int)>& progress) {
    const int n = frames.count();
    std::vector<int> found;
    if (n <= 2) {
        for (int a = 0; a < n && progress; ++a)
            progress(a);
        return found;
    }
    // Each difference is computed once, on any thread: next[i] between frames i and i + 1,
    // skip[i] between i and i + 2. Frame a's test needs those of a - 1 and a (0 and 1 at the
    // start), so the frames are taken in batches: converted to 24 bits (each by one thread,
    // before any comparison reads it), compared as far as the batch needs, then tested.
    std::vector<double> next(static_cast<size_t>(n - 1)), skip(static_cast<size_t>(n - 2));
    std::vector<char> flaw(static_cast<size_t>(n));
    const auto at = [](int i) { return static_cast<size_t>(i); };
    const int batch = 4 * workerThreads();
    int converted = 0, compared = 0;
    for (int decided = 0; decided < n;) {
        const int until = std::min(n, decided + batch);
        const int toCompare = std::min(n - 1, std::max(until + 1, 2));
        const int toConvert = std::min(n, toCompare + 2);
        forEachInOrder(
            converted, toConvert, [&](int i) { frames.get(i)->convertTo24(); }, nullptr);
        forEachInOrder(
            compared, toCompare,
            [&](int i) {
                next[at(i)] = frameDifference(*frames.get(i), *frames.get(i + 1));
                if (i + 2 < n)
                    skip[at(i)] = frameDifference(*frames.get(i), *frames.get(i + 2));
            },
            nullptr);
        forEachInOrder(
            decided, until,
            [&](int a) {
                const auto [ap, aq, pq] =
                    a == 0 ? std::array<double, 3>{next[0], skip[0], next[1]}
                    : a == n - 1
                        ? std::array<double, 3>{next[at(n - 2)], skip[at(n - 3)], next[at(n - 3)]}
                        : std::array<double, 3>{next[at(a - 1)], next[at(a)], skip[at(a - 1)]};
                flaw[at(a)] = (std::fabs(ap - pq) > settings.threshold &&
                               std::fabs(aq - pq) > settings.threshold) ||
                              (settings.blackFrames && bottomBlackRows(*frames.get(a)) > 15);
            },
            [&](int a) {
                if (flaw[at(a)])
                    found.push_back(a);
                if (progress)
                    progress(a);
            });
        converted = toConvert;
        compared = toCompare;
        decided = until;
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
    // Hashes are computed on every thread; only frames with the same hash can be equal, and
    // equality itself is decided byte by byte, in order.
    std::vector<uint64_t> hashes(static_cast<size_t>(frames.count()));
    std::unordered_map<uint64_t, std::vector<int>> seen;
    std::vector<int> found;
    forEachInOrder(
        0, frames.count(),
        [&](int j) { hashes[static_cast<size_t>(j)] = contentHash(*frames.get(j)); },
        [&](int j) {
            std::vector<int>& same = seen[hashes[static_cast<size_t>(j)]];
            const bool duplicate = std::any_of(same.begin(), same.end(), [&](int i) {
                return bitmapsEqual(*frames.get(i), *frames.get(j));
            });
            if (duplicate)
                found.push_back(j);
            else
                same.push_back(j);
            if (progress)
                progress(j);
        });
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
    if (frames.count() < 2)
        return;
    accumulator.convertTo24();
    // Every frame's step depends on the last, so the frames go in order; the rows, which do not
    // depend on each other, are shared out, a batch of frames at a time.
    const int batch = 4 * workerThreads();
    for (int k = 1; k < frames.count(); k += batch) {
        const int until = std::min(frames.count(), k + batch);
        forEachInOrder(
            k, until, [&](int i) { frames.get(i)->convertTo24(); }, nullptr);
        forEachRange(accumulator.height(), [&](int from, int to) {
            for (int i = k; i < until; ++i)
                averageRows(accumulator, *frames.get(i), i + 1, from, to);
        });
        for (int i = k; i < until && progress; ++i)
            progress(i);
    }
}

} // namespace kestrix
