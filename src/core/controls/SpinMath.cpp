#include "core/controls/SpinMath.h"

#include <cmath>
#include <limits>

namespace kestrix {

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
// 2^63: every double below it (and at or above -2^63) converts to int64_t without overflow.
constexpr double kTwo63 = 9223372036854775808.0;

int64_t saturate(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= kTwo63)
        return kMax;
    if (value < -kTwo63)
        return kMin;
    return static_cast<int64_t>(value);
}

} // namespace

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? kMax : kMin;
    return sum;
}

int64_t saturatingMul(int64_t a, int64_t b) {
    int64_t product;
    if (__builtin_mul_overflow(a, b, &product))
        return (a < 0) != (b < 0) ? kMin : kMax;
    return product;
}

int64_t roundToInt64(double value) {
    return saturate(std::nearbyint(value));
}

int64_t truncToInt64(double value) {
    return saturate(std::trunc(value));
}

} // namespace kestrix
