// Frames file: saving and loading 300 frames of 640 x 480, in MB/s of file written or read.
// The file lives in /tmp, so the figures are mostly the cost of our own framing and copying.
#include "core/frames/FramesFile.h"

#include "BenchFrames.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>

using namespace kestrix;

namespace {

const std::string kFile = "/tmp/kestrix-bench-frames.ifrm";

void reportBytes(benchmark::State& state) {
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(kFile)));
}

void BM_SaveFramesFile(benchmark::State& state) {
    const BitmapList& frames = bench::panningFrames(300);
    for (auto _ : state)
        saveToFile(frames, kFile, nullptr);
    reportBytes(state);
}

void BM_LoadFramesFile(benchmark::State& state) {
    saveToFile(bench::panningFrames(300), kFile, nullptr);
    BitmapList frames;
    for (auto _ : state) {
        loadFromFile(frames, kFile, nullptr);
        benchmark::DoNotOptimize(frames.count());
    }
    reportBytes(state);
}

} // namespace

BENCHMARK(BM_SaveFramesFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFramesFile)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
