// Decoding throughput in megapixels per second for the formats a camera serves, and the speed of
// the duplicate test. The inputs are generated at start into a temporary folder with Pillow and
// cjpeg; djpeg and Pillow decode the same files in the same run, for comparison.
#include "core/decode/ImageDecoder.h"
#include "core/frames/BitmapList.h"
#include "core/util/FileIO.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

using namespace kestrix;

namespace {

std::string folder;

// "make": Pillow writes the inputs; "time": Pillow times its own decoding of them in process (the
// interpreter's start is not counted), as a mean over two seconds like the benchmarks below.
const char* kScript = R"PY(
import sys, time
import numpy as np
from PIL import Image, ImageDraw
out, mode = sys.argv[1], sys.argv[2]
rng = np.random.default_rng(1)
def photo(w, h):
    low = Image.fromarray(rng.integers(0, 256, (h // 40, w // 40, 3), dtype=np.uint8))
    smooth = np.asarray(low.resize((w, h), Image.BICUBIC), dtype=np.int16)
    return Image.fromarray(np.clip(smooth + rng.normal(0, 6, (h, w, 3)), 0, 255).astype(np.uint8))
def make():
    photo(4000, 3000).save(out + "/big.ppm")
    photo(4000, 3000).save(out + "/big.bmp")
    photo(1920, 1080).save(out + "/photo.png")
    shot = Image.new("RGB", (1920, 1080), (236, 236, 236))
    draw = ImageDraw.Draw(shot)
    for i in range(400):
        x, y = int(rng.integers(0, 1800)), int(rng.integers(0, 1040))
        colour = tuple(int(v) for v in rng.integers(0, 256, 3))
        box = (x, y, x + int(rng.integers(10, 300)), y + int(rng.integers(5, 60)))
        draw.rectangle(box, fill=colour)
        draw.text((x + 3, y + 2), "Kestrix frame %d" % i, fill=(0, 0, 0))
    shot.save(out + "/screen.png")
    base = photo(640, 480).quantize(colors=256)
    frames = []
    canvas = np.asarray(base).copy()
    for i in range(100):
        x, y = int(rng.integers(0, 600)), int(rng.integers(0, 440))
        canvas[y:y + 40, x:x + 40] = rng.integers(0, 256, (40, 40))
        im = Image.fromarray(canvas.copy(), "P")
        im.putpalette(base.getpalette())
        frames.append(im)
    frames[0].save(out + "/anim.gif", save_all=True, append_images=frames[1:], duration=40,
                   loop=0)
def mean(path, frames=False):
    def once():
        im = Image.open(path)
        for i in range(im.n_frames if frames else 1):
            im.seek(i)
            im.load()
    once()
    runs, start = 0, time.perf_counter()
    while runs < 5 or time.perf_counter() - start < 2:
        once()
        runs += 1
    return (time.perf_counter() - start) / runs
if mode == "make":
    make()
else:
    for name in ("big.jpg", "photo.png", "screen.png", "anim.gif", "big.bmp"):
        print(name, mean(out + "/" + name, name.endswith(".gif")))
)PY";

struct Input {
    const char* name;
    double megapixels;
};

const Input kInputs[] = {{"big.jpg", 12.0},
                         {"photo.png", 1920 * 1080 / 1e6},
                         {"screen.png", 1920 * 1080 / 1e6},
                         {"anim.gif", 100 * 640 * 480 / 1e6},
                         {"big.bmp", 12.0}};

std::string path(const char* name) {
    return folder + "/" + name;
}

void mustRun(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "failed: " << command << "\n";
        std::exit(1);
    }
}

// djpeg's best of five runs with default settings, writing its BMP to /dev/null.
double djpegSeconds(const std::string& file) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        mustRun("djpeg -bmp -outfile /dev/null " + file);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, std::chrono::duration<double>(elapsed).count());
    }
    return best;
}

void prepareAndMeasureReferences() {
    char tmpl[] = "/tmp/kestrix-bench-XXXXXX";
    folder = mkdtemp(tmpl);
    writeFileAtomically(path("make.py"), kScript);
    // The JPEG is made by cjpeg (4:2:0, quality 90) before Pillow times its decoding.
    mustRun("/usr/bin/python3 " + path("make.py") + " " + folder + " make");
    mustRun("cjpeg -quality 90 -sample 2x2 -outfile " + path("big.jpg") + " " + path("big.ppm"));
    FILE* pipe =
        popen(("/usr/bin/python3 " + path("make.py") + " " + folder + " time").c_str(), "r");
    char name[64];
    double seconds = 0;
    std::cout << "Reference decoders on the same files (Pillow: mean; djpeg: best of 5):\n";
    while (pipe && std::fscanf(pipe, "%63s %lf", name, &seconds) == 2)
        for (const Input& input : kInputs)
            if (std::string(name) == input.name)
                std::printf("  Pillow %-11s %8.1f MP/s\n", name, input.megapixels / seconds);
    if (pipe)
        pclose(pipe);
    // A one-block JPEG shows what starting djpeg costs, apart from decoding.
    mustRun("printf 'P6\\n8 8\\n255\\n' > " + path("tiny.ppm") + " && head -c 192 /dev/zero >> " +
            path("tiny.ppm") + " && cjpeg -outfile " + path("tiny.jpg") + " " + path("tiny.ppm"));
    const double start = djpegSeconds(path("tiny.jpg"));
    const double whole = djpegSeconds(path("big.jpg"));
    std::printf("  djpeg  big.jpg     %8.1f MP/s (%.1f MP/s less its %.1f ms process start)\n\n",
                kInputs[0].megapixels / whole, kInputs[0].megapixels / (whole - start),
                start * 1000);
}

void decodeFile(benchmark::State& state, const char* name, double megapixels) {
    const std::string body = readFileBytes(path(name));
    Bitmap bitmap;
    BitmapList frames;
    for (auto _ : state) {
        decodeImage(body, name, bitmap, &frames);
        benchmark::DoNotOptimize(bitmap.scanLine(0));
    }
    state.counters["MP/s"] = benchmark::Counter(
        megapixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BitmapsEqual(benchmark::State& state) {
    Bitmap a(1920, 1080);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < 1920 * 3; ++x)
            a.scanLine(y)[x] = static_cast<uint8_t>(x ^ y);
    const Bitmap b = a;
    for (auto _ : state)
        benchmark::DoNotOptimize(bitmapsEqual(a, b));
    state.SetBytesProcessed(state.iterations() * 1920 * 1080 * 3);
}

} // namespace

int main(int argc, char** argv) {
    prepareAndMeasureReferences();
    for (const Input& input : kInputs)
        benchmark::RegisterBenchmark((std::string("BM_Decode/") + input.name).c_str(), decodeFile,
                                     input.name, input.megapixels)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
    benchmark::RegisterBenchmark("BM_BitmapsEqual/1920x1080", BM_BitmapsEqual)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
