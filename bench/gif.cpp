// Animated GIF export: 100 photo-like frames of 640 x 480 and one frame of 1920 x 1080, beside
// ffmpeg (palettegen/paletteuse without dithering), ImageMagick (-colors 256 +dither) and
// Python's PIL (quantize with FASTOCTREE, then save_all) on the same frames in the same run.
#include "BenchSupport.h"
#include "core/frames/BitmapList.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/image/BmpCodec.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace kestrix;

namespace {

const std::string kDir = "/tmp/kestrix-bench-gif";

Bitmap photo(int w, int h, int t) {
    Bitmap b(w, h);
    uint32_t seed = 99 + static_cast<uint32_t>(t);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525 + 1013904223;
            const int noise = static_cast<int>(seed >> 28) - 8;
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] =
                static_cast<uint8_t>(120 + 80 * std::cos((x + 3 * t) / 45.0 - y / 150.0) + noise);
            p[1] = static_cast<uint8_t>(120 + 90 * std::sin((x + y + 5 * t) / 110.0) + noise);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin(x / 80.0) * std::cos((y - t) / 60.0));
        }
    return b;
}

// The frames of one case, written once as BMP files for the other tools.
const FrameStore& frames(int count, int w, int h) {
    static FrameStore many, one;
    FrameStore& list = count == 1 ? one : many;
    if (list.count() == 0) {
        const std::string dir = kDir + "/" + std::to_string(count);
        std::system(("mkdir -p " + dir).c_str());
        for (int i = 0; i < count; ++i) {
            list.add(photo(w, h, i));
            writeFileAtomically(dir + strPrintf("/f%03d.bmp", i), writeBmp(*list.get(i)));
        }
    }
    return list;
}

void BM_ExportGif(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const FrameStore& list = count == 1 ? frames(1, 1920, 1080) : frames(100, 640, 480);
    for (auto _ : state)
        exportAnimatedGif(kDir + "/ours.gif", list, 100, nullptr);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(count),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// A whole command; best of three.
void timeCommand(benchmark::State& state, const std::string& command) {
    if (state.range(0) == 1)
        frames(1, 1920, 1080);
    else
        frames(100, 640, 480);
    bench::timeCommandIterations(state, command, 3);
}

void BM_Ffmpeg(benchmark::State& state) {
    const std::string dir = kDir + "/" + std::to_string(state.range(0));
    timeCommand(state, "ffmpeg -y -loglevel error -framerate 10 -i " + dir +
                           "/f%03d.bmp -vf \"split[a][b];[a]palettegen[p];[b][p]paletteuse="
                           "dither=none\" " +
                           kDir + "/ffmpeg.gif");
}

void BM_ImageMagick(benchmark::State& state) {
    const std::string dir = kDir + "/" + std::to_string(state.range(0));
    timeCommand(state, "MAGICK_THREAD_LIMIT=1 /usr/bin/convert -delay 10 " + dir +
                           "/f*.bmp -colors 256 +dither " + kDir + "/magick.gif");
}

// PIL in its own process, timed inside Python so that start-up and reading do not count.
void BM_Pil(benchmark::State& state) {
    const std::string dir = kDir + "/" + std::to_string(state.range(0));
    frames(static_cast<int>(state.range(0)), state.range(0) == 1 ? 1920 : 640,
           state.range(0) == 1 ? 1080 : 480);
    const std::string script =
        "import glob,time\nfrom PIL import Image\n"
        "ims=[Image.open(f).convert('RGB') for f in sorted(glob.glob('" +
        dir +
        "/f*.bmp'))]\n"
        "t=time.perf_counter()\n"
        "q=[im.quantize(256,method=Image.Quantize.FASTOCTREE) for im in ims]\n"
        "q[0].save('" +
        kDir +
        "/pil.gif',save_all=True,append_images=q[1:],duration=100,loop=0)\n"
        "print(time.perf_counter()-t)\n";
    bench::timePythonIterations(state, script);
}

} // namespace

BENCHMARK(BM_ExportGif)->Arg(100)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ffmpeg)->Arg(100)->Arg(1)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_ImageMagick)
    ->Arg(100)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pil)->Arg(100)->Arg(1)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
