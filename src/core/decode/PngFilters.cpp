// The PNG row filters undone. Up works on 16 bytes at a time. Sub, average and Paeth depend on
// the pixel just unfiltered on the left, so they go one pixel at a time; with SSE2 (every x86-64
// has it) a whole pixel of up to 8 samples is one register, and Paeth's choice is made with
// masks instead of branches that the noise of a camera picture makes unpredictable.
#include "core/decode/PngFilters.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#define KESTRIX_PNG_SSE2 1
#endif

namespace kestrix {

namespace {

// The predictor closest to a + b - c, preferring a, then b, then c on ties.
inline uint8_t paeth(uint8_t a, uint8_t b, uint8_t c) {
    const int p = int{b} - c;
    const int q = int{a} - c;
    int best = std::abs(p);
    uint8_t predictor = a;
    if (const int pb = std::abs(q); pb < best) {
        best = pb;
        predictor = b;
    }
    if (std::abs(p + q) < best)
        predictor = c;
    return predictor;
}

// The up filter in blocks of a fixed size, a form the compiler turns into vector additions.
void unfilterUp(uint8_t* cur, const uint8_t* prev, size_t n) {
    constexpr size_t kBlock = 16;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        std::array<uint8_t, kBlock> a;
        std::array<uint8_t, kBlock> b;
        std::memcpy(a.data(), cur + i, kBlock);
        std::memcpy(b.data(), prev + i, kBlock);
        for (size_t k = 0; k < kBlock; ++k)
            a[k] = static_cast<uint8_t>(a[k] + b[k]);
        std::memcpy(cur + i, a.data(), kBlock);
    }
    for (; i < n; ++i)
        cur[i] = static_cast<uint8_t>(cur[i] + prev[i]);
}

// Calls f(0), ..., f(N - 1) unrolled, so that arrays indexed by it can live in registers.
template <size_t N, typename F> inline void unrolled(F&& f) {
    [&]<size_t... K>(std::index_sequence<K...>) {
        (f(K), ...);
    }
    (std::make_index_sequence<N>{});
}

// The distance to the byte on the left is fixed at compile time, so the bytes of the pixel to
// the left stay in registers instead of being read back from the row just written.
template <size_t Bpp> bool plainRow(uint8_t type, uint8_t* cur, const uint8_t* prev, size_t n) {
    std::array<uint8_t, Bpp> left{};
    std::array<uint8_t, Bpp> upLeft{};
    switch (type) {
    case 0:
        return true;
    case 1:
        for (size_t i = 0; i < n; i += Bpp)
            unrolled<Bpp>([&](size_t k) {
                left[k] = cur[i + k] = static_cast<uint8_t>(cur[i + k] + left[k]);
            });
        return true;
    case 2:
        unfilterUp(cur, prev, n);
        return true;
    case 3:
        for (size_t i = 0; i < n; i += Bpp)
            unrolled<Bpp>([&](size_t k) {
                left[k] = cur[i + k] =
                    static_cast<uint8_t>(cur[i + k] + ((left[k] + prev[i + k]) >> 1));
            });
        return true;
    case 4:
        for (size_t i = 0; i < n; i += Bpp)
            unrolled<Bpp>([&](size_t k) {
                const uint8_t up = prev[i + k];
                left[k] = cur[i + k] =
                    static_cast<uint8_t>(cur[i + k] + paeth(left[k], up, upLeft[k]));
                upLeft[k] = up;
            });
        return true;
    default:
        return false;
    }
}

#ifdef KESTRIX_PNG_SSE2

// One pixel of Bpp bytes in the low bytes of a register. Within a row the load takes the bytes
// after the pixel too (four or eight in all), which the callers ignore; the last pixel of a row
// is put together byte by byte so as not to read past the row. Going through memory for that
// would stall the next load on the store just made.
template <size_t Bpp> constexpr size_t kLoadBytes = Bpp <= 4 ? 4 : 8;

template <size_t Bpp> inline __m128i loadPixel(const uint8_t* p) {
    if constexpr (kLoadBytes<Bpp> == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(static_cast<int>(v));
    } else {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return _mm_cvtsi64_si128(static_cast<long long>(v));
    }
}

template <size_t Bpp> inline __m128i loadLastPixel(const uint8_t* p) {
    uint64_t v = 0;
    for (size_t k = 0; k < Bpp; ++k)
        v |= uint64_t{p[k]} << (8 * k);
    return _mm_cvtsi64_si128(static_cast<long long>(v));
}

template <size_t Bpp> inline void storePixel(uint8_t* p, __m128i pixel) {
    if constexpr (Bpp <= 4) {
        const auto v = static_cast<uint32_t>(_mm_cvtsi128_si32(pixel));
        std::memcpy(p, &v, Bpp);
    } else {
        const auto v = static_cast<uint64_t>(_mm_cvtsi128_si64(pixel));
        std::memcpy(p, &v, Bpp);
    }
}

// Runs step(i, up, raw) over the pixels of a row, left to right, with the pixel above and the
// filtered pixel in the low bytes of two registers.
template <size_t Bpp, typename Step>
inline void forEachPixel(uint8_t* cur, const uint8_t* prev, size_t n, Step&& step) {
    size_t i = 0;
    for (; i + kLoadBytes<Bpp> <= n; i += Bpp)
        step(i, loadPixel<Bpp>(prev + i), loadPixel<Bpp>(cur + i));
    for (; i < n; i += Bpp)
        step(i, loadLastPixel<Bpp>(prev + i), loadLastPixel<Bpp>(cur + i));
}

// |u - v| of 16-bit lanes, in two steps.
inline __m128i absDifference(__m128i u, __m128i v) {
    return _mm_sub_epi16(_mm_max_epi16(u, v), _mm_min_epi16(u, v));
}

// mask ? u : v, lane by lane.
inline __m128i select(__m128i mask, __m128i u, __m128i v) {
    return _mm_or_si128(_mm_and_si128(mask, u), _mm_andnot_si128(mask, v));
}

// Samples are widened to 16 bits, where a + b - 2c cannot overflow. As few steps as possible
// depend on the pixel on the left, a: |b - c| and 2c - b do not, and |a + b - 2c| is the
// distance from a to 2c - b.
template <size_t Bpp> void paethRow(uint8_t* cur, const uint8_t* prev, size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero;
    __m128i c = zero;
    forEachPixel<Bpp>(cur, prev, n, [&](size_t i, __m128i up, __m128i raw) {
        const __m128i b = _mm_unpacklo_epi8(up, zero);
        const __m128i pa = absDifference(b, c);
        const __m128i pb = absDifference(a, c);
        const __m128i pc = absDifference(a, _mm_sub_epi16(_mm_add_epi16(c, c), b));
        // a unless pa > min(pb, pc); then b unless pb > pc.
        const __m128i notA = _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc));
        const __m128i bOrC = select(_mm_cmpgt_epi16(pb, pc), c, b);
        const __m128i predictor = select(notA, bOrC, a);
        // Byte-wise addition keeps the sum in the low byte of each lane, the high bytes zero.
        a = _mm_add_epi8(_mm_unpacklo_epi8(raw, zero), predictor);
        storePixel<Bpp>(cur + i, _mm_packus_epi16(a, a));
        c = b;
    });
}

// The average filter on complemented samples: with A = ~a and B = ~b, the rounded-up average
// of A and B is ~floor((a + b) / 2), and the next ~a is that minus the filtered byte. Two steps
// from one pixel to the next instead of four.
template <size_t Bpp> void averageRow(uint8_t* cur, const uint8_t* prev, size_t n) {
    const __m128i ones = _mm_set1_epi8(-1);
    __m128i notA = ones;
    forEachPixel<Bpp>(cur, prev, n, [&](size_t i, __m128i b, __m128i raw) {
        notA = _mm_sub_epi8(_mm_avg_epu8(notA, _mm_xor_si128(b, ones)), raw);
        storePixel<Bpp>(cur + i, _mm_xor_si128(notA, ones));
    });
}

template <size_t Bpp> bool vectorRow(uint8_t type, uint8_t* cur, const uint8_t* prev, size_t n) {
    switch (type) {
    case 3:
        averageRow<Bpp>(cur, prev, n);
        return true;
    case 4:
        paethRow<Bpp>(cur, prev, n);
        return true;
    default:
        return plainRow<Bpp>(type, cur, prev, n);
    }
}

#endif

} // namespace

bool unfilterPngRowPlain(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size,
                         size_t pixelBytes) {
    switch (pixelBytes) {
    case 1:
        return plainRow<1>(type, row, previous, size);
    case 2:
        return plainRow<2>(type, row, previous, size);
    case 3:
        return plainRow<3>(type, row, previous, size);
    case 4:
        return plainRow<4>(type, row, previous, size);
    case 6:
        return plainRow<6>(type, row, previous, size);
    default:
        return plainRow<8>(type, row, previous, size);
    }
}

bool unfilterPngRow(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size,
                    size_t pixelBytes) {
#ifdef KESTRIX_PNG_SSE2
    // One or two bytes per pixel fill too little of a register to gain.
    switch (pixelBytes) {
    case 3:
        return vectorRow<3>(type, row, previous, size);
    case 4:
        return vectorRow<4>(type, row, previous, size);
    case 6:
        return vectorRow<6>(type, row, previous, size);
    case 8:
        return vectorRow<8>(type, row, previous, size);
    default:
        break;
    }
#endif
    return unfilterPngRowPlain(type, row, previous, size, pixelBytes);
}

} // namespace kestrix
