// GIF decoding (GIF87a and GIF89a, every sub-image) and the composition of the sub-images into
// the frames of an animation.
#pragma once

#include "core/image/Bitmap.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

class BitmapList;

// One image of a GIF file as it was stored.
struct GifSubImage {
    int left = 0; // position on the logical screen
    int top = 0;
    // 8 bits per pixel with the sub-image's colour table (its local one, else the global one,
    // else a grey ramp); marked transparent with the colour of the transparent index when that
    // index lies inside the table. Empty when the sub-image has no image data.
    Bitmap bitmap;
    bool hasImageData = false;
    bool interlaced = false;
    bool hasLocalTable = false;
    // From the graphic control extension before the sub-image.
    bool hasTransparency = false;
    int transparentIndex = 0;
    int delay = 0;    // hundredths of a second
    int disposal = 0; // 0 unspecified, 1 keep, 2 restore background, 3 restore previous
};

struct DecodedGif {
    int screenWidth = 0; // logical screen
    int screenHeight = 0;
    std::vector<Color> globalTable; // empty when the file has none
    int backgroundIndex = 0;
    std::vector<GifSubImage> images;
};

// Largest total, in bytes, of the decoded sub-images and, separately, of the composited frames.
constexpr int64_t kMaxGifBytes = int64_t{1} << 30;

// Decodes a whole GIF file image; nothing is returned unless every sub-image decoded.
DecodedGif parseGif(std::string_view data);

// Clears `frames` and appends one composited frame per sub-image with image data: the first
// sub-image becomes the canvas, each later one is drawn over it in its own colours (leaving its
// transparent pixels out), and the canvas is never cleared. Frames are 8 bits with the canvas's
// table while that table holds every colour drawn; from the first sub-image that draws another
// colour on, the canvas and so every later frame is 24 bits.
// Raises "GIF animation too large" before touching `frames` when the frames would not fit.
void composeGifFrames(const DecodedGif& gif, BitmapList& frames);

// The logical screen with the first sub-image drawn at its position, without transparency, on
// black: the GIF's single image, still in 8 bits when the sub-image covers the screen.
Bitmap gifFirstFrame(const DecodedGif& gif);

// Reads a GIF file and refills `frames` with its composited frames (the animated GIF import).
void loadGifFrames(const std::string& path, BitmapList& frames);

} // namespace kestrix
