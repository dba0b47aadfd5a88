// PNG speed, part by part: whole decodes of a noisy photograph (Pillow's adaptive filters choose
// Paeth for most rows) and of a camera scene (mostly Up), the row filters undone by the vector
// and by the plain code, and writing a camera picture. Pillow makes the inputs at start.
#include "core/decode/ImageDecoder.h"
#include "core/decode/PngFilters.h"
#include "core/image/ImageFile.h"
#include "core/util/FileIO.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

using namespace kestrix;

namespace {

std::string folder;

const char* kScript = R"PY(
import sys
import numpy as np
from PIL import Image
out = sys.argv[1]
rng = np.random.default_rng(5)
w, h = 2560, 1600
low = Image.fromarray(rng.integers(0, 256, (h // 40, w // 40, 3), dtype=np.uint8))
smooth = np.asarray(low.resize((w, h), Image.BICUBIC), dtype=np.int16)
photo = np.clip(smooth + rng.normal(0, 2, (h, w, 3)), 0, 255).astype(np.uint8)
Image.fromarray(photo).save(out + "/photo.png")
y, x = np.mgrid[0:h, 0:w].astype(np.float32)
f = 120 + 60 * np.sin(x / 70.0)[..., None] * np.cos(y / 55.0)[..., None] \
    + 25 * np.sin(x / 6.0 + y / 9.0)[..., None] * np.array([1, 0.7, 0.4])
scene = np.clip(f + rng.normal(0, 3, (h, w, 3)), 0, 255).astype(np.uint8)
Image.fromarray(scene).save(out + "/scene.png")
)PY";

constexpr double kMegapixels = 2560 * 1600 / 1e6;

std::string path(const char* name) {
    return folder + "/" + name;
}

void BM_PngDecode(benchmark::State& state, const char* name) {
    const std::string body = readFileBytes(path(name));
    Bitmap bitmap;
    for (auto _ : state) {
        decodePng(body, bitmap);
        benchmark::DoNotOptimize(bitmap.scanLine(0));
    }
    state.counters["MP/s"] = benchmark::Counter(
        kMegapixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Undoes one filter over 64 rows of 2560 pixels; args: filter type, bytes per pixel, vector code
// (1) or plain code (0).
void BM_PngUnfilter(benchmark::State& state) {
    const auto type = static_cast<uint8_t>(state.range(0));
    const auto pixelBytes = static_cast<size_t>(state.range(1));
    const bool vector = state.range(2) != 0;
    const size_t size = 2560 * pixelBytes;
    constexpr size_t kRows = 64;
    std::vector<uint8_t> filtered(size * kRows);
    std::mt19937 random(1);
    for (uint8_t& b : filtered)
        b = static_cast<uint8_t>(random() % 7);
    std::vector<uint8_t> rows(filtered.size());
    const std::vector<uint8_t> zeros(size, 0);
    for (auto _ : state) {
        state.PauseTiming();
        rows = filtered;
        state.ResumeTiming();
        for (size_t r = 0; r < kRows; ++r) {
            uint8_t* row = rows.data() + r * size;
            const uint8_t* above = r == 0 ? zeros.data() : row - size;
            if (vector)
                unfilterPngRow(type, row, above, size, pixelBytes);
            else
                unfilterPngRowPlain(type, row, above, size, pixelBytes);
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * kRows));
}

void BM_PngWrite(benchmark::State& state, const char* name) {
    Bitmap bitmap;
    decodePng(readFileBytes(path(name)), bitmap);
    const std::string out = folder + "/written.png";
    for (auto _ : state)
        savePngFile(bitmap, out);
    state.counters["MP/s"] = benchmark::Counter(
        kMegapixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

} // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/kestrix-bench-XXXXXX";
    folder = mkdtemp(tmpl);
    writeFileAtomically(path("make.py"), kScript);
    if (std::system(("/usr/bin/python3 " + path("make.py") + " " + folder).c_str()) != 0) {
        std::cerr << "Pillow could not make the inputs\n";
        return 1;
    }
    for (const char* name : {"photo.png", "scene.png"}) {
        benchmark::RegisterBenchmark((std::string("BM_PngDecode/") + name).c_str(), BM_PngDecode,
                                     name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_PngWrite/") + name).c_str(), BM_PngWrite,
                                     name)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_PngUnfilter", BM_PngUnfilter)
        ->ArgNames({"type", "bpp", "vector"})
        ->ArgsProduct({{1, 2, 3, 4}, {3, 4, 8}, {0, 1}})
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
