// The resampler: in-process resizes of a 2560 x 1600 photo-like image (and a 640 x 400 one
// enlarged) with Lanczos3, Mitchell and Triangle, beside Python's PIL doing the same resizes in
// its own process (timed inside Python); then whole commands on the same BMP files:
// kestrix-cli resize against ImageMagick and libvips.
#include "BenchSupport.h"
#include "core/image/BmpCodec.h"
#include "core/tools/Resampler.h"
#include "core/util/FileIO.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kestrix;

namespace {

const std::string kDir = "/tmp/kestrix-bench-resize";

// Smooth colour waves with a little noise, written once as BMP files for every tool.
const Bitmap& source(int w, int h) {
    static Bitmap big, small;
    Bitmap& b = w == 2560 ? big : small;
    if (b.empty()) {
        b = Bitmap(w, h);
        uint32_t seed = 12345;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1664525 + 1013904223;
                const int noise = static_cast<int>(seed >> 27) - 16;
                uint8_t* p = b.scanLine(y) + 3 * x;
                p[0] = static_cast<uint8_t>(128 + 80 * std::cos(x / 50.0 - y / 160.0) + noise);
                p[1] = static_cast<uint8_t>(128 + 90 * std::sin((x + y) / 120.0) + noise);
                p[2] = static_cast<uint8_t>(128 + 100 * std::sin(x / 90.0) * std::cos(y / 70.0));
            }
        std::system(("mkdir -p " + kDir).c_str());
        writeFileAtomically(kDir + "/src" + std::to_string(w) + ".bmp", writeBmp(b));
    }
    return b;
}

const char* kPilFilter[] = {"", "BILINEAR", "", "", "", "BICUBIC", "LANCZOS"};

void BM_Resize(benchmark::State& state) {
    const int sw = static_cast<int>(state.range(0)), sh = sw == 2560 ? 1600 : 400;
    const int dw = static_cast<int>(state.range(1)), dh = static_cast<int>(state.range(2));
    const int filter = static_cast<int>(state.range(3));
    const Bitmap& src = source(sw, sh);
    for (auto _ : state) {
        // The copy is the benchmark's, not the resize's: PIL resizes without touching its source.
        state.PauseTiming();
        Bitmap b = src;
        state.ResumeTiming();
        resizeBitmap(b, dw, dh, nullptr, kAllFilters[filter]);
        benchmark::DoNotOptimize(b.scanLine(0));
    }
    state.SetLabel(kFilterTable[filter].name);
}

void BM_PilResize(benchmark::State& state) {
    const int sw = static_cast<int>(state.range(0));
    const int dw = static_cast<int>(state.range(1)), dh = static_cast<int>(state.range(2));
    const int filter = static_cast<int>(state.range(3));
    source(sw, sw == 2560 ? 1600 : 400);
    const std::string script = "import timeit;from PIL import Image;im=Image.open('" + kDir +
                               "/src" + std::to_string(sw) +
                               ".bmp');im.load();"
                               "n=10;print(timeit.timeit(lambda: im.resize((" +
                               std::to_string(dw) + "," + std::to_string(dh) +
                               "),Image.Resampling." + kPilFilter[filter] + "),number=n)/n)";
    bench::timePythonIterations(state, script);
    state.SetLabel(std::string("PIL ") + kPilFilter[filter]);
}

// A whole command, best of five runs.
void timeCommand(benchmark::State& state, const std::string& command) {
    source(2560, 1600);
    bench::timeCommandIterations(state, command, 5);
}

void BM_CommandKestrix(benchmark::State& state) {
    timeCommand(state, std::string(KESTRIX_CLI_PATH) + " resize " + kDir + "/src2560.bmp " + kDir +
                           "/k.bmp 1024 640 --filter lanczos3");
}
void BM_CommandImageMagick(benchmark::State& state) {
    timeCommand(state, "MAGICK_THREAD_LIMIT=1 /usr/bin/convert " + kDir +
                           "/src2560.bmp -filter Lanczos -resize 1024x640! " + kDir + "/m.bmp");
}
void BM_CommandVips(benchmark::State& state) {
    timeCommand(state, "VIPS_CONCURRENCY=1 vips resize " + kDir + "/src2560.bmp " + kDir +
                           "/v.bmp 0.4 --kernel lanczos3");
}

void resizeArgs(benchmark::internal::Benchmark* b) {
    for (int filter : {6, 5, 1}) {
        b->Args({2560, 320, 200, filter});
        b->Args({2560, 1024, 640, filter});
        b->Args({2560, 1920, 1200, filter});
        b->Args({640, 2560, 1600, filter});
    }
}

} // namespace

BENCHMARK(BM_Resize)->Apply(resizeArgs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PilResize)
    ->Apply(resizeArgs)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandKestrix)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandImageMagick)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommandVips)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
