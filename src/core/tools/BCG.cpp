#include "core/tools/BCG.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kestrix {

LookupTable buildLookupTable(double b, double c, double g) {
    const double fb = std::pow(10.0, (b - 0.5) * 2);
    const double fc = std::pow(10.0, (c - 0.5) * 2);
    const double fg = std::pow(10.0, (g - 0.5) * 2);
    const double e = fg > 0 ? 1.0 / fg : 100.0;
    const double scale = 256.0 / std::pow(256.0, e);
    LookupTable table{};
    for (int i = 0; i < 256; ++i) {
        double v = i == 0 ? 0.0 : std::pow(static_cast<double>(i), e) * scale;
        v = (v - 128) * fc + 128;
        v *= fb;
        table[static_cast<size_t>(i)] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
    }
    return table;
}

namespace {} // namespace

// Two bytes per table read: a 64 K-entry table of byte pairs, built once per call.
void applyLookupTablePortable(const LookupTable& table, const uint8_t* in, uint8_t* out,
                              size_t count) {
    std::vector<uint16_t> pairs(65536);
    for (size_t hi = 0; hi < 256; ++hi)
        for (size_t lo = 0; lo < 256; ++lo)
            pairs[hi << 8 | lo] = static_cast<uint16_t>(table[hi] << 8 | table[lo]);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, in + i, 8);
        const uint64_t mapped =
            uint64_t{pairs[word & 0xFFFF]} | uint64_t{pairs[(word >> 16) & 0xFFFF]} << 16 |
            uint64_t{pairs[(word >> 32) & 0xFFFF]} << 32 | uint64_t{pairs[word >> 48]} << 48;
        std::memcpy(out + i, &mapped, 8);
    }
    for (; i < count; ++i)
        out[i] = table[in[i]];
}

namespace {

#if defined(__x86_64__)
// With AVX-512 VBMI a whole 256-entry table fits in four registers: two two-register byte
// permutes look up 64 bytes at once and the top bit of each byte picks the half.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
applyVbmi(const LookupTable& table, const uint8_t* in, uint8_t* out, size_t count) {
    const __m512i t0 = _mm512_loadu_si512(table.data());
    const __m512i t1 = _mm512_loadu_si512(table.data() + 64);
    const __m512i t2 = _mm512_loadu_si512(table.data() + 128);
    const __m512i t3 = _mm512_loadu_si512(table.data() + 192);
    size_t i = 0;
    for (; i < count; i += 64) {
        const size_t left = count - i;
        const __mmask64 lanes = left >= 64 ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
        const __m512i x = _mm512_maskz_loadu_epi8(lanes, in + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);
        const __m512i r = _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high);
        _mm512_mask_storeu_epi8(out + i, lanes, r);
    }
}

bool haveVbmi() {
    static const bool kHave =
        __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
    return kHave;
}
#endif

} // namespace

void applyLookupTable(const LookupTable& table, const uint8_t* in, uint8_t* out, size_t count) {
#if defined(__x86_64__)
    if (haveVbmi()) {
        applyVbmi(table, in, out, count);
        return;
    }
#endif
    applyLookupTablePortable(table, in, out, count);
}

void applyBcg(Bitmap& source, Bitmap& target, double b, double c, double g) {
    source.convertTo24();
    if (source.empty()) {
        if (&target != &source)
            target = Bitmap(source.width(), source.height(), PixelFormat::Bit24);
        return;
    }
    if (&target != &source) {
        if (target.pixelFormat() != PixelFormat::Bit24 || target.width() != source.width() ||
            target.height() != source.height())
            target = Bitmap(source.width(), source.height(), PixelFormat::Bit24);
        target.clearTransparent();
    }
    const LookupTable table = buildLookupTable(b, c, g);
    const size_t rowBytes = static_cast<size_t>(source.width()) * 3;
    if (source.stride() == rowBytes) { // rows without padding: one run over the whole image
        applyLookupTable(table, source.scanLine(0), target.scanLine(0),
                         rowBytes * static_cast<size_t>(source.height()));
        return;
    }
    for (int y = 0; y < source.height(); ++y)
        applyLookupTable(table, source.scanLine(y), target.scanLine(y), rowBytes);
}

} // namespace kestrix
