// Saturating 64-bit arithmetic for the spin controls: a step or a typed number far outside the
// range must pin the value to the nearest end instead of overflowing.
#pragma once

#include <cstdint>

namespace kestrix {

int64_t saturatingAdd(int64_t a, int64_t b);
int64_t saturatingMul(int64_t a, int64_t b);
// Nearest integer, ties to even; values beyond the 64-bit range give its ends, NaN gives 0.
int64_t roundToInt64(double value);
// Truncation toward zero with the same saturation.
int64_t truncToInt64(double value);

} // namespace kestrix
