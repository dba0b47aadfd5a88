// Retention over a large archive with the archive index: one scan at start (time and memory per
// picture), then deletions that cost what they delete.
//   bench_retention [FILES [FOLDERS]]   default 2,000,000 pictures in 200 folders under /tmp
// The pictures are sparse files of 20-200 KB (no disk blocks), one a minute per folder, all
// folders over the same minutes. The page cache stays warm from their creation: the scan time is
// the time of a recently written archive, not of a cold disk.
#include "core/watch/ArchiveIndex.h"
#include "core/watch/PictureArchive.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace kestrix;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kFirstMinute = 1793491200; // 2026-11-01 00:00:00 UTC

uint64_t pictureBytes(uint64_t folder, uint64_t minute) {
    return 20000 + (folder * 7919 + minute * 104729) % 180000;
}

std::string folderName(int folder) {
    return "Site" + std::to_string(folder / 20) + "/Cam" + std::to_string(folder);
}

// /proc/self/status's value for `key` ("VmRSS", "VmHWM") in bytes.
uint64_t statusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, key.size() + 1, key + ":") == 0)
            return std::strtoull(line.c_str() + key.size() + 1, nullptr, 10) * 1024;
    return 0;
}

double mb(uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

struct Timer {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    }
    double cpuSeconds() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

// Answers the bytes of all pictures written; false when a file could not be made.
bool makeArchive(const std::string& root, int files, int folders, uint64_t& total) {
    const int perFolder = files / folders;
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "/" + folderName(f);
        fs::create_directories(folder);
        for (int m = 0; m < perFolder; ++m) {
            const std::time_t time = kFirstMinute + 60 * static_cast<std::time_t>(m);
            std::tm utc{};
            gmtime_r(&time, &utc);
            char name[32];
            std::strftime(name, sizeof name, "/%Y%m%d-%H%M%S.jpg", &utc);
            const int fd = ::open((folder + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            const uint64_t bytes = pictureBytes(f, m);
            const bool ok = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
            if (fd >= 0)
                ::close(fd);
            if (!ok)
                return false;
            total += bytes;
        }
    }
    return true;
}

void report(const char* what, const Timer& timer, const RetentionResult& r) {
    std::printf("%s: %.3f ms wall, %.3f ms CPU, %llu deleted (%.1f MB), %llu failed\n", what,
                timer.seconds() * 1e3, timer.cpuSeconds() * 1e3,
                static_cast<unsigned long long>(r.deletedFiles), mb(r.deletedBytes),
                static_cast<unsigned long long>(r.failedFiles));
}

void measureIndex(const std::string& root, int folders) {
    ArchiveIndex index;
    const uint64_t before = statusBytes("VmRSS");
    const Timer scanTimer;
    index.scan(root, std::atomic<bool>{false});
    const double scanSeconds = scanTimer.seconds();
    const double scanCpu = scanTimer.cpuSeconds();
    const uint64_t after = statusBytes("VmRSS");
    std::printf("scan: %.2f s wall, %.2f s CPU, %llu pictures, %.1f MB\n", scanSeconds, scanCpu,
                static_cast<unsigned long long>(index.fileCount()), mb(index.totalBytes()));
    std::printf("RSS before scan %.1f MB, after %.1f MB, peak %.1f MB: %.1f bytes a picture\n",
                mb(before), mb(after), mb(statusBytes("VmHWM")),
                static_cast<double>(after - before) / static_cast<double>(index.fileCount()));

    // One day after the fifth minute: the first five minutes of every folder are too old.
    const std::time_t now = kFirstMinute + 5 * 60 + 86400;
    const Timer byAge;
    report("apply by age", byAge, index.apply({1, 0}, now));

    // The next five minutes of every folder are what must go to meet the byte limit.
    uint64_t nextFive = 0;
    for (int f = 0; f < folders; ++f)
        for (int m = 5; m < 10; ++m)
            nextFive += pictureBytes(f, m);
    const Timer bySize;
    report("apply by size", bySize, index.apply({0, index.totalBytes() - nextFive}, now));

    const int kCalls = 1000;
    const Timer idle;
    RetentionResult r;
    for (int i = 0; i < kCalls; ++i)
        r = index.apply({1, 2 * index.totalBytes()}, now);
    std::printf("apply deleting nothing: %.2f us wall, %.2f us CPU each (%llu deleted)\n",
                idle.seconds() * 1e6 / kCalls, idle.cpuSeconds() * 1e6 / kCalls,
                static_cast<unsigned long long>(r.deletedFiles));
}

} // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 2000000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 200;
    if (files <= 0 || folders <= 0 || files < folders) {
        std::fprintf(stderr, "usage: bench_retention [FILES [FOLDERS]]\n");
        return 1;
    }
    struct statvfs disk {};
    if (::statvfs("/tmp", &disk) != 0 || disk.f_favail < static_cast<fsfilcnt_t>(files) * 2) {
        std::fprintf(stderr, "not enough free inodes in /tmp for %d files\n", files);
        return 1;
    }
    char tmpl[] = "/tmp/kestrix-bench-retention-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const std::string root = tmpl;
    uint64_t total = 0;
    const Timer making;
    const bool made = makeArchive(root, files, folders, total);
    std::printf("made %d pictures in %d folders (%.1f GB apparent) in %.1f s\n", files, folders,
                mb(total) / 1024, making.seconds());
    if (made) {
        measureIndex(root, folders);
    }
    const Timer removing;
    std::error_code ec;
    fs::remove_all(root, ec);
    std::printf("removed in %.1f s\n", removing.seconds());
    return made && !ec ? 0 : 1;
}
