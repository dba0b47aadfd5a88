// The PNG scan-line filters undone in place, in vector registers where the machine has them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrix {

// Undoes filter `type` (0 none, 1 sub, 2 up, 3 average, 4 Paeth) on `size` bytes of one row in
// place. `previous` is the unfiltered row above (zeros above the first row of a pass) and
// `pixelBytes` the distance to the byte on the left: 1, 2, 3, 4, 6 or 8, with `size` a multiple
// of it. Answers false for any other filter type.
bool unfilterPngRow(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size,
                    size_t pixelBytes);

// The same, one byte at a time: the reference the vector code must match byte for byte.
bool unfilterPngRowPlain(uint8_t type, uint8_t* row, const uint8_t* previous, size_t size,
                         size_t pixelBytes);

} // namespace kestrix
