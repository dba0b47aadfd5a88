#include "DecodeTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/util/Error.h"

#include <fstream>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::string_literals;

namespace {

std::string pngErrorOf(const std::string& body) {
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

// Decodes each NAME.png of the generator's manifest ("NAME WIDTH HEIGHT" lines) and compares it
// with NAME.rgb, Pillow's pixels; answers the number of pictures.
int expectPillowPixels(const TempDir& dir) {
    std::ifstream manifest(dir.file("manifest.txt"));
    std::string name;
    int w = 0, h = 0, cases = 0;
    while (manifest >> name >> w >> h) {
        ++cases;
        const Bitmap b = decode(readFile(dir.file(name + ".png")));
        EXPECT_EQ(b.pixelFormat(), PixelFormat::Bit24) << name;
        EXPECT_EQ(b.width(), w) << name;
        EXPECT_EQ(b.height(), h) << name;
        EXPECT_TRUE(rgbBytes(b) == readFile(dir.file(name + ".rgb"))) << name;
    }
    return cases;
}

// Larger cases made with make_png_cases.py's encoder (argv[1] is its folder) into argv[2]: every
// row filter in turn at each pixel size, and noisy photographs saved by Pillow.
constexpr const char* kLargerPngCases = R"PY(
import sys
sys.path.insert(0, sys.argv[1])
import numpy as np
from PIL import Image
from make_png_cases import CHANNELS, reference, write_png
out = sys.argv[2]
rng = np.random.default_rng(29)
cases = []
for color_type, depth in [(0, 8), (0, 16), (2, 8), (2, 16), (3, 8), (4, 8), (6, 8), (6, 16)]:
    for interlace in (0, 1):
        w, h = 97, 21
        top = 200 if color_type == 3 else 1 << depth
        ramp = np.add.outer(np.arange(h), np.arange(w))[:, :, None] * (top // 128)
        noise = rng.integers(0, top // 16 + 2, (h, w, CHANNELS[color_type]))
        pixels = (ramp + noise) % top
        palette = rng.integers(0, 256, (200, 3)) if color_type == 3 else None
        name = 'ct%d_d%d_i%d' % (color_type, depth, interlace)
        write_png(out + '/' + name + '.png', pixels, color_type, depth, interlace, palette)
        cases.append((name, w, h))
for i, (w, h) in enumerate([(640, 48), (333, 65), (1, 300)]):
    low = rng.integers(0, 256, (4, 4, 3), dtype=np.uint8)
    smooth = np.asarray(Image.fromarray(low).resize((w, h), Image.BICUBIC), dtype=np.int16)
    photo = np.clip(smooth + rng.normal(0, 3, (h, w, 3)), 0, 255).astype(np.uint8)
    for mode in ('RGB', 'RGBA'):
        name = 'photo%d_%s' % (i, mode)
        Image.fromarray(photo).convert(mode).save(out + '/' + name + '.png')
        cases.append((name, w, h))
with open(out + '/manifest.txt', 'w') as manifest:
    for name, w, h in cases:
        with open(out + '/' + name + '.rgb', 'wb') as f:
            f.write(reference(out + '/' + name + '.png'))
        manifest.write('%s %d %d\n' % (name, w, h))
)PY";

} // namespace

// Every colour type and bit depth, Adam7 and all five filters, written by Pillow or by the
// generator's own encoder, must decode to Pillow's pixels.
TEST(PngDecode, MatchesPillow) {
    TempDir dir("png");
    run(std::string(kPython) + " " + decodeDataDir() + "/make_png_cases.py " + dir.path());
    EXPECT_GE(expectPillowPixels(dir), 90);
}

// The same on pictures wide enough for the vector loops and the parallel rows: every filter
// with each pixel size, interlaced or not, and Pillow's own choice of filters on noisy photos.
TEST(PngDecode, LargerPicturesMatchPillow) {
    TempDir dir("png");
    writeFile(dir.file("cases.py"), kLargerPngCases);
    run(std::string(kPython) + " " + dir.file("cases.py") + " " + decodeDataDir() + " " +
        dir.path());
    EXPECT_EQ(expectPillowPixels(dir), 22);
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
        EXPECT_EQ(pngErrorOf(c.body), c.error) << c.name;
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

namespace {

// IDAT chunks holding `stream`, cut at the given offsets (empty chunks where two are equal).
std::string idatChunks(const std::string& stream, const std::vector<size_t>& cuts) {
    std::string out;
    size_t from = 0;
    for (const size_t cut : cuts) {
        out += pngChunk("IDAT", stream.substr(from, cut - from));
        from = cut;
    }
    return out + pngChunk("IDAT", stream.substr(from));
}

// Rows of a 23 x 5 RGBA picture, each row with another of the five filters.
std::string rgbaRows(int height = 5) {
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows += static_cast<char>(y % 5);
        for (int i = 0; i < 23 * 4; ++i)
            rows += static_cast<char>((i * 37 + y * 11) % 251);
    }
    return rows;
}

// The stream zlib writes at level 0: stored blocks.
std::string storedStream(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 0);
    out.resize(size);
    return out;
}

std::string withAdler(std::string stream, const std::string& raw) {
    const uLong sum =
        adler32(1, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size()));
    putU32BigEndian(stream, static_cast<uint32_t>(sum));
    return stream;
}

// A zlib stream of one block in the fixed Huffman codes, every byte a literal. Its bytes do not
// depend on the zlib the tests run with, so what damaging them does stays the same.
std::string fixedHuffmanStream(const std::string& raw) {
    std::string out = "\x78\x01";
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int n) {
        bits |= value << count;
        for (count += n; count >= 8; count -= 8, bits >>= 8)
            out += static_cast<char>(bits & 0xFF);
    };
    // Huffman codes go most significant bit first.
    auto code = [&](uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i)
            put((value >> i) & 1, 1);
    };
    put(1, 1);
    put(1, 2);
    for (const char c : raw) {
        const auto v = static_cast<uint8_t>(c);
        if (v < 144)
            code(0x30 + v, 8);
        else
            code(0x190 + v - 144, 9);
    }
    code(0, 7);
    if (count > 0)
        out += static_cast<char>(bits);
    return withAdler(out, raw);
}

// What decoding gave, in one letter: o the undamaged picture, x another picture, I invalid image
// data, C incomplete image data, F a bad filter type, ? anything else. The pixels of other
// pictures go into the running CRC `pictures`.
char outcome(const std::string& body, const std::string& undamaged, uLong& pictures) {
    try {
        Bitmap b;
        decodePng(body, b);
        const std::string pixels = rgbBytes(b);
        if (pixels == undamaged)
            return 'o';
        pictures = crc32(pictures, reinterpret_cast<const Bytef*>(pixels.data()),
                         static_cast<uInt>(pixels.size()));
        return 'x';
    } catch (const Error& e) {
        const std::string text = e.what();
        if (text == "Invalid PNG image data")
            return 'I';
        if (text == "PNG image data is incomplete")
            return 'C';
        return text == "Invalid PNG filter type" ? 'F' : '?';
    }
}

} // namespace

// How the image data's stream ends and how it is split between IDAT chunks: what zlib read step
// by step decided before is what decides now, data beyond the picture included.
TEST(PngDecode, StreamEndsAndSplits) {
    const std::string iend = pngChunk("IEND", "");
    const std::string raw = rgbaRows();
    const std::string stream = zlibCompress(raw);
    const std::string picture =
        rgbBytes(decode(kPngSignature + ihdr(23, 5, 8, 6) + idatChunks(stream, {}) + iend));
    std::string badAdler = stream;
    badAdler.back() = static_cast<char>(badAdler.back() ^ 0x40);
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < stream.size(); ++i)
        everyByte.push_back(i);
    std::string dictionary = stream;
    dictionary[1] = '\xBB';
    std::string wideWindow = stream;
    wideWindow[0] = '\x88';
    wideWindow[1] = '\x1C';
    const std::string badFilterRows = rgbaRows() + std::string(1, '\x05') + rgbaRows(1).substr(1);
    struct Case {
        const char* name;
        std::string idat;
        const char* error; // "" when the picture must decode
        int height = 5;
    };
    const std::vector<Case> cases = {
        {"split after every byte", idatChunks(stream, everyByte), ""},
        {"empty chunks around the data", idatChunks(stream, {0, 0, stream.size()}), ""},
        {"stored blocks", idatChunks(storedStream(raw), {}), ""},
        {"Adler-32 wrong, ending the last chunk", idatChunks(badAdler, {}),
         "Invalid PNG image data"},
        {"Adler-32 wrong, in a chunk of its own", idatChunks(badAdler, {badAdler.size() - 4}), ""},
        {"Adler-32 wrong, split between chunks", idatChunks(badAdler, {badAdler.size() - 2}), ""},
        {"Adler-32 cut short", idatChunks(stream.substr(0, stream.size() - 2), {}), ""},
        {"Adler-32 missing", idatChunks(stream.substr(0, stream.size() - 4), {}), ""},
        {"data after the stream", idatChunks(stream + "more", {}), ""},
        {"data after the stream, in a chunk of its own",
         idatChunks(stream + "more", {stream.size()}), ""},
        {"a second stream after the first", idatChunks(stream + zlibCompress("rows"), {}), ""},
        {"a byte more than the picture", idatChunks(zlibCompress(raw + "!"), {}), ""},
        {"a byte less than the picture", idatChunks(zlibCompress(raw.substr(1)), {}),
         "PNG image data is incomplete"},
        {"preset dictionary", idatChunks(dictionary, {}), "Invalid PNG image data"},
        {"window of 64 KiB", idatChunks(wideWindow, {}), "Invalid PNG image data"},
        {"bad filter type in a row beyond the picture", idatChunks(zlibCompress(badFilterRows), {}),
         ""},
        {"bad filter type in the last row", idatChunks(zlibCompress(badFilterRows), {}),
         "Invalid PNG filter type", 6},
    };
    for (const Case& c : cases) {
        const std::string body = kPngSignature + ihdr(23, c.height, 8, 6) + c.idat + iend;
        EXPECT_EQ(pngErrorOf(body), c.error) << c.name;
        if (*c.error == '\0' && c.height == 5) {
            EXPECT_TRUE(rgbBytes(decode(body)) == picture) << c.name;
        }
    }
}

// Image data damaged byte after byte: cut short, and single bits flipped with the stream's end in
// the last chunk or in a chunk of its own. Each outcome, and the pixels of each other picture the
// damage gave, are those the decoder gave when zlib alone inflated the data, step by step.
TEST(PngDecode, DamagedStreams) {
    const std::string head = kPngSignature + ihdr(23, 5, 8, 6);
    const std::string iend = pngChunk("IEND", "");
    const std::string stream = fixedHuffmanStream(rgbaRows());
    const std::string undamaged = rgbBytes(decode(head + idatChunks(stream, {}) + iend));
    uLong pictures = crc32(0, nullptr, 0);
    std::string cut;
    for (size_t size = 0; size < stream.size(); size += 9)
        cut += outcome(head + idatChunks(stream.substr(0, size), {}) + iend, undamaged, pictures);
    EXPECT_EQ(cut, "CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCo");
    const std::string expected[] = {
        "IIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIFIIIIIIIIFIIIIIIIIIIIIIIIIIIIIIIIIIII"
        "IIIIIIIIII",
        "IxxIxxIxxxxIxxxIxxxoIxxxIooIxxIoxIxxooxxIxxxxxxxoxxxxFxxxxxIoxFxxoIxxxooxxIooxxIxxxxxxxIox"
        "Ixxoxxxxoo",
    };
    for (const bool ownChunk : {false, true}) {
        std::string flipped;
        for (size_t i = 0; i < stream.size(); i += 5) {
            std::string damaged = stream;
            damaged[i] = static_cast<char>(damaged[i] ^ (1 << (i % 8)));
            const std::vector<size_t> cuts =
                ownChunk ? std::vector<size_t>{stream.size() - 4} : std::vector<size_t>{};
            flipped += outcome(head + idatChunks(damaged, cuts) + iend, undamaged, pictures);
        }
        EXPECT_EQ(flipped, expected[ownChunk ? 1 : 0])
            << (ownChunk ? "bits flipped, Adler-32 in its own chunk" : "bits flipped");
    }
    EXPECT_EQ(pictures, 1425614207u);
}
