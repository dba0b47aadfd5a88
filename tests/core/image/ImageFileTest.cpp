// Pictures written as PNG and JPEG, read back by our decoders and by PIL.
#include "core/image/ImageFile.h"

#include "core/decode/ImageDecoder.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// Every pixel as red, green, blue bytes, top row first.
std::string rgbOf(const Bitmap& bitmap) {
    std::string out;
    std::vector<uint8_t> row(static_cast<size_t>(bitmap.width()) * 3);
    for (int y = 0; y < bitmap.height(); ++y) {
        bitmap.readRow24(y, row.data());
        for (size_t x = 0; x < row.size(); x += 3)
            out += {static_cast<char>(row[x + 2]), static_cast<char>(row[x + 1]),
                    static_cast<char>(row[x])};
    }
    return out;
}

Bitmap decodeFile(const std::string& path) {
    Bitmap bitmap;
    decodeImage(readFileBytes(path), path, bitmap, nullptr);
    return bitmap;
}

// PIL's reading of the file: "WIDTH HEIGHT MODE" and the RGB bytes written to `rgbPath`.
std::string pilRead(const std::string& path, const std::string& rgbPath) {
    const CommandResult r =
        runCommand("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + path +
                   "'); print(im.width, im.height, im.mode); open('" + rgbPath +
                   "', 'wb').write(im.convert('RGB').tobytes())\" 2>&1");
    return r.out;
}

double psnr(const std::string& a, const std::string& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
        sum += d * d;
    }
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

Bitmap inFormat(PixelFormat format, int width, int height) {
    Bitmap b = detailedFrame(width, height, 3);
    b.setPixelFormat(format);
    return b;
}

} // namespace

TEST(ImageFile, PngKeepsEveryPixelOfEveryFormat) {
    TempDir dir("png");
    const std::string file = dir.file("out.png"), rgb = dir.file("rgb");
    const std::pair<PixelFormat, const char*> formats[] = {
        {PixelFormat::Bit24, "RGB"}, {PixelFormat::Bit8, "P"},    {PixelFormat::Bit4, "P"},
        {PixelFormat::Bit1, "P"},    {PixelFormat::Bit16, "RGB"}, {PixelFormat::Bit32, "RGB"}};
    for (const auto& [format, mode] : formats) {
        // Odd widths put padding at the end of every row.
        const Bitmap b = inFormat(format, 37, 11);
        SCOPED_TRACE(bitsPerPixel(format));
        savePngFile(b, file);
        EXPECT_EQ(rgbOf(decodeFile(file)), rgbOf(b));
        EXPECT_EQ(pilRead(file, rgb), "37 11 " + std::string(mode) + "\n");
        EXPECT_EQ(readFile(rgb), rgbOf(b));
    }
    // An 8-bit frame with a short colour table still gives a valid file.
    Bitmap grey(5, 2, PixelFormat::Bit8);
    grey.setPalette({{0, 0, 0}, {255, 255, 255}});
    grey.scanLine(1)[3] = 1;
    savePngFile(grey, file);
    EXPECT_EQ(rgbOf(decodeFile(file)), rgbOf(grey));
}

TEST(ImageFile, JpegIsCloseToTheOriginalAtTheQualityAsked) {
    TempDir dir("jpeg");
    const std::string rgb = dir.file("rgb");
    const Bitmap b = detailedFrame(160, 90, 5);
    saveJpegFile(b, dir.file("q90.jpg"), 90);
    saveJpegFile(b, dir.file("q20.jpg"), 20);
    const Bitmap back = decodeFile(dir.file("q90.jpg"));
    ASSERT_EQ(back.width(), 160);
    EXPECT_GT(psnr(rgbOf(back), rgbOf(b)), 30.0);
    EXPECT_EQ(pilRead(dir.file("q90.jpg"), rgb), "160 90 RGB\n");
    EXPECT_GT(psnr(readFile(rgb), rgbOf(b)), 30.0);
    EXPECT_LT(std::filesystem::file_size(dir.file("q20.jpg")),
              std::filesystem::file_size(dir.file("q90.jpg")));
    EXPECT_LT(psnr(rgbOf(decodeFile(dir.file("q20.jpg"))), rgbOf(b)), psnr(rgbOf(back), rgbOf(b)));
    // A palette picture is written in colour (its colour-cube steps are hard edges for JPEG).
    const Bitmap paletted = inFormat(PixelFormat::Bit8, 40, 30);
    saveImageFile(paletted, dir.file("p.JPEG"));
    EXPECT_GT(psnr(rgbOf(decodeFile(dir.file("p.JPEG"))), rgbOf(paletted)), 24.0);
}

TEST(ImageFile, TheNameChoosesTheTypeAndFailuresKeepTheOldFile) {
    EXPECT_EQ(imageFileTypeFor("a/b.BMP"), ImageFileType::Bmp);
    EXPECT_EQ(imageFileTypeFor("x.png"), ImageFileType::Png);
    EXPECT_EQ(imageFileTypeFor("x.jpeg"), ImageFileType::Jpeg);
    EXPECT_EQ(imageFileTypeFor("x.Jpg"), ImageFileType::Jpeg);
    for (const auto& [name, message] :
         {std::pair{"x.tif", "Unknown image file type: .tif (use .bmp, .png or .jpg)"},
          std::pair{"x.png.gif", "Unknown image file type: .gif (use .bmp, .png or .jpg)"},
          std::pair{"noextension", "Unknown image file type:  (use .bmp, .png or .jpg)"}}) {
        try {
            imageFileTypeFor(name);
            ADD_FAILURE() << name;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    TempDir dir("keep");
    writeFile(dir.file("old.png"), "old");
    std::filesystem::create_directory(dir.file("folder.jpg"));
    const Bitmap b = detailedFrame(8, 8, 1);
    EXPECT_THROW(saveImageFile(b, dir.file("missing/x.png")), Error);
    EXPECT_THROW(saveImageFile(b, dir.file("folder.jpg")), Error);
    EXPECT_THROW(saveImageFile(b, dir.file("old.tif")), Error);
    EXPECT_THROW(savePngFile(Bitmap(), dir.file("old.png")), Error);
    EXPECT_EQ(readFile(dir.file("old.png")), "old");
    EXPECT_FALSE(std::filesystem::exists(dir.file("old.tif")));
}
