// Frame comparison: frameDifference of two full-HD frames, and a flaw scan of 300 frames of
// 640 x 480 (each neighbour difference computed once).
#include "core/frames/BitmapList.h"
#include "core/tools/FrameCompare.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace kestrix;

namespace {

Bitmap noise(int w, int h, uint32_t seed) {
    Bitmap b(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (size_t x = 0; x < static_cast<size_t>(w) * 3; ++x)
            b.scanLine(y)[x] = static_cast<uint8_t>(rng());
    return b;
}

void BM_FrameDifference(benchmark::State& state) {
    Bitmap a = noise(1920, 1080, 1), b = noise(1920, 1080, 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(frameDifference(a, b));
    // Bytes of both frames read per comparison.
    state.SetBytesProcessed(state.iterations() * 2 * 1920 * 1080 * 3);
}

void BM_FlawScan(benchmark::State& state) {
    FrameStore frames;
    const Bitmap base = noise(640, 480, 3);
    for (int i = 0; i < 300; ++i) {
        Bitmap f = base;
        f.scanLine(i % 480)[i] ^= 0x40; // nearly equal neighbours, as a real camera gives
        frames.add(f);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(findFlawedFrames(frames, {0.07, true}, nullptr));
    state.counters["frames/s"] =
        benchmark::Counter(300, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_FrameDifference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlawScan)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
