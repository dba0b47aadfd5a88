#include "core/image/Bitmap.h"

#include "core/util/Error.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

Bitmap gradient(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 40);
            p[1] = static_cast<uint8_t>(y * 40);
            p[2] = static_cast<uint8_t>(x * y);
        }
    return b;
}

} // namespace

TEST(Bitmap, RowsArePaddedToFourBytes) {
    EXPECT_EQ(Bitmap(3, 2, PixelFormat::Bit24).stride(), 12u);
    EXPECT_EQ(Bitmap(320, 1, PixelFormat::Bit24).stride(), 960u);
    EXPECT_EQ(Bitmap(5, 1, PixelFormat::Bit8).stride(), 8u);
    EXPECT_EQ(Bitmap(9, 1, PixelFormat::Bit1).stride(), 4u);
    EXPECT_EQ(Bitmap(3, 1, PixelFormat::Bit4).stride(), 4u);
    EXPECT_EQ(Bitmap(3, 1, PixelFormat::Bit16).stride(), 8u);
}

TEST(Bitmap, ConversionsKeepColoursTheFormatCanHold) {
    const Bitmap source = gradient(7, 5);
    for (PixelFormat f : {PixelFormat::Bit32, PixelFormat::Bit24}) {
        Bitmap b = source;
        b.setPixelFormat(f);
        b.convertTo24();
        EXPECT_EQ(b.pixelBytes(), source.pixelBytes());
    }
    // 8-bit with a table that holds every colour of the picture: exact.
    Bitmap pal(4, 1, PixelFormat::Bit24);
    const Color colors[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    for (int x = 0; x < 4; ++x) {
        pal.scanLine(0)[3 * x] = colors[x].b;
        pal.scanLine(0)[3 * x + 1] = colors[x].g;
        pal.scanLine(0)[3 * x + 2] = colors[x].r;
    }
    Bitmap eight = pal;
    eight.setPalette({colors[3], colors[2], colors[1], colors[0]});
    eight.setPixelFormat(PixelFormat::Bit8);
    EXPECT_EQ(eight.scanLine(0)[0], 3);
    EXPECT_EQ(eight.scanLine(0)[3], 0);
    eight.convertTo24();
    EXPECT_EQ(eight.pixelBytes(), pal.pixelBytes());
    // 15 and 16 bits keep the high bits of each channel.
    Bitmap b16 = pal;
    b16.setPixelFormat(PixelFormat::Bit16);
    EXPECT_EQ(b16.pixel(0, 0), (Color{255, 0, 0}));
    EXPECT_EQ(b16.pixel(3, 0), (Color{8, 8, 8}));
}

TEST(Bitmap, DrawLeavesTransparentPixelsAndMatchesTheTable) {
    Bitmap canvas(4, 4, PixelFormat::Bit8);
    canvas.setPalette({{0, 0, 0}, {255, 255, 255}, {250, 0, 0}});
    Bitmap patch(2, 2, PixelFormat::Bit8);
    patch.setPalette({{0, 255, 0}, {240, 10, 10}});
    patch.scanLine(0)[0] = 1;
    patch.scanLine(0)[1] = 0;
    patch.scanLine(1)[0] = 0;
    patch.scanLine(1)[1] = 1;
    patch.setTransparentColor({0, 255, 0});
    canvas.draw(1, 1, patch, true);
    EXPECT_EQ(canvas.scanLine(1)[1], 2); // red matched to the canvas's red
    EXPECT_EQ(canvas.scanLine(1)[2], 0); // transparent: unchanged
    EXPECT_EQ(canvas.scanLine(2)[2], 2);
    canvas.draw(3, 3, patch, false); // clipped to the canvas
    EXPECT_EQ(canvas.scanLine(3)[3], 2);
    canvas.draw(-1, -1, patch, false);
    EXPECT_EQ(canvas.scanLine(0)[0], 2);
}

TEST(Bitmap, FillClipsAndSetSizeKeepsTheTopLeft) {
    Bitmap b = gradient(4, 4);
    b.fillRect({-5, -5, 2, 1}, {1, 2, 3});
    EXPECT_EQ(b.pixel(1, 0), (Color{1, 2, 3}));
    EXPECT_NE(b.pixel(2, 0), (Color{1, 2, 3}));
    b.setSize(2, 6);
    EXPECT_EQ(b.pixel(0, 0), (Color{1, 2, 3}));
    EXPECT_EQ(b.pixel(1, 5), (Color{0, 0, 0}));
}

TEST(Bitmap, RefusesSizesBeyondThePixelBudget) {
    EXPECT_THROW(Bitmap(kMaxImageSide + 1, 1), Error);
    EXPECT_THROW(Bitmap(20000, 20000), Error);
    EXPECT_THROW(Bitmap(-1, 5), Error);
    EXPECT_NO_THROW(Bitmap(0, 0));
}

TEST(Bitmap, RecreatedBitmapsShowNothingOfTheirOldPixels) {
    // Every byte of a 4-pixel-wide 24-bit bitmap is a pixel byte: no padding.
    Bitmap b(4, 4);
    b.fill({255, 255, 255});
    b.setTransparentColor({255, 255, 255});
    const uint8_t* memory = b.pixelBytes().data();
    // Smaller, not cleared: the memory is reused and the padding bytes are 0 all the same.
    b.recreate(3, 4, PixelFormat::Bit24, false);
    EXPECT_EQ(b.pixelBytes().data(), memory);
    EXPECT_EQ(b.pixelBytes().size(), 48u);
    EXPECT_FALSE(b.transparent());
    for (int y = 0; y < 4; ++y)
        for (int k = 9; k < 12; ++k)
            EXPECT_EQ(b.scanLine(y)[k], 0) << y << " " << k;
    // Cleared: black, whatever the memory held.
    b.fill({255, 255, 255});
    b.recreate(2, 5, PixelFormat::Bit24, true);
    EXPECT_EQ(b.pixelBytes(), PixelBytes(40, 0));
    // A palette format gets the default table, not the old one.
    Bitmap pal(4, 1, PixelFormat::Bit8);
    pal.setPalette({{1, 2, 3}});
    pal.recreate(4, 1, PixelFormat::Bit8, false);
    EXPECT_EQ(pal.palette(), Bitmap(1, 1, PixelFormat::Bit8).palette());
    // Conversions write every pixel byte and zero the padding of the rows they make.
    for (PixelFormat f : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8,
                          PixelFormat::Bit15, PixelFormat::Bit16, PixelFormat::Bit32}) {
        Bitmap c = gradient(3, 3);
        c.setPixelFormat(f);
        c.convertTo24();
        for (int y = 0; y < 3; ++y)
            for (int k = 9; k < 12; ++k)
                EXPECT_EQ(c.scanLine(y)[k], 0) << bitsPerPixel(f);
    }
}
