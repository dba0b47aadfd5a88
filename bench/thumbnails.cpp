// What a thumbnail costs the watch, beside the fetch it follows. CPU of the calling thread per new
// picture, on one thread (KESTRIX_THREADS=1), for camera-like JPEGs of three sizes:
//   fetch      LinkFetcher::fetch from a server on loopback: the transfer, the decode, the digest,
//              the archived file (synced) - the watch's work for a new picture without thumbnails
//   thumbnail  writeThumbnail from the picture the fetch has decoded - what the watch adds
//   lazy       makeThumbnail from the archived file - an old picture, when a page asks
//   bench_thumbnails [ROUNDS]   (default 30)
#include "core/watch/Thumbnails.h"

#include "BenchServer.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/util/FileIO.h"
#include "core/watch/LinkFetch.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

using namespace kestrix;
namespace fs = std::filesystem;
using kestrix::bench::BenchServer;

namespace {

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A picture a camera might send: a detailed scene, JPEG at quality 85.
std::string cameraJpeg(int width, int height, const std::string& folder) {
    const std::string path = folder + "/camera.jpg";
    saveJpegFile(test::detailedFrame(width, height, 7), path, 85);
    std::string bytes = readFileBytes(path);
    fs::remove(path);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    setenv("KESTRIX_THREADS", "1", 1);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    test::TempDir dir("bench-thumbs");
    std::printf("%-10s %8s %10s %12s %12s %10s %12s\n", "picture", "KB", "fetch ms", "thumbnail ms",
                "share", "lazy ms", "thumb KB");
    for (const auto& [width, height] : {std::pair{640, 480}, {1280, 720}, {1920, 1080}}) {
        const std::string body = cameraJpeg(width, height, dir.path());
        const BenchServer server("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n\r\n" + body);
        WatchedLink link;
        link.name = link.path = link.directory = "cam" + std::to_string(width);
        link.address = server.url("/cam.jpg");
        LinkFetcher fetcher(link);
        LinkFetchSettings settings;
        settings.saveDir = dir.path();
        HttpClient client;
        applyImageFetchSettings(client);
        const std::atomic<bool> stop{false};
        Bitmap picture;
        decodeImage(body, "cam.jpg", picture, nullptr, true);

        std::vector<double> fetch, thumbnail, lazy;
        std::string relative;
        for (int round = 0; round < rounds; ++round) {
            fetcher.setLastDigest({}); // every fetch a new picture
            double start = threadCpu();
            const LinkFetchResult result = fetcher.fetch(client, settings, stop);
            fetch.push_back(threadCpu() - start);
            if (result.status != FetchStatus::New) {
                std::fprintf(stderr, "fetch failed: %s\n", result.error.c_str());
                return 1;
            }
            relative = link.directory + "/" + fs::path(result.file).filename().string();
            start = threadCpu();
            if (!writeThumbnail(dir.path(), relative, picture))
                return 1;
            thumbnail.push_back(threadCpu() - start);
            fs::remove(thumbnailPath(dir.path(), relative));
            start = threadCpu();
            if (!makeThumbnail(dir.path(), relative))
                return 1;
            lazy.push_back(threadCpu() - start);
        }
        const double f = median(fetch), t = median(thumbnail), l = median(lazy);
        std::printf("%4dx%-5d %8.0f %10.2f %12.3f %11.1f%% %10.2f %12.1f\n", width, height,
                    static_cast<double>(body.size()) / 1024, f * 1e3, t * 1e3, 100 * t / f, l * 1e3,
                    static_cast<double>(fs::file_size(thumbnailPath(dir.path(), relative))) / 1024);
    }
    return 0;
}
