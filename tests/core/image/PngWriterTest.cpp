// PNG files as we write them, on camera pictures: every pixel kept, for our decoder and for PIL,
// in files no larger than libpng made them with zlib's level 3 and the Sub and Up filters.
#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/util/FileIO.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// Writes camera pictures into argv[1] as NAME.png (level 1, any filters) and prints "NAME SIZE"
// lines, SIZE being the file libpng 1.6 wrote before: each row filtered with Sub or Up, whichever
// leaves the smaller sum of residues as signed bytes (Sub on a tie, zeros above the first row),
// zlib's level 3 with the filtered strategy, IDAT chunks of 8 KiB. With the machine's zlib this
// gives libpng's sizes to the byte.
constexpr const char* kCameraPictures = R"PY(
import sys, zlib
import numpy as np
from PIL import Image, ImageDraw, ImageFilter
out = sys.argv[1]
rng = np.random.default_rng(31)

def scene(w, h, noise):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    f = 120 + 60 * np.sin(x / 70.0)[..., None] * np.cos(y / 55.0)[..., None] \
        + 25 * np.sin(x / 6.0 + y / 9.0)[..., None] * np.array([1, 0.7, 0.4])
    return np.clip(f + rng.normal(0, noise, (h, w, 3)), 0, 255).astype(np.uint8)

def photo(w, h, noise):
    low = Image.fromarray(rng.integers(0, 256, (h // 40, w // 40, 3), dtype=np.uint8))
    smooth = np.asarray(low.resize((w, h), Image.BICUBIC), dtype=np.int16)
    return np.clip(smooth + rng.normal(0, noise, (h, w, 3)), 0, 255).astype(np.uint8)

def webcam(w, h, quality):
    y = np.linspace(0, 1, h)[:, None]
    sky = np.stack([90 + 80 * y, 140 + 70 * y, 220 - 30 * y], axis=2) * np.ones((1, w, 1))
    im = Image.fromarray(sky.astype(np.uint8))
    d = ImageDraw.Draw(im)
    hills = [(x, int(h * 0.6 + 20 * np.sin(x / 45.0))) for x in range(0, w + 10, 10)]
    d.polygon([(0, h)] + hills + [(w, h)], fill=(60, 110, 50))
    for i in range(12):
        x0, bw, bh = int(rng.integers(0, w - 60)), int(rng.integers(20, 80)), int(rng.integers(30, h // 2))
        d.rectangle((x0, h - bh, x0 + bw, h), fill=tuple(int(v) for v in rng.integers(80, 200, 3)))
        for wy in range(h - bh + 6, h - 6, 14):
            for wx in range(x0 + 4, x0 + bw - 6, 10):
                lit = rng.random() < 0.4
                d.rectangle((wx, wy, wx + 4, wy + 7), fill=(230, 220, 120) if lit else (40, 40, 60))
    d.rectangle((0, 0, 230, 16), fill=(0, 0, 0))
    d.text((4, 3), "CAM 3  2026-03-14 12:34:56", fill=(255, 255, 255))
    noisy = np.clip(np.asarray(im).astype(np.int16) + rng.normal(0, 2.5, (h, w, 3)), 0, 255)
    Image.fromarray(noisy.astype(np.uint8)).filter(ImageFilter.GaussianBlur(0.6)).save(
        out + "/camera.jpg", quality=quality)
    return np.asarray(Image.open(out + "/camera.jpg").convert("RGB"))

def libpng_size(rgb):
    h, w, _ = rgb.shape
    rows = rgb.reshape(h, w * 3).astype(np.int16)
    above = np.vstack([np.zeros((1, w * 3), np.int16), rows[:-1]])
    left = np.hstack([np.zeros((h, 3), np.int16), rows[:, :-3]])
    sub = ((rows - left) & 0xFF).astype(np.int32)
    up = ((rows - above) & 0xFF).astype(np.int32)
    weight = lambda r: np.where(r < 128, r, 256 - r).sum(axis=1)
    use_up = weight(up) < weight(sub)
    kinds = np.where(use_up, 2, 1)[:, None]
    data = np.hstack([kinds, np.where(use_up[:, None], up, sub)]).astype(np.uint8).tobytes()
    z = zlib.compressobj(3, zlib.DEFLATED, 15, 8, zlib.Z_FILTERED)
    stream = z.compress(data) + z.flush()
    return 8 + 25 + len(stream) + 12 * ((len(stream) + 8191) // 8192) + 12

pictures = {
    "scene": scene(480, 320, 3), "photo": photo(400, 280, 2), "grainy": photo(320, 240, 6),
    "webcam85": webcam(480, 270, 85), "webcam95": webcam(640, 360, 95),
}
pictures["webcam95_smaller"] = np.asarray(
    Image.fromarray(pictures["webcam95"]).resize((480, 270), Image.LANCZOS))
for name, rgb in pictures.items():
    Image.fromarray(rgb).save(out + "/" + name + ".png", compress_level=1)
    print(name, libpng_size(rgb))
)PY";

// Prints "NAME same" for every argv[2:] NAME whose NAME.out.png PIL reads as RGB with the pixels
// of NAME.png, in folder argv[1].
constexpr const char* kSamePixels = R"PY(
import sys
import numpy as np
from PIL import Image
for name in sys.argv[2:]:
    written = Image.open(sys.argv[1] + "/" + name + ".out.png")
    source = Image.open(sys.argv[1] + "/" + name + ".png").convert("RGB")
    same = written.mode == "RGB" and np.array_equal(np.asarray(written), np.asarray(source))
    print(name, "same" if same else "different")
)PY";

std::string rgbBytesOf(const Bitmap& bitmap) {
    std::string out;
    std::vector<uint8_t> row(static_cast<size_t>(bitmap.width()) * 3);
    for (int y = 0; y < bitmap.height(); ++y) {
        bitmap.readRow24(y, row.data());
        out.append(reinterpret_cast<const char*>(row.data()), row.size());
    }
    return out;
}

Bitmap decodePngFile(const std::string& path) {
    Bitmap bitmap;
    decodeImage(readFileBytes(path), path, bitmap, nullptr);
    return bitmap;
}

std::string python(const TempDir& dir, const char* script, const std::string& args) {
    writeFile(dir.file("script.py"), script);
    const CommandResult r =
        runCommand("/usr/bin/python3 " + dir.file("script.py") + " " + args + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.out;
}

} // namespace

TEST(PngWriter, CameraPicturesKeepEveryPixelInNoLargerFiles) {
    TempDir dir("pngwriter");
    std::istringstream pictures(python(dir, kCameraPictures, dir.path()));
    std::string name;
    uintmax_t before = 0;
    std::string names;
    int count = 0;
    while (pictures >> name >> before) {
        const Bitmap source = decodePngFile(dir.file(name + ".png"));
        const std::string written = dir.file(name + ".out.png");
        savePngFile(source, written);
        EXPECT_TRUE(rgbBytesOf(decodePngFile(written)) == rgbBytesOf(source)) << name;
        EXPECT_LE(std::filesystem::file_size(written), before) << name;
        names += " " + name;
        ++count;
    }
    EXPECT_EQ(count, 6);
    std::istringstream checked(python(dir, kSamePixels, dir.path() + names));
    std::string verdict;
    int verdicts = 0;
    for (; checked >> name >> verdict; ++verdicts)
        EXPECT_EQ(verdict, "same") << name;
    EXPECT_EQ(verdicts, count);
}
