// The archive's pages, timed where a user waits for them:
//   index      the queries themselves: the summary of 1,000 folders (the overview), the days of
//              a year at one picture a minute, one day of 1,440 pictures, the nearest picture to
//              a time on each of 365 days
//   http       kestrix-cli serve over a generated archive of 1,000 links (one of them with a day
//              of 1,440 pictures), each address fetched ROUNDS times on loopback: the median and
//              the slowest of the whole answers, and their sizes
//   browser    headless Chromium: the day's page until its strip of 1,440 thumbnails and its
//              picture are on screen, counted from the navigation's start
//   bench_archive_pages [ROUNDS]   (default 20)
#include "core/image/ImageFile.h"
#include "core/net/HttpClient.h"
#include "core/util/FileIO.h"
#include "core/watch/ArchiveIndex.h"
#include "support/ArchiveBuilder.h"
#include "support/BrowserDriver.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class Work> double bestOf(int rounds, Work work) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, millisecondsSince(start));
    }
    return best;
}

void indexQueries(int rounds) {
    ArchiveIndex index;
    for (int folder = 0; folder < 1000; ++folder)
        for (int minute = 0; minute < 3; ++minute)
            index.added("Region " + std::to_string(folder / 50) + "/Cam " + std::to_string(folder),
                        archiveName(kArchiveStart + minute * 60), 50000);
    for (std::time_t t = kArchiveStart; t < kArchiveStart + 365 * 86400; t += 60)
        index.added("Year", archiveName(t), 50000);
    const std::vector<std::string> folders = index.folders();
    size_t answered = 0;
    const double summaries = bestOf(rounds, [&] {
        for (const std::string& folder : folders)
            answered += index.summary(folder).pictures;
    });
    const double days = bestOf(rounds, [&] { answered += index.days("Year").size(); });
    const double day =
        bestOf(rounds, [&] { answered += index.picturesOfDay("Year", 20270301).size(); });
    const double nearest =
        bestOf(rounds, [&] { answered += index.nearestEachDay("Year", 43200).size(); });
    std::printf("index (%zu folders, a year of %llu pictures in one): summaries of 1,000 folders "
                "%.3f ms, 365 days %.3f ms, a day of %zu pictures %.3f ms, nearest on 365 days "
                "%.3f ms\n",
                folders.size(), static_cast<unsigned long long>(index.fileCount()), summaries, days,
                index.picturesOfDay("Year", 20270301).size(), day, nearest);
    if (answered == 0)
        std::printf("(nothing answered)\n");
}

// 1,000 links of three pictures each (sparse files: the overview never reads them), and
// Region 0/Cam 0 with a day of one real picture a minute.
void makeArchive(const std::string& root) {
    for (int link = 0; link < 1000; ++link) {
        const std::string folder =
            root + "/Region " + std::to_string(link / 50) + "/Cam " + std::to_string(link);
        fs::create_directories(folder);
        for (int minute = 0; minute < 3; ++minute) {
            const std::string name = archiveName(kArchiveStart - 86400 + link * 60 + minute);
            const int fd =
                ::open((folder + "/" + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0) {
                (void)::ftruncate(fd, 50000);
                ::close(fd);
            }
        }
    }
    ArchiveBuilder pictures(root);
    pictures.addLink("Region 0/Cam 0", kArchiveStart, kArchiveStart + 86400, 60, 40);
}

pid_t startServe(const std::string& root, int port) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 2);
        const std::string address = std::to_string(port);
        execl(KESTRIX_CLI_PATH, KESTRIX_CLI_PATH, "serve", "--save-dir", root.c_str(),
              address.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

struct Timed {
    double median = 0, slowest = 0;
    size_t bytes = 0;
};

Timed timeGets(const std::string& url, int rounds) {
    std::vector<double> times;
    Timed timed;
    for (int i = 0; i < rounds; ++i) {
        HttpClient client;
        const auto start = Clock::now();
        client.get(url);
        times.push_back(millisecondsSince(start));
        timed.bytes = client.body().size();
    }
    std::sort(times.begin(), times.end());
    timed.median = times[times.size() / 2];
    timed.slowest = times.back();
    return timed;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    indexQueries(rounds);

    TempDir dir("bench-pages");
    const std::string root = dir.file("archive");
    makeArchive(root);
    const int port = closedPort();
    const pid_t serve = startServe(root, port);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    // Ready once the whole archive has been read.
    for (int i = 0; i < 400; ++i) {
        try {
            HttpClient client;
            client.get(base + "/api/links?folder=none");
            if (client.body().find("\"ready\":true") != std::string::npos)
                break;
        } catch (const std::exception&) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const std::string cam = "link=Region%200%2FCam%200";
    for (const std::string& target :
         {std::string("/"), std::string("/?page=9"), std::string("/api/links"),
          std::string("/link?dir=Region%200%2FCam%200"), std::string("/static/browse.js"),
          "/api/days?" + cam, "/api/day?" + cam + "&day=20261102",
          "/api/hour?" + cam + "&at=12:00"}) {
        try {
            const Timed t = timeGets(base + target, rounds);
            std::printf("http %-42s median %7.2f ms, slowest %7.2f ms, %8zu bytes\n",
                        target.c_str(), t.median, t.slowest, t.bytes);
        } catch (const std::exception& e) {
            std::printf("http %-42s failed: %s\n", target.c_str(), e.what());
        }
    }

    const std::string dayPage = base + "/link?dir=Region%200%2FCam%200&day=20261102&t=120000";
    const std::string ready =
        "(async () => { const strip = document.getElementById('strip');"
        " const shown = document.getElementById('shown');"
        " while (!(strip.children.length === 1440 && shown.complete && shown.naturalWidth > 0))"
        "   await new Promise((r) => setTimeout(r, 2));"
        " return performance.now().toFixed(0); })()";
    std::vector<BrowserStep> steps{viewport(1280, 800)};
    for (int i = 0; i < 5; ++i) {
        steps.push_back(go(dayPage));
        steps.push_back(evaluate(ready));
    }
    const BrowserRun run = runInBrowser(steps);
    std::printf("browser: the day's page with its 1,440 thumbnails in its strip, ms after the "
                "navigation's start:");
    for (const std::string& value : run.values)
        std::printf(" %s", value.c_str());
    std::printf("%s\n", run.status == 0 ? "" : (" (failed: " + run.errors + ")").c_str());

    kill(serve, SIGTERM);
    waitpid(serve, nullptr, 0);
    return 0;
}
