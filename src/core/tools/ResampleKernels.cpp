#include "core/tools/ResampleKernels.h"

#include "core/tools/Resampler.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

// The kernels come in versions for the vector widths, picked when the program loads. The
// thread sanitizer cannot run the picking code that early, so its builds keep one version.
#if defined(__SANITIZE_THREAD__)
#define KESTRIX_VECTOR_CLONES
#else
#define KESTRIX_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif

namespace kestrix {

namespace {

// Rows resampled across in groups of kLanes: the group's bytes are transposed so that each
// source value of the kLanes rows sits side by side, and one destination pixel's sums for all
// rows run in vector lanes, each lane adding its terms in list order.
constexpr int kLanes = kRowGroup;

KESTRIX_VECTOR_CLONES void filterRowGroup(const float* __restrict group, const FlatWeights& w,
                                          int count, uint8_t* const* out) {
    const int32_t* index = w.index.data();
    const float* weight = w.weight.data();
    for (int x = 0; x < count; ++x) {
        float acc[3][kLanes] = {};
        for (int32_t k = w.start[static_cast<size_t>(x)]; k < w.start[static_cast<size_t>(x) + 1];
             ++k) {
            const float wk = weight[k];
            const float* p = group + static_cast<size_t>(index[k]) * 3 * kLanes;
            for (int c = 0; c < 3; ++c)
                for (int l = 0; l < kLanes; ++l)
                    acc[c][l] += wk * p[c * kLanes + l];
        }
        // Clamping before rounding gives the same bytes as rounding the values inside 0..255.
        uint8_t bytes[3][kLanes];
        for (int c = 0; c < 3; ++c)
            for (int l = 0; l < kLanes; ++l)
                bytes[c][l] = static_cast<uint8_t>(
                    static_cast<int>(std::nearbyintf(std::min(std::max(acc[c][l], 0.0f), 255.0f))));
        for (int l = 0; l < kLanes; ++l)
            if (out[l])
                for (int c = 0; c < 3; ++c)
                    out[l][3 * x + c] = bytes[c][l];
    }
}

// A 16 x 16 block of bytes transposed with four rounds of interleaving (SSE2).
void transpose16(const uint8_t* const* rows, size_t at, uint8_t* out) {
    __m128i r[16], b[16], c[16];
    for (int i = 0; i < 16; ++i)
        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + at));
    for (int i = 0; i < 8; ++i) {
        b[i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
        b[i + 8] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
    }
    for (int half = 0; half < 16; half += 8)
        for (int i = 0; i < 4; ++i) {
            c[half + i] = _mm_unpacklo_epi16(b[half + 2 * i], b[half + 2 * i + 1]);
            c[half + i + 4] = _mm_unpackhi_epi16(b[half + 2 * i], b[half + 2 * i + 1]);
        }
    // c[4q + i] holds columns 4q .. 4q + 3 of rows 4i .. 4i + 3.
    for (int q = 0; q < 4; ++q) {
        const __m128i lo01 = _mm_unpacklo_epi32(c[4 * q], c[4 * q + 1]);
        const __m128i hi01 = _mm_unpackhi_epi32(c[4 * q], c[4 * q + 1]);
        const __m128i lo23 = _mm_unpacklo_epi32(c[4 * q + 2], c[4 * q + 3]);
        const __m128i hi23 = _mm_unpackhi_epi32(c[4 * q + 2], c[4 * q + 3]);
        __m128i* o = reinterpret_cast<__m128i*>(out) + 4 * q;
        _mm_storeu_si128(o, _mm_unpacklo_epi64(lo01, lo23));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi64(lo01, lo23));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi64(hi01, hi23));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi64(hi01, hi23));
    }
}

// Bytes to floats, in vector lanes.
KESTRIX_VECTOR_CLONES void toFloats(const uint8_t* __restrict in, float* __restrict out, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(in[i]);
}

// Lays out kLanes rows so that byte i of every row sits together, as floats:
// group[i * kLanes + l] = rows[l][i].
void transposeRows(const uint8_t* const* rows, size_t rowBytes, float* group) {
    alignas(16) uint8_t block[16 * kLanes];
    size_t i = 0;
    for (; i + 16 <= rowBytes; i += 16) {
        transpose16(rows, i, block);
        toFloats(block, group + i * kLanes, sizeof block);
    }
    for (; i < rowBytes; ++i)
        for (int l = 0; l < kLanes; ++l)
            group[i * kLanes + static_cast<size_t>(l)] = rows[l][i];
}

// acc[i] += weight x row[i]: every value is its own sum, so the loop runs in vector lanes.
KESTRIX_VECTOR_CLONES void accumulate(float* __restrict acc, const uint8_t* __restrict row,
                                      float weight, size_t n) {
    for (size_t i = 0; i < n; ++i)
        acc[i] += weight * static_cast<float>(row[i]);
}

KESTRIX_VECTOR_CLONES void storeBytes(const float* __restrict acc, uint8_t* __restrict out,
                                      size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const float v = acc[i];
        out[i] = v > 255.0f ? 255 : v < 0.0f ? 0 : static_cast<uint8_t>(std::nearbyintf(v));
    }
}

} // namespace

void resampleRows(const Bitmap& source, const FlatWeights& columns, PixelBuffer& intermediate,
                  int from, int to) {
    const int w = source.width(), h = std::min(to, source.height());
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    std::vector<float> group(rowBytes * kLanes);
    std::vector<uint8_t> converted(source.pixelFormat() == PixelFormat::Bit24 ? 0
                                                                              : rowBytes * kLanes);
    const std::vector<uint8_t> zeros(rowBytes);
    for (int first = from; first < h; first += kLanes) {
        const int rows = std::min(kLanes, h - first);
        const uint8_t* in[kLanes];
        uint8_t* out[kLanes] = {};
        for (int l = 0; l < kLanes; ++l) {
            if (l >= rows) {
                in[l] = zeros.data();
                continue;
            }
            in[l] = source.scanLine(first + l);
            if (!converted.empty()) {
                uint8_t* row = converted.data() + static_cast<size_t>(l) * rowBytes;
                source.readRow24(first + l, row);
                in[l] = row;
            }
            out[l] = intermediate.scanLine(first + l);
        }
        transposeRows(in, rowBytes, group.data());
        filterRowGroup(group.data(), columns, intermediate.width(), out);
    }
}

void resampleColumns(PixelBuffer& intermediate, const FlatWeights& rows, Bitmap& result, int from,
                     int to) {
    const size_t n = intermediate.rowSize();
    std::vector<float> acc(n);
    for (int y = from; y < std::min(to, result.height()); ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int32_t k = rows.start[static_cast<size_t>(y)];
             k < rows.start[static_cast<size_t>(y) + 1]; ++k)
            accumulate(acc.data(), intermediate.scanLine(rows.index[static_cast<size_t>(k)]),
                       rows.weight[static_cast<size_t>(k)], n);
        storeBytes(acc.data(), result.scanLine(y), n);
    }
}

} // namespace kestrix
