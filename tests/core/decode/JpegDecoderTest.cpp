#include "DecodeTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/util/Error.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

// A picture with edges, gradients and noise, as a binary PPM that cjpeg reads.
std::string samplePpm(int w, int h) {
    std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            const int noise = static_cast<int>((seed >> 16) & 31);
            ppm += static_cast<char>((x * 255 / w + noise) & 0xFF);
            ppm += static_cast<char>(((x / 8 + y / 8) % 2) ? 220 : 30);
            ppm += static_cast<char>((y * 255 / h) ^ noise);
        }
    return ppm;
}

Bitmap decodeJpegFile(const std::string& path) {
    Bitmap b;
    decodeJpeg(readFile(path), b);
    return b;
}

} // namespace

// Our pixels must equal djpeg's (default settings) byte for byte, for every layout cjpeg makes.
TEST(JpegDecode, MatchesDjpeg) {
    TempDir dir("jpeg");
    writeFile(dir.file("in.ppm"), samplePpm(61, 47));
    const std::vector<std::string> variants = {
        "-quality 90 -sample 2x2",
        "-quality 75 -sample 2x1",
        "-quality 95 -sample 1x1",
        "-progressive",
        "-grayscale",
        "-restart 1",
        "-restart 3B -sample 2x2",
        "-optimize -quality 50",
        "-arithmetic",
        "-progressive -grayscale",
        "-sample 1x2 -quality 85",
        "-progressive -sample 1x1",
    };
    for (size_t i = 0; i < variants.size(); ++i) {
        const std::string jpg = dir.file(std::to_string(i) + ".jpg");
        const std::string bmp = dir.file(std::to_string(i) + ".bmp");
        run("cjpeg " + variants[i] + " -outfile " + jpg + " " + dir.file("in.ppm"));
        run("djpeg -bmp -outfile " + bmp + " " + jpg);
        Bitmap reference;
        readBmp(readFile(bmp), reference);
        reference.convertTo24();
        const Bitmap ours = decodeJpegFile(jpg);
        ASSERT_EQ(ours.width(), 61) << variants[i];
        EXPECT_EQ(ours.pixelFormat(), PixelFormat::Bit24);
        EXPECT_TRUE(ours.pixelBytes() == reference.pixelBytes()) << variants[i];
    }
}

// Broken files end in an error or an image of the declared size; the library never exits.
TEST(JpegDecode, BrokenFilesNeverEndTheProcess) {
    TempDir dir("jpegbad");
    writeFile(dir.file("in.ppm"), samplePpm(40, 24));
    run("cjpeg -outfile " + dir.file("a.jpg") + " " + dir.file("in.ppm"));
    run("cjpeg -progressive -outfile " + dir.file("p.jpg") + " " + dir.file("in.ppm"));
    for (const char* name : {"a.jpg", "p.jpg"}) {
        const std::string good = readFile(dir.file(name));
        std::vector<std::string> bodies;
        for (size_t cut : {size_t{3}, size_t{20}, size_t{200}, good.size() / 2, good.size() - 2})
            bodies.push_back(good.substr(0, cut));
        // Scramble the Huffman tables (and everything else) a byte at a time.
        const size_t dht = good.find("\xFF\xC4");
        ASSERT_NE(dht, std::string::npos);
        for (size_t at = dht + 4; at < dht + 40; at += 3) {
            std::string bad = good;
            bad[at] = static_cast<char>(bad[at] ^ 0x5A);
            bodies.push_back(bad);
        }
        for (const std::string& body : bodies) {
            Bitmap b;
            try {
                decodeJpeg(body, b);
                EXPECT_EQ(b.width(), 40);
                EXPECT_EQ(b.height(), 24);
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::InvalidImage) << e.what();
                EXPECT_EQ(b.width(), 0) << "a failed decode leaves the bitmap alone";
            }
        }
    }
}

TEST(JpegDecode, NotAJpegFile) {
    Bitmap b;
    try {
        decodeJpeg("<html>not found</html>", b);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Not a JPEG file: starts with 0x3c 0x68");
    }
}

// Pillow writes CMYK JPEGs with the Adobe marker (inverted samples); pure inks must come out as
// their RGB colours.
TEST(JpegDecode, CmykBecomesRgb) {
    TempDir dir("cmyk");
    run(std::string(kPython) +
        " -c \"from PIL import Image; im = Image.new('CMYK', (24, 8)); "
        "[im.paste(c, (8 * i, 0, 8 * i + 8, 8)) for i, c in enumerate("
        "[(0, 0, 0, 0), (255, 0, 0, 0), (0, 0, 0, 255)])]; im.save('" +
        dir.file("c.jpg") + "', quality=100)\"");
    const Bitmap b = decodeJpegFile(dir.file("c.jpg"));
    const std::vector<Color> expected = {{255, 255, 255}, {0, 255, 255}, {0, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        const Color c = b.pixel(8 * i + 4, 4);
        EXPECT_NEAR(c.r, expected[i].r, 3) << i;
        EXPECT_NEAR(c.g, expected[i].g, 3) << i;
        EXPECT_NEAR(c.b, expected[i].b, 3) << i;
    }
}

// identify reads a JPEG's size from its header: the same size as decoding gives, and the same
// error for a header that is cut short or broken.
TEST(JpegDecode, HeaderSizeIsTheDecodedSize) {
    TempDir dir("jpeg");
    writeFile(dir.file("in.ppm"), samplePpm(61, 47));
    for (const char* variant : {"-quality 90", "-progressive -sample 1x1", "-grayscale"}) {
        const std::string jpg = dir.file("h.jpg");
        run("cjpeg " + std::string(variant) + " -outfile " + jpg + " " + dir.file("in.ppm"));
        const ImageSize size = readJpegSize(readFile(jpg));
        const Bitmap decoded = decodeJpegFile(jpg);
        EXPECT_EQ(size.width, decoded.width()) << variant;
        EXPECT_EQ(size.height, decoded.height()) << variant;
        for (const size_t cut : {size_t{2}, size_t{30}}) {
            const std::string body = readFile(jpg).substr(0, cut);
            std::string headerError;
            std::string decodeError;
            try {
                readJpegSize(body);
            } catch (const Error& e) {
                headerError = e.what();
            }
            try {
                Bitmap b;
                decodeJpeg(body, b);
            } catch (const Error& e) {
                decodeError = e.what();
            }
            EXPECT_FALSE(headerError.empty()) << variant << " cut at " << cut;
            EXPECT_EQ(headerError, decodeError) << variant << " cut at " << cut;
        }
    }
}

// A JPEG cut off in its picture data: shown with a grey end where that is tolerated (frames
// files, imports), an error where a complete picture is required (a fetched body).
TEST(JpegDecode, DataEndingEarlyIsAnErrorOnlyWhenTheWholePictureIsRequired) {
    TempDir dir("jpeg");
    writeFile(dir.file("in.ppm"), samplePpm(64, 48));
    run("cjpeg -quality 90 -outfile " + dir.file("whole.jpg") + " " + dir.file("in.ppm"));
    const std::string whole = readFile(dir.file("whole.jpg"));
    const std::string cut = whole.substr(0, whole.size() * 2 / 3);
    Bitmap tolerated;
    decodeJpeg(cut, tolerated);
    EXPECT_EQ(tolerated.width(), 64);
    Bitmap kept = Bitmap(3, 2);
    try {
        decodeImage(cut, "cam.jpg", kept, nullptr, true);
        ADD_FAILURE() << "a cut JPEG decoded as complete";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Image data is incomplete");
    }
    EXPECT_EQ(kept.width(), 3);
    Bitmap complete;
    decodeImage(whole, "cam.jpg", complete, nullptr, true);
    EXPECT_EQ(complete.height(), 48);
}
