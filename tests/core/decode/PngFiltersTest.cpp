// The vector code that undoes PNG row filters against the plain code, byte for byte.
#include "core/decode/PngFilters.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace kestrix;

// Every filter and pixel size, on rows that end inside a vector load, hold one pixel or many.
// Samples come from a few values around the byte's ends and middle as often as from all 256,
// so that Paeth's ties and the average's carries come up often.
TEST(PngFilters, VectorCodeMatchesPlainCode) {
    std::mt19937 random(17);
    const uint8_t edges[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
    auto sample = [&] {
        const auto r = random();
        return r % 2 ? edges[r / 2 % std::size(edges)] : static_cast<uint8_t>(r >> 8);
    };
    int rows = 0;
    for (const size_t pixelBytes : {1, 2, 3, 4, 6, 8}) {
        for (const size_t pixels : {1, 2, 3, 5, 8, 17, 64, 333}) {
            const size_t size = pixels * pixelBytes;
            for (uint8_t type = 0; type <= 4; ++type) {
                std::vector<uint8_t> above(size);
                std::vector<uint8_t> row(size);
                for (size_t i = 0; i < size; ++i) {
                    above[i] = sample();
                    row[i] = sample();
                }
                std::vector<uint8_t> plain = row;
                ASSERT_TRUE(unfilterPngRow(type, row.data(), above.data(), size, pixelBytes));
                ASSERT_TRUE(
                    unfilterPngRowPlain(type, plain.data(), above.data(), size, pixelBytes));
                EXPECT_EQ(row, plain) << "type " << int{type} << ", " << pixelBytes
                                      << " bytes per pixel, " << pixels << " pixels";
                ++rows;
            }
        }
    }
    EXPECT_EQ(rows, 6 * 8 * 5);
}
