#include "core/tools/BCG.h"

#include "core/image/BmpCodec.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrix;

TEST(BCG, TableValues) {
    struct Case {
        int b, c, g;
        std::vector<std::pair<int, int>> entries; // input -> output
    } cases[] = {
        {50, 50, 50, {{0, 0}, {1, 1}, {128, 128}, {200, 200}, {255, 255}}},
        {60, 50, 50, {{64, 101}, {100, 158}, {200, 255}}},
        {40, 50, 50, {{100, 63}, {255, 160}}},
        {50, 60, 50, {{64, 26}, {100, 83}, {200, 242}}},
        {50, 50, 60, {{0, 0}, {1, 7}, {64, 106}, {128, 165}}},
        {50, 0, 50, {{0, 115}, {255, 140}}},
        {100, 50, 50, {{25, 250}, {26, 255}, {255, 255}}},
        {0, 50, 50, {{255, 25}}},
    };
    for (const auto& c : cases) {
        LookupTable t = buildLookupTable(c.b / 100.0, c.c / 100.0, c.g / 100.0);
        for (auto [in, out] : c.entries)
            EXPECT_EQ(t[static_cast<size_t>(in)], out)
                << c.b << "/" << c.c << "/" << c.g << " " << in;
    }
    LookupTable identity = buildLookupTable(0.5, 0.5, 0.5);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(identity[static_cast<size_t>(i)], i);
}

TEST(BCG, AppliesToEveryByteInPlaceOrIntoAnotherBitmap) {
    Bitmap source(5, 3, PixelFormat::Bit24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 15; ++x)
            source.scanLine(y)[x] = static_cast<uint8_t>(y * 50 + x * 10);
    LookupTable t = buildLookupTable(0.6, 0.5, 0.5);
    Bitmap target(1, 1, PixelFormat::Bit8);
    applyBcg(source, target, 0.6, 0.5, 0.5);
    ASSERT_EQ(target.width(), 5);
    ASSERT_EQ(target.pixelFormat(), PixelFormat::Bit24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 15; ++x)
            EXPECT_EQ(target.scanLine(y)[x], t[source.scanLine(y)[x]]);
    Bitmap same = source;
    applyBcg(same, same, 0.6, 0.5, 0.5);
    EXPECT_EQ(same.pixelBytes(), target.pixelBytes());

    // A palette source is converted to 24 bits first, in place.
    Bitmap pal(2, 1, PixelFormat::Bit8);
    pal.setPalette({{10, 20, 30}});
    Bitmap out;
    applyBcg(pal, out, 0.5, 0.5, 0.5);
    EXPECT_EQ(pal.pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(out.pixel(1, 0), (Color{10, 20, 30}));
}

TEST(BCG, VectorAndPortablePathsAgreeOnEveryLength) {
    LookupTable t = buildLookupTable(0.3, 0.7, 0.45);
    std::vector<uint8_t> in(302), fast(302), portable(302);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t n : {0, 1, 7, 8, 63, 64, 65, 129, 299}) {
        std::fill(fast.begin(), fast.end(), 0xAA);
        std::fill(portable.begin(), portable.end(), 0xAA);
        applyLookupTable(t, in.data() + 1, fast.data() + 1, n);
        applyLookupTablePortable(t, in.data() + 1, portable.data() + 1, n);
        EXPECT_EQ(fast, portable) << n;
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(fast[i + 1], t[in[i + 1]]);
        EXPECT_EQ(fast[n + 1], 0xAA); // nothing written past the end
    }
    Bitmap empty;
    Bitmap out(3, 3);
    applyBcg(empty, out, 0.5, 0.5, 0.5);
    EXPECT_TRUE(out.empty());
}

TEST(BCG, AdjustCommand) {
    kestrix::test::TempDir dir;
    Bitmap in(3, 2);
    for (int y = 0; y < 2; ++y)
        std::fill(in.scanLine(y), in.scanLine(y) + 9, uint8_t{100});
    kestrix::test::writeFile(dir.file("in.bmp"), writeBmp(in));
    auto r = kestrix::test::runCommand(std::string(KESTRIX_CLI) + " adjust " + dir.file("in.bmp") +
                                       " " + dir.file("out.bmp") + " --brightness 60");
    ASSERT_EQ(r.status, 0);
    Bitmap out;
    readBmp(kestrix::test::readFile(dir.file("out.bmp")), out);
    EXPECT_EQ(out.pixel(2, 1), (Color{158, 158, 158}));
    r = kestrix::test::runCommand(std::string(KESTRIX_CLI) + " adjust " + dir.file("in.bmp") + " " +
                                  dir.file("x.bmp") + " --gamma 101 2>&1");
    EXPECT_EQ(r.status, 2) << r.out;
}
