// The daily timelapses of a watch, timed: the movies of one day for the given link folders, made
// by DailyTimelapses on its own thread exactly as a watch makes them (nice 19, one core). Prints
// each movie's wall time, then the total wall time, the process's CPU time, the most threads seen
// while encoding and the peak RSS. bench/timelapse.sh builds the archive and runs it.
//   bench_timelapse_daily [--quality Q] SAVE_DIR YYYY-MM-DD FOLDER...
#include "core/util/DateTime.h"
#include "core/watch/DailyTimelapses.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace kestrix;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

size_t threadCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    DailyTimelapseSettings settings;
    if (argc > 2 && std::string(argv[1]) == "--quality") {
        settings.quality = std::atoi(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s [--quality Q] SAVE_DIR YYYY-MM-DD FOLDER...\n", argv[0]);
        return 2;
    }
    const std::optional<std::time_t> day = parseTimelapseTime(argv[2], TimeZoneChoice::Utc);
    if (!day) {
        std::fprintf(stderr, "not a day: %s\n", argv[2]);
        return 2;
    }
    settings.saveDir = argv[1];
    for (int i = 3; i < argc; ++i)
        settings.folders.emplace_back(argv[i]);
    // Noon of the day after: "yesterday" is the day asked for.
    const std::time_t noon = *day + 86400 + 43200;
    auto clock = std::make_unique<FixedClock>(25569.0 + static_cast<double>(noon) / 86400.0);

    std::mutex mutex;
    std::condition_variable changed;
    size_t reports = 0, failures = 0;
    size_t mostThreads = 0;
    const auto started = std::chrono::steady_clock::now();
    auto last = started;
    DailyTimelapses maker(settings, std::move(clock));
    maker.onReport([&](const DailyTimelapseReport& report) {
        const auto now = std::chrono::steady_clock::now();
        const std::lock_guard<std::mutex> lock(mutex);
        std::printf("%s: %d frames in %.1f s%s%s\n", report.folder.c_str(), report.frames,
                    std::chrono::duration<double>(now - last).count(),
                    report.error.empty() ? "" : ", failed: ", report.error.c_str());
        std::fflush(stdout);
        last = now;
        ++reports;
        failures += report.error.empty() ? 0 : 1;
        changed.notify_all();
    });
    maker.onFrame([&](const std::string&, int frames) {
        if (frames % 100 == 50)
            mostThreads = std::max(mostThreads, threadCount());
    });
    const double cpuBefore = cpuSeconds();
    const size_t threadsBefore = threadCount();
    maker.start();
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return reports == settings.folders.size(); });
    }
    maker.stop();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpu = cpuSeconds() - cpuBefore;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%zu movies (%zu failed) in %.1f s wall, %.1f s CPU (%.1f s wall, %.1f s CPU a "
                "movie); threads %zu before, at most %zu while encoding; peak RSS %ld MiB\n",
                reports, failures, wall, cpu, wall / static_cast<double>(reports),
                cpu / static_cast<double>(reports), threadsBefore, mostThreads,
                usage.ru_maxrss / 1024);
    return failures == 0 ? 0 : 1;
}
