// AVI export: 300 frames of 640 x 480 exported to a Motion JPEG AVI file at qualities 10000, 9500
// and 6500, in frames per second, beside ffmpeg encoding the same frames (fed as raw BGR through a
// pipe) with its MJPEG encoder into an AVI file in the same run: with its defaults, and at its best
// quality with full-resolution chroma, on all cores and on one. "MB" is the size of the movie.
#include "BenchFrames.h"
#include "core/movie/MovieExport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace kestrix;

namespace {

constexpr int kFrames = 300;
const std::string kDir = "/tmp/kestrix-bench-avi";

const BitmapList& frames() {
    std::filesystem::create_directories(kDir);
    return bench::panningFrames(kFrames);
}

void BM_ExportAvi(benchmark::State& state) {
    const BitmapList& list = frames();
    const int quality = static_cast<int>(state.range(0));
    const std::string out = kDir + "/kestrix.avi";
    for (auto _ : state)
        exportAvi(out, list, 10, quality, nullptr);
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
    state.SetLabel("quality " + std::to_string(quality));
}

const char* const kFfmpegOptions[] = {
    "-c:v mjpeg",
    "-c:v mjpeg -pix_fmt yuvj444p -qmin 1 -q:v 1",
    "-c:v mjpeg -pix_fmt yuvj444p -qmin 1 -q:v 1 -threads 1",
};

void BM_FfmpegMjpeg(benchmark::State& state) {
    const BitmapList& list = frames();
    const char* options = kFfmpegOptions[state.range(0)];
    const std::string out = kDir + "/ffmpeg.avi";
    const std::string command =
        "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s " + std::to_string(list.get(0)->width()) +
        "x" + std::to_string(list.get(0)->height()) + " -r 10 -i - " + options + " " + out;
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "w");
        bool ok = pipe != nullptr;
        // Rows of 640 pixels are 1920 bytes, already a multiple of 4: each frame is one block.
        for (int i = 0; ok && i < list.count(); ++i)
            ok = std::fwrite(list.get(i)->scanLine(0), list.get(i)->pixelBytes().size(), 1, pipe) ==
                 1;
        if (!pipe || pclose(pipe) != 0 || !ok) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
    state.SetLabel(options);
}

} // namespace

BENCHMARK(BM_ExportAvi)
    ->Arg(10000)
    ->Arg(9500)
    ->Arg(6500)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FfmpegMjpeg)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
