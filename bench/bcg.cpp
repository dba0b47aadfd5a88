// Brightness/contrast/gamma: applyBcg on full-HD and 12-megapixel frames, with Python's PIL
// (Image.point with a lookup table) on the same sizes in the same run for comparison.
#include "core/tools/BCG.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <string>

using namespace kestrix;

namespace {

Bitmap noise(int w, int h) {
    Bitmap b(w, h, PixelFormat::Bit24);
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y)
        for (size_t x = 0; x < static_cast<size_t>(w) * 3; ++x)
            b.scanLine(y)[x] = static_cast<uint8_t>(rng());
    return b;
}

void BM_ApplyBCG(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    Bitmap source = noise(w, h), target;
    for (auto _ : state) {
        applyBcg(source, target, 0.6, 0.55, 0.45);
        benchmark::DoNotOptimize(target.scanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * int64_t{w} * h * 3);
}

// The table without vector instructions, as processors without AVX-512 run it.
void BM_LookupPortable(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    Bitmap source = noise(w, h), target = source;
    const LookupTable table = buildLookupTable(0.6, 0.55, 0.45);
    const size_t bytes = static_cast<size_t>(w) * h * 3;
    for (auto _ : state) {
        applyLookupTablePortable(table, source.scanLine(0), target.scanLine(0), bytes);
        benchmark::DoNotOptimize(target.scanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// PIL's Image.point, timed inside Python so that start-up does not count.
void BM_PilPoint(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const std::string script =
        "import timeit,os\nfrom PIL import Image\n"
        "im=Image.frombytes('RGB',(" +
        std::to_string(w) + "," + std::to_string(h) + "),os.urandom(" + std::to_string(w * h * 3) +
        "))\n"
        "lut=[min(255,int(i*1.58)) for i in range(256)]*3\n"
        "n=20\nt=timeit.timeit(lambda: im.point(lut),number=n)/n\nprint(t)\n";
    bench::timePythonIterations(state, script);
    state.SetBytesProcessed(state.iterations() * int64_t{w} * h * 3);
}

} // namespace

BENCHMARK(BM_ApplyBCG)->Args({1920, 1080})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupPortable)->Args({1920, 1080})->Args({4000, 3000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PilPoint)
    ->Args({1920, 1080})
    ->Args({4000, 3000})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
