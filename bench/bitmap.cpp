// Bitmap basics: BMP writing and reading, and conversion of palette frames to 24 bits.
#include "core/image/BmpCodec.h"

#include <benchmark/benchmark.h>

using namespace kestrix;

namespace {

Bitmap makeFrame(int w, int h, PixelFormat format) {
    Bitmap b(w, h, PixelFormat::Bit24);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = b.scanLine(y);
        for (int x = 0; x < w * 3; ++x)
            row[x] = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
    }
    b.setPixelFormat(format);
    return b;
}

void BM_WriteBmp24(benchmark::State& state) {
    Bitmap b = makeFrame(4000, 3000, PixelFormat::Bit24);
    for (auto _ : state)
        benchmark::DoNotOptimize(writeBmp(b));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(b.pixelBytes().size()));
}

void BM_ReadBmp24(benchmark::State& state) {
    std::string file = writeBmp(makeFrame(4000, 3000, PixelFormat::Bit24));
    Bitmap out;
    for (auto _ : state)
        readBmp(file, out);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}

void BM_Convert8To24(benchmark::State& state) {
    Bitmap frame = makeFrame(640, 480, PixelFormat::Bit8);
    for (auto _ : state) {
        Bitmap copy = frame;
        copy.convertTo24();
        benchmark::DoNotOptimize(copy.scanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
}

} // namespace

BENCHMARK(BM_WriteBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert8To24)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
