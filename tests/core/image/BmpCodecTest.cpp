#include "core/image/BmpCodec.h"

#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

// A hand-made BMP: 40-byte info header, then an optional mask block, palette and pixel data.
struct BmpSpec {
    int32_t width = 2;
    int32_t height = 2;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    std::string masks;
    std::string palette;
    std::string pixels;
    int32_t offsetAdjust = 0;
    uint32_t headerSize = 40;
};

std::string build(const BmpSpec& s) {
    std::string info;
    putU32(info, s.headerSize);
    putU32(info, static_cast<uint32_t>(s.width));
    putU32(info, static_cast<uint32_t>(s.height));
    putU16(info, 1);
    putU16(info, s.bpp);
    putU32(info, s.compression);
    putU32(info, static_cast<uint32_t>(s.pixels.size()));
    putU32(info, 0);
    putU32(info, 0);
    putU32(info, s.colorsUsed);
    putU32(info, 0);
    std::string body = info + s.masks + s.palette;
    std::string out = "BM";
    putU32(out, static_cast<uint32_t>(14 + body.size() + s.pixels.size()));
    putU32(out, 0);
    putU32(out, static_cast<uint32_t>(14 + static_cast<int32_t>(body.size()) + s.offsetAdjust));
    return out + body + s.pixels;
}

std::string grey4() {
    std::string p;
    for (int i = 0; i < 4; ++i)
        p += std::string{static_cast<char>(i * 80), static_cast<char>(i * 80),
                         static_cast<char>(i * 80), 0};
    return p;
}

Bitmap sample(PixelFormat f) {
    Bitmap b(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 50);
            p[1] = static_cast<uint8_t>(y * 100);
            p[2] = static_cast<uint8_t>(x == y ? 255 : 0);
        }
    b.setPixelFormat(f);
    return b;
}

} // namespace

TEST(BmpCodec, EveryFormatRoundTrips) {
    for (PixelFormat f :
         {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit15,
          PixelFormat::Bit16, PixelFormat::Bit24, PixelFormat::Bit32}) {
        Bitmap original = sample(f);
        Bitmap back;
        readBmp(writeBmp(original), back);
        EXPECT_EQ(back.pixelFormat(), f) << bitsPerPixel(f);
        EXPECT_EQ(back.width(), 5);
        EXPECT_EQ(back.pixelBytes(), original.pixelBytes()) << bitsPerPixel(f);
        EXPECT_EQ(back.palette(), original.palette());
    }
}

TEST(BmpCodec, SavedFilesHoldTheSameBytesAndFailuresKeepTheOldFile) {
    test::TempDir dir;
    const std::string file = dir.path() + "/saved.bmp";
    std::vector<Bitmap> bitmaps = {Bitmap(), test::rampBitmap(701, 700), test::rampBitmap(3, 1)};
    for (PixelFormat f : {PixelFormat::Bit1, PixelFormat::Bit8, PixelFormat::Bit16})
        bitmaps.push_back(sample(f));
    for (const Bitmap& bitmap : bitmaps) {
        saveBmpFile(bitmap, file);
        EXPECT_EQ(readFileBytes(file), writeBmp(bitmap)) << bitmap.width();
    }
    EXPECT_THROW(saveBmpFile(bitmaps[1], dir.path() + "/missing/saved.bmp"), Error);
    std::filesystem::create_directory(dir.path() + "/folder.bmp");
    EXPECT_THROW(saveBmpFile(bitmaps[1], dir.path() + "/folder.bmp"), Error);
    EXPECT_EQ(readFileBytes(file), writeBmp(bitmaps.back()));
}

TEST(BmpCodec, WritesTheUncompressedLayout) {
    Bitmap b(3, 2);
    std::string file = writeBmp(b);
    ASSERT_EQ(file.size(), 54u + 2 * 12);
    ByteReader r(file);
    EXPECT_EQ(r.bytes(2), "BM");
    EXPECT_EQ(r.u32(), file.size());
    r.skip(4);
    EXPECT_EQ(r.u32(), 54u);
    EXPECT_EQ(r.u32(), 40u);
    EXPECT_EQ(r.i32(), 3);
    EXPECT_EQ(r.i32(), 2); // positive: rows bottom-up
    EXPECT_EQ(r.u16(), 1);
    EXPECT_EQ(r.u16(), 24);
    EXPECT_EQ(r.u32(), 0u);
    EXPECT_EQ(r.u32(), 24u);

    Bitmap pal(2, 1, PixelFormat::Bit8);
    pal.setPalette({{1, 2, 3}, {4, 5, 6}});
    std::string p = writeBmp(pal);
    EXPECT_EQ(p.size(), 54u + 8 + 4);
    EXPECT_EQ(p.substr(54, 8), std::string("\3\2\1\0\6\5\4\0", 8));
    EXPECT_EQ(static_cast<uint8_t>(p[10]), 62); // pixel data after the table
    EXPECT_EQ(static_cast<uint8_t>(p[46]), 2);  // colours used
}

TEST(BmpCodec, ReadsTopDownCoreHeaderAndBitFields) {
    // Top-down 24-bit: the first stored row is the top one.
    BmpSpec top;
    top.height = -2;
    top.pixels = std::string("\x01\x02\x03\x04\x05\x06\0\0\x07\x08\x09\x0a\x0b\x0c\0\0", 16);
    Bitmap b;
    readBmp(build(top), b);
    EXPECT_EQ(b.pixel(0, 0), (Color{3, 2, 1}));
    EXPECT_EQ(b.pixel(1, 1), (Color{12, 11, 10}));

    // 12-byte core header with 3-byte palette entries.
    std::string core = "BM";
    putU32(core, 0);
    putU32(core, 0);
    putU32(core, 14 + 12 + 6);
    putU32(core, 12);
    putU16(core, 1);
    putU16(core, 1);
    putU16(core, 1);
    putU16(core, 1);
    core += std::string("\0\0\0\xFF\xFF\xFF", 6);
    core += std::string("\x80\0\0\0", 4);
    readBmp(core, b);
    EXPECT_EQ(b.pixelFormat(), PixelFormat::Bit1);
    EXPECT_EQ(b.pixel(0, 0), (Color{255, 255, 255}));

    // 32-bit bit fields in an unusual order become 24-bit.
    BmpSpec fields;
    fields.width = 1;
    fields.height = 1;
    fields.bpp = 32;
    fields.compression = 3;
    putU32(fields.masks, 0x000000FF); // red in the low byte
    putU32(fields.masks, 0x0000FF00);
    putU32(fields.masks, 0x00FF0000);
    fields.pixels = std::string("\x11\x22\x33\x00", 4);
    readBmp(build(fields), b);
    EXPECT_EQ(b.pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(b.pixel(0, 0), (Color{0x11, 0x22, 0x33}));

    // 16-bit 5-6-5 fields keep their format.
    BmpSpec f565 = fields;
    f565.bpp = 16;
    f565.masks.clear();
    putU32(f565.masks, 0xF800);
    putU32(f565.masks, 0x07E0);
    putU32(f565.masks, 0x001F);
    f565.pixels = std::string("\x1F\x00\x00\x00", 4);
    readBmp(build(f565), b);
    EXPECT_EQ(b.pixelFormat(), PixelFormat::Bit16);
    EXPECT_EQ(b.pixel(0, 0), (Color{0, 0, 255}));
}

TEST(BmpCodec, ReadsRunLengthCodedRows) {
    BmpSpec rle8;
    rle8.width = 4;
    rle8.height = 2;
    rle8.bpp = 8;
    rle8.compression = 1;
    rle8.colorsUsed = 4;
    rle8.palette = grey4();
    // Bottom row: run of 3 x index 1, run of 1 x index 2, end of line; top row: delta (1, 0),
    // run of 9 (clipped at the row end), end of bitmap.
    rle8.pixels = std::string("\x03\x01\x01\x02\x00\x00\x00\x02\x01\x00\x09\x03\x00\x01", 14);
    Bitmap b;
    readBmp(build(rle8), b);
    EXPECT_EQ(b.scanLine(1)[0], 1);
    EXPECT_EQ(b.scanLine(1)[2], 1);
    EXPECT_EQ(b.scanLine(1)[3], 2);
    EXPECT_EQ(b.scanLine(0)[0], 0);
    EXPECT_EQ(b.scanLine(0)[1], 3);
    EXPECT_EQ(b.scanLine(0)[3], 3);

    BmpSpec rle4 = rle8;
    rle4.bpp = 4;
    rle4.compression = 2;
    // Absolute run of 1, 2, 3 (padded to a word), end of line, then a run of 4 alternating 1
    // and 2 with no end-of-bitmap mark at all.
    rle4.pixels = std::string("\x00\x03\x12\x30\x00\x00\x04\x12", 8);
    readBmp(build(rle4), b);
    EXPECT_EQ(b.pixelFormat(), PixelFormat::Bit4);
    EXPECT_EQ(b.scanLine(1)[0], 0x12);
    EXPECT_EQ(b.scanLine(1)[1], 0x30);
    EXPECT_EQ(b.scanLine(0)[0], 0x12);
    EXPECT_EQ(b.scanLine(0)[1], 0x12);
}

TEST(BmpCodec, BadFilesGiveClearErrors) {
    BmpSpec good;
    good.pixels = std::string(16, '\0');
    ASSERT_NO_THROW({
        Bitmap b;
        readBmp(build(good), b);
    });
    auto with = [&](auto change) {
        BmpSpec s = good;
        change(s);
        return build(s);
    };
    std::string big = with([](BmpSpec& s) { s.width = 100000; });
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"not BM", "XX" + build(good).substr(2)},
        {"empty", ""},
        {"width 0", with([](BmpSpec& s) { s.width = 0; })},
        {"height 0", with([](BmpSpec& s) { s.height = 0; })},
        {"negative width", with([](BmpSpec& s) { s.width = -2; })},
        {"most negative height", with([](BmpSpec& s) { s.height = INT32_MIN; })},
        {"over the budget", big},
        {"area overflowing 32 bits", with([](BmpSpec& s) { s.width = s.height = 65536; })},
        {"header size huge", with([](BmpSpec& s) { s.headerSize = 0xFFFFFFFF; })},
        {"header size 0", with([](BmpSpec& s) { s.headerSize = 0; })},
        {"bpp 7", with([](BmpSpec& s) { s.bpp = 7; })},
        {"jpeg compression", with([](BmpSpec& s) { s.compression = 4; })},
        {"rle8 at 24 bits", with([](BmpSpec& s) { s.compression = 1; })},
        {"offset past the end", with([](BmpSpec& s) { s.offsetAdjust = 1000; })},
        {"offset inside the headers", with([](BmpSpec& s) { s.offsetAdjust = -30; })},
        {"rows cut short", with([](BmpSpec& s) { s.pixels.resize(7); })},
        {"palette cut short", with([](BmpSpec& s) {
             s.bpp = 8;
             s.colorsUsed = 200;
             s.palette = grey4();
             s.pixels = std::string(8, '\0');
         })},
        {"top-down rle", with([](BmpSpec& s) {
             s.bpp = 8;
             s.compression = 1;
             s.height = -2;
         })},
    };
    for (const auto& [name, data] : cases) {
        Bitmap b;
        EXPECT_THROW(readBmp(data, b), Error) << name;
    }
}

TEST(BmpCodec, OddButReadableFilesGiveSensibleImages) {
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bpp = 8;
    s.colorsUsed = 0xFFFFFFFF; // absurd: only what 8 bits can index is read
    std::string palette;
    for (int i = 0; i < 256; ++i)
        palette += std::string{static_cast<char>(i), 0, 0, 0};
    s.palette = palette;
    s.pixels = std::string("\x05\xFF\0\0", 4);
    Bitmap b;
    readBmp(build(s), b);
    EXPECT_EQ(b.pixel(0, 0), (Color{0, 0, 5}));

    // Indexes beyond a short palette read as black; zero masks read as a zero channel.
    s.colorsUsed = 2;
    s.palette = grey4().substr(0, 8);
    readBmp(build(s), b);
    EXPECT_EQ(b.pixel(1, 0), (Color{0, 0, 0}));
    BmpSpec zero;
    zero.width = 1;
    zero.height = 1;
    zero.bpp = 32;
    zero.compression = 3;
    zero.masks = std::string(12, '\0');
    zero.pixels = std::string("\xFF\xFF\xFF\xFF", 4);
    readBmp(build(zero), b);
    EXPECT_EQ(b.pixel(0, 0), (Color{0, 0, 0}));
    BmpSpec ones = zero;
    ones.masks = std::string(12, '\xFF');
    readBmp(build(ones), b);
    EXPECT_EQ(b.pixel(0, 0), (Color{255, 255, 255}));
}

TEST(BmpCodec, DecodingIntoUsedMemoryShowsNothingOfIt) {
    BmpSpec rle = {};
    rle.width = 4;
    rle.height = 3;
    rle.bpp = 8;
    rle.compression = 1;
    rle.colorsUsed = 4;
    rle.palette = grey4();
    // Bottom row: two pixels of index 3, then the row ends early; a delta skips the middle row
    // and one pixel; one pixel of index 2; the top row's last two pixels are never coded.
    rle.pixels = std::string("\x02\x03\x00\x00\x00\x02\x01\x01\x01\x02\x00\x01", 12);
    BmpSpec padded = {};
    padded.width = 3;
    padded.height = 2;
    padded.pixels = std::string("\1\2\3\4\5\6\7\10\11\0\0\0\12\13\14\15\16\17\20\21\22\0\0\0", 24);
    const std::string files[] = {build(rle), build(padded), writeBmp(sample(PixelFormat::Bit8)),
                                 writeBmp(sample(PixelFormat::Bit4)),
                                 writeBmp(sample(PixelFormat::Bit16))};
    for (const std::string& file : files) {
        Bitmap fresh;
        readBmp(file, fresh);
        // Memory that held white pixels, large enough for every picture here.
        Bitmap used(8, 8);
        used.fill({255, 255, 255});
        const uint8_t* memory = used.pixelBytes().data();
        readBmpInto(file, used);
        EXPECT_EQ(used.pixelBytes().data(), memory);
        EXPECT_EQ(used.pixelBytes(), fresh.pixelBytes());
        EXPECT_EQ(used.palette(), fresh.palette());
    }
    Bitmap b;
    readBmp(build(rle), b);
    EXPECT_EQ(b.scanLine(2)[0], 3);
    EXPECT_EQ(b.scanLine(2)[2], 0);
    EXPECT_EQ(b.scanLine(1)[3], 0);
    EXPECT_EQ(b.scanLine(0)[1], 2);
    EXPECT_EQ(b.scanLine(0)[3], 0);
    // A failure leaves readBmp's bitmap as it was and readBmpInto's empty, never half-read.
    BmpSpec cut = padded;
    cut.pixels.resize(13);
    readBmp(build(padded), b);
    EXPECT_THROW(readBmp(build(cut), b), Error);
    EXPECT_EQ(b.width(), 3);
    EXPECT_THROW(readBmpInto(build(cut), b), Error);
    EXPECT_TRUE(b.empty());
    EXPECT_TRUE(b.pixelBytes().empty());
}
