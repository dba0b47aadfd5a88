// Brightness, contrast and gamma: one 256-entry table applied alike to the blue, green and red
// byte of every pixel.
#pragma once

#include "core/image/Bitmap.h"

#include <array>
#include <cstdint>

namespace kestrix {

using LookupTable = std::array<uint8_t, 256>;

// B, C and G lie in 0..1 (a track bar's position / 100); 0.5 is neutral and gives the identity.
LookupTable buildLookupTable(double b, double c, double g);

// Maps `source` (converted to 24 bits in place) through the table into `target`, which gets the
// source's size and 24 bits. Source and target may be the same bitmap.
void applyBcg(Bitmap& source, Bitmap& target, double b, double c, double g);

// The table applied to `count` bytes; `in` and `out` may be the same. Uses AVX-512 byte
// permutes where the processor has them.
void applyLookupTable(const LookupTable& table, const uint8_t* in, uint8_t* out, size_t count);
// The same without vector instructions (what other processors run).
void applyLookupTablePortable(const LookupTable& table, const uint8_t* in, uint8_t* out,
                              size_t count);

} // namespace kestrix
