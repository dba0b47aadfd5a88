#include "core/decode/ImageDecoder.h"

#include "DecodeTestSupport.h"
#include "core/frames/BitmapList.h"
#include "core/image/BmpCodec.h"
#include "core/util/Error.h"
#include "support/ImageBuilders.h"

using namespace kestrix;
using namespace kestrix::test;
using namespace std::string_literals;

namespace {

std::string errorOf(const std::string& body, const std::string& address) {
    try {
        Bitmap b;
        decodeImage(body, address, b, nullptr);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(ImageKind, Signatures) {
    struct Case {
        std::string body;
        ImageKind kind;
    };
    const std::vector<Case> cases = {
        {"BM" + std::string(8, 'x'), ImageKind::Bmp},
        {"GIF87a....", ImageKind::Gif},
        {"GIF89a....", ImageKind::Gif},
        {"GIF8......", ImageKind::Gif},
        {"\xFF\xD8\xFF\xE0......"s, ImageKind::Jpeg},
        {"\x89PNG\r\n\x1A\n.."s, ImageKind::Png},
        {"\x89PNG\r\n\x1A\r.."s, ImageKind::Unsupported},
        {"\xFF\xD8\xFE\xE0......"s, ImageKind::Unsupported},
        {"<html>....", ImageKind::Unsupported},
    };
    for (const Case& c : cases)
        EXPECT_EQ(imageKindFromSignature(c.body), c.kind) << c.body;
    for (const std::string& body : {""s, "BM"s, "GIF89a..."s}) {
        try {
            imageKindFromSignature(body);
            FAIL() << body.size();
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Stream read error");
            EXPECT_EQ(e.kind(), ErrorKind::StreamRead);
        }
    }
}

TEST(ImageKind, AddressExtension) {
    struct Case {
        const char* address;
        const char* extension;
        ImageKind kind;
    };
    const std::vector<Case> cases = {
        {"http://host/cam.JPG", "jpg", ImageKind::Jpeg},
        {"http://host/cam.jpeg", "jpeg", ImageKind::Jpeg},
        {"http://host/radar.Gif", "gif", ImageKind::Gif},
        {"http://host/a.png", "png", ImageKind::Png},
        {"http://host/a.bmp", "bmp", ImageKind::Bmp},
        {"http://host/cam.jpg?t=1", "jpg?t=1", ImageKind::Unsupported},
        {"http://host.example.com:8080/snapshot", "", ImageKind::Unsupported},
        {"http://host.com/dir/image", "com/dir/image", ImageKind::Unsupported},
        {"C:\\cams.d\\cam", "", ImageKind::Unsupported},
        {"cam.", "", ImageKind::Unsupported},
        {"", "", ImageKind::Unsupported},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(addressExtension(c.address), c.extension) << c.address;
        EXPECT_EQ(imageKindFromExtension(c.address), c.kind) << c.address;
    }
}

TEST(DecodeImage, SignatureFirstThenExtension) {
    const Bitmap picture = test::rampBitmap(3, 2);
    Bitmap out;
    ASSERT_TRUE(decodeImage(writeBmp(picture), "http://host/cam.jpg", out, nullptr));
    EXPECT_TRUE(bitmapsEqual(out, picture)) << "a BM body is a bitmap whatever the address";
    const std::string html = "<html>Not Found</html>";
    EXPECT_EQ(errorOf(html, "http://host/cam.JPG"), "Not a JPEG file: starts with 0x3c 0x68");
    EXPECT_EQ(errorOf(html, "http://host/cam.jpeg"), "Not a JPEG file: starts with 0x3c 0x68");
    EXPECT_EQ(errorOf(html, "http://host/cam.gif"), "Invalid GIF signature");
    EXPECT_EQ(errorOf(html, "http://host/cam.png"), "Invalid PNG signature");
    EXPECT_EQ(errorOf(html, "http://host/cam.bmp"), "Bitmap image is not valid");
    EXPECT_EQ(errorOf(html, "http://host/cam.jpg?t=1"), "Unsupport Image Type: jpg?t=1");
    EXPECT_EQ(errorOf(html, "http://host.example.com:8080/snap"), "Unsupport Image Type: ");
    EXPECT_EQ(errorOf("short", "a.png"), "Stream read error");
}

TEST(DecodeImage, FailureLeavesTheBitmapAndFramesAlone) {
    Bitmap out = test::rampBitmap(2, 2);
    BitmapList frames;
    frames.add(out);
    GifBuilder gif(2, 1, {{0, 0, 0}, {255, 255, 255}});
    gif.pixels(0, 0, 2, 1, {0, 1}).image(0, 0, 2, 1, "\2" + gifCodes({{4, 3}, {7, 3}}));
    const std::vector<std::string> broken = {
        gif.done(),
        makePng(ihdr(2, 2, 8, 2), "", "\0\0\0"s),
        "\xFF\xD8\xFF\xDB junk junk junk"s,
        writeBmp(out).substr(0, 60),
    };
    for (const std::string& body : broken)
        EXPECT_THROW(decodeImage(body, "a", out, &frames), Error) << body.substr(0, 4);
    EXPECT_TRUE(bitmapsEqual(out, test::rampBitmap(2, 2)));
    EXPECT_EQ(frames.count(), 1);
}

TEST(BitmapsEqual, ComparesEveryPixelByteAndNothingElse) {
    const Bitmap a = test::rampBitmap(5, 3);
    Bitmap b = a;
    EXPECT_TRUE(bitmapsEqual(a, b));
    b.scanLine(2)[14] ^= 1;
    EXPECT_FALSE(bitmapsEqual(a, b)) << "last pixel byte of the last row";
    b = a;
    b.scanLine(1)[15] ^= 0xFF; // padding: 5 x 3 = 15 bytes, the row holds 16
    EXPECT_TRUE(bitmapsEqual(a, b));
    Bitmap eight = a;
    eight.setPixelFormat(PixelFormat::Bit8);
    Bitmap back = eight;
    back.convertTo24();
    EXPECT_FALSE(bitmapsEqual(eight, back)) << "8 bits against 24 bits of the same picture";
    EXPECT_FALSE(bitmapsEqual(a, test::rampBitmap(5, 4)));
    EXPECT_FALSE(bitmapsEqual(a, test::rampBitmap(4, 3)));
    EXPECT_TRUE(bitmapsEqual(Bitmap(), Bitmap()));
    const Bitmap wide = test::rampBitmap(1920, 1080);
    Bitmap wideCopy = wide;
    EXPECT_TRUE(bitmapsEqual(wide, wideCopy));
    wideCopy.scanLine(1079)[5759] ^= 0x80;
    EXPECT_FALSE(bitmapsEqual(wide, wideCopy));
}

// A partial last byte of a 1- or 4-bit row holds pixels too: two frames that differ only there
// are different frames.
TEST(BitmapsEqual, PartialBytesOfSmallFormats) {
    struct Case {
        PixelFormat format;
        int width;
        int rowBytes;
        int lastX;
    };
    for (const Case& c : {Case{PixelFormat::Bit1, 7, 0, 6}, Case{PixelFormat::Bit1, 9, 1, 8},
                          Case{PixelFormat::Bit4, 3, 1, 2}, Case{PixelFormat::Bit8, 3, 3, 2},
                          Case{PixelFormat::Bit16, 3, 6, 2}, Case{PixelFormat::Bit32, 3, 12, 2}}) {
        Bitmap a(c.width, 2, c.format);
        EXPECT_EQ(rowByteCount(a), c.rowBytes) << c.width;
        Bitmap b = a;
        b.fillRect({c.lastX, 1, c.lastX + 1, 2}, {255, 255, 255});
        EXPECT_FALSE(bitmapsEqual(a, b)) << bitsPerPixel(c.format) << " bits, width " << c.width;
        Bitmap padded = a;
        if (c.format == PixelFormat::Bit1 && c.width == 9) {
            padded.scanLine(0)[1] |= 0x01; // a padding bit after the ninth pixel
            EXPECT_TRUE(bitmapsEqual(a, padded));
        }
    }
    EXPECT_EQ(rowByteCount(Bitmap(4, 1, PixelFormat::Device)), 0);
}
