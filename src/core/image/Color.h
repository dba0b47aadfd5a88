// An RGB colour and the nearest-colour lookup into a colour table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace kestrix {

struct Color {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Color&) const = default;
    uint32_t key() const { return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b; }
};

// Finds the table entry nearest to a colour (squared RGB distance, first entry on ties) and
// remembers each answer.
class PaletteMatcher {
public:
    explicit PaletteMatcher(const std::vector<Color>& palette) : palette_(palette) {}
    uint8_t nearest(Color c);

private:
    const std::vector<Color>& palette_;
    std::unordered_map<uint32_t, uint8_t> cache_;
};

// The colour table a palette format gets when none was given: black and white, the 16 VGA
// colours, or a 6x6x6 colour cube followed by a grey ramp.
std::vector<Color> defaultPalette(int bitsPerPixel);

} // namespace kestrix
