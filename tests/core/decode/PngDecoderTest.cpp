#include "DecodeTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/util/Error.h"

#include <fstream>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::string_literals;

namespace {

std::string errorOf(const std::string& body) {
    try {
        Bitmap b;
        decodePng(body, b);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

Bitmap decode(const std::string& body) {
    Bitmap b;
    decodePng(body, b);
    return b;
}

// 2 x 2 RGB, filter 0, pixels red, green / blue, white.
const std::string kRgbRows = "\0\xFF\0\0\0\xFF\0"s + "\0\0\0\xFF\xFF\xFF\xFF"s;

std::string palette(int entries) {
    std::string p;
    for (int i = 0; i < entries; ++i)
        p += {static_cast<char>(i), static_cast<char>(2 * i), static_cast<char>(3 * i)};
    return p;
}

} // namespace

// Every colour type and bit depth, Adam7 and all five filters, written by Pillow or by the
// generator's own encoder, must decode to Pillow's pixels.
TEST(PngDecode, MatchesPillow) {
    TempDir dir("png");
    run(std::string(kPython) + " " + decodeDataDir() + "/make_png_cases.py " + dir.path());
    std::ifstream manifest(dir.file("manifest.txt"));
    std::string name;
    int w = 0, h = 0, cases = 0;
    while (manifest >> name >> w >> h) {
        ++cases;
        const Bitmap b = decode(readFile(dir.file(name + ".png")));
        EXPECT_EQ(b.pixelFormat(), PixelFormat::Bit24) << name;
        ASSERT_EQ(b.width(), w) << name;
        ASSERT_EQ(b.height(), h) << name;
        EXPECT_TRUE(rgbBytes(b) == readFile(dir.file(name + ".rgb"))) << name;
    }
    EXPECT_GE(cases, 90);
}

TEST(PngDecode, MalformedFiles) {
    const std::string rgb = ihdr(2, 2, 8, 2);
    const std::string good = makePng(rgb, "", kRgbRows);
    const std::string idat = pngChunk("IDAT", zlibCompress(kRgbRows));
    const std::string deflated = zlibCompress(kRgbRows);
    struct Case {
        const char* name;
        std::string body;
        const char* error; // "" when the file must decode
    };
    const std::vector<Case> cases = {
        {"good", good, ""},
        {"signature", "\x89PNG\r\n\x1A\x0B" + good.substr(8), "Invalid PNG signature"},
        {"width 0", makePng(ihdr(0, 2, 8, 2), "", ""), "Invalid PNG image size"},
        {"width 2^31", makePng(ihdr(0x80000000u, 1, 8, 2), "", ""), "Invalid PNG image size"},
        {"width 2^31-1", makePng(ihdr(0x7FFFFFFF, 1, 8, 2), "", ""),
         "Image too large: 2147483647 x 1 pixels"},
        {"just above the pixel budget", makePng(ihdr(10001, 10000, 8, 2), "", ""),
         "Image too large: 10001 x 10000 pixels"},
        {"rgb depth 4", makePng(ihdr(2, 2, 4, 2), "", ""), "Invalid PNG bit depth or colour type"},
        {"palette depth 16", makePng(ihdr(2, 2, 16, 3), "", ""),
         "Invalid PNG bit depth or colour type"},
        {"colour type 5", makePng(ihdr(2, 2, 8, 5), "", ""),
         "Invalid PNG bit depth or colour type"},
        {"interlace 2", makePng(ihdr(2, 2, 8, 2, 2), "", kRgbRows), "Invalid PNG header"},
        {"IHDR not first", kPngSignature + pngChunk("tEXt", "a") + rgb + idat,
         "Invalid PNG header"},
        {"bad CRC on IDAT", kPngSignature + rgb + pngChunk("IDAT", deflated, false),
         "PNG chunk CRC error"},
        {"bad CRC on an ancillary chunk", kPngSignature + rgb + pngChunk("tEXt", "x", false) + idat,
         ""},
        {"unknown critical chunk", kPngSignature + rgb + pngChunk("ABCD", "") + idat,
         "Unknown critical PNG chunk"},
        {"no IDAT", kPngSignature + rgb + pngChunk("IEND", ""), "PNG image data missing"},
        {"no IEND", kPngSignature + rgb + idat, ""},
        {"cut inside the only IDAT", (kPngSignature + rgb + idat).substr(0, 45),
         "Stream read error"},
        {"cut inside a later IDAT",
         (kPngSignature + rgb + pngChunk("IDAT", deflated.substr(0, 5)) +
          pngChunk("IDAT", deflated.substr(5)))
             .substr(0, 60),
         "PNG image data is incomplete"},
        {"cut before IDAT", (kPngSignature + rgb).substr(0, 30), "Stream read error"},
        {"too little data", makePng(rgb, "", kRgbRows.substr(0, 10)),
         "PNG image data is incomplete"},
        {"extra data", makePng(rgb, "", kRgbRows + "more rows"), ""},
        {"broken zlib",
         kPngSignature + rgb + pngChunk("IDAT", "\x78\x9C\xFF\xFF\xFF") + pngChunk("IEND", ""),
         "Invalid PNG image data"},
        {"zlib stream that never ends",
         kPngSignature + rgb + pngChunk("IDAT", deflated.substr(0, 8)),
         "PNG image data is incomplete"},
        {"filter type 5", makePng(rgb, "", "\5" + kRgbRows.substr(1)), "Invalid PNG filter type"},
        {"palette missing", makePng(ihdr(1, 1, 8, 3), "", "\0\0"s), "PNG palette missing"},
        {"PLTE of 0 entries", makePng(ihdr(1, 1, 8, 3), pngChunk("PLTE", ""), "\0\0"s),
         "Invalid PNG palette"},
        {"PLTE of 257 entries", makePng(ihdr(1, 1, 8, 3), pngChunk("PLTE", palette(257)), "\0\0"s),
         "Invalid PNG palette"},
        {"PLTE beyond 2^depth", makePng(ihdr(1, 1, 2, 3), pngChunk("PLTE", palette(5)), "\0\0"s),
         "Invalid PNG palette"},
        {"tRNS longer than PLTE",
         makePng(ihdr(1, 1, 8, 3), pngChunk("PLTE", palette(2)) + pngChunk("tRNS", "\0\0\0"s),
                 "\0\1"s),
         ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(c.body), c.error) << c.name;
}

TEST(PngDecode, PaletteIndexBeyondThePaletteIsBlack) {
    const Bitmap b =
        decode(makePng(ihdr(2, 1, 8, 3), pngChunk("PLTE", "\x10\x20\x30"s), "\0\0\x07"s));
    EXPECT_EQ(b.pixel(0, 0), (Color{0x10, 0x20, 0x30}));
    EXPECT_EQ(b.pixel(1, 0), (Color{0, 0, 0}));
}

// The single transparent colour is recorded; alpha channels and partial alpha are ignored.
TEST(PngDecode, TransparentColour) {
    struct Case {
        const char* name;
        std::string body;
        bool transparent;
        Color color;
    };
    const std::string pal = pngChunk("PLTE", "\1\2\3\4\5\6\7\x08\x09"s);
    const std::vector<Case> cases = {
        {"grey 4-bit",
         makePng(ihdr(1, 1, 4, 0), pngChunk("tRNS", "\0\x05"s), "\0\0"s),
         true,
         {85, 85, 85}},
        {"grey 16-bit",
         makePng(ihdr(1, 1, 16, 0), pngChunk("tRNS", "\x12\x34"s), "\0\0\0"s),
         true,
         {0x12, 0x12, 0x12}},
        {"rgb 8-bit",
         makePng(ihdr(1, 1, 8, 2), pngChunk("tRNS", "\0\x0A\0\x0B\0\x0C"s), "\0\0\0\0"s),
         true,
         {10, 11, 12}},
        {"palette, one clear entry",
         makePng(ihdr(1, 1, 8, 3), pal + pngChunk("tRNS", "\xFF\0"s), "\0\0"s),
         true,
         {4, 5, 6}},
        {"palette, partial alpha",
         makePng(ihdr(1, 1, 8, 3), pal + pngChunk("tRNS", "\x80\0"s), "\0\0"s),
         false,
         {}},
        {"rgba", makePng(ihdr(1, 1, 8, 6), "", "\0\1\2\3\0"s), false, {}},
    };
    for (const Case& c : cases) {
        const Bitmap b = decode(c.body);
        EXPECT_EQ(b.transparent(), c.transparent) << c.name;
        if (c.transparent) {
            EXPECT_EQ(b.transparentColor(), c.color) << c.name;
        }
    }
    EXPECT_EQ(decode(makePng(ihdr(1, 1, 8, 6), "", "\0\1\2\3\0"s)).pixel(0, 0), (Color{1, 2, 3}));
}
