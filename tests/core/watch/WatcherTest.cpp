// The watch in one process, without the command line: links that trickle never starve the
// others, a restart archives nothing twice, retention keeps the archive within its size.
#include "core/watch/Watcher.h"

#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using Steady = std::chrono::steady_clock;

WatchedLink link(const std::string& name, const std::string& address, int interval = 1) {
    WatchedLink l;
    l.name = name;
    l.path = "Cams/" + name;
    l.directory = "Cams/" + name;
    l.address = address;
    l.interval = interval;
    return l;
}

size_t picturesIn(const std::string& folder) {
    size_t n = 0;
    if (fs::exists(folder))
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            n += isArchivePictureName(entry.path().filename().string()) ? 1 : 0;
    return n;
}

// Requests' arrival times per path, from several servers' threads.
struct Arrivals {
    std::mutex mutex;
    std::map<std::string, std::vector<Steady::time_point>> at;
    void note(const std::string& request) {
        const size_t start = request.find(' ') + 1;
        const std::lock_guard<std::mutex> lock(mutex);
        at[request.substr(start, request.find(' ', start) - start)].push_back(Steady::now());
    }
};

} // namespace

TEST(Watcher, StuckLinksNeverStarveTheHealthyOnes) {
    Arrivals arrivals;
    ScriptedServer healthy;
    healthy.respond([&](int i, const std::string& request) {
        arrivals.note(request);
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 8, 8))));
    });
    // Each stuck camera trickles a byte every 300 ms of a body announced as 10 MB.
    std::vector<std::unique_ptr<ScriptedServer>> stuck;
    std::vector<WatchedLink> links = {link("Healthy", healthy.url("/healthy.bmp"))};
    for (int i = 0; i < 4; ++i) {
        stuck.push_back(std::make_unique<ScriptedServer>());
        stuck.back()->respond([](int, const std::string&) {
            return Reply(
                       httpResponse("200 OK", std::string(100, 'x'), {"Content-Length: 10000000"}))
                .drip(1, 300);
        });
        links.push_back(link("Stuck" + std::to_string(i), stuck.back()->url("/s.jpg")));
    }
    TempDir dir("watcher");
    WatcherSettings settings;
    settings.saveDir = dir.path();
    settings.parallel = 4;
    settings.fetch.deadline = 2s;
    Watcher watcher(links, settings);
    std::vector<std::string> errors;
    std::mutex errorsMutex;
    watcher.onResult([&](const WatchedLink& l, const LinkFetchResult& r) {
        if (l.name != "Healthy" && r.status == FetchStatus::Error) {
            const std::lock_guard<std::mutex> lock(errorsMutex);
            errors.push_back(r.error);
        }
    });
    const auto start = Steady::now();
    watcher.start();
    std::this_thread::sleep_for(8s);
    std::string why;
    EXPECT_TRUE(watcher.healthy(why)) << why;
    watcher.stop();
    EXPECT_LT(Steady::now() - start, 9s) << "stop cancels the transfers in flight at once";

    // After the first round of stuck transfers (2 s), the healthy link keeps its one-second
    // rhythm: the stuck ones, failing, may hold only half of the four threads.
    std::vector<Steady::time_point> times;
    {
        const std::lock_guard<std::mutex> lock(arrivals.mutex);
        times = arrivals.at["/healthy.bmp"];
    }
    ASSERT_GE(times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i) {
        if (times[i - 1] - start > 3s) {
            EXPECT_LT(times[i] - times[i - 1], 1300ms) << "fetch " << i;
        }
    }
    ASSERT_FALSE(errors.empty());
    for (const std::string& error : errors)
        EXPECT_TRUE(error.starts_with("Gave up after 2 s (")) << error;
    EXPECT_EQ(picturesIn(dir.file("Cams/Stuck0")), 0u);
}

// A restart, clean or after kill -9 (no state file), archives nothing already archived; a
// picture that changed while the watch was down is archived.
TEST(Watcher, ARestartArchivesNothingTwice) {
    std::atomic<int> version{0};
    ScriptedServer server;
    server.respond([&](int, const std::string& request) {
        const bool gif = request.find(".gif") != std::string::npos;
        const auto v = static_cast<uint8_t>(version.load());
        if (!gif)
            return Reply(httpResponse("200 OK", writeBmp(greyBitmap(v, 8, 8))));
        GifBuilder g(2, 1, {{0, 0, 0}, {255, 255, 255}});
        g.pixels(0, 0, 2, 1, {0, 1});
        g.pixels(1, 0, 1, 1, {static_cast<uint8_t>(v % 2)});
        return Reply(httpResponse("200 OK", g.done()));
    });
    TempDir dir("watcher");
    WatcherSettings settings;
    settings.saveDir = dir.path();
    const std::vector<WatchedLink> links = {link("Still", server.url("/still.bmp")),
                                            link("Animated", server.url("/anim.gif"))};
    const auto runFor = [&](std::chrono::milliseconds howLong) {
        Watcher watcher(links, settings);
        watcher.start();
        std::this_thread::sleep_for(howLong);
        watcher.stop();
    };
    runFor(2500ms);
    EXPECT_EQ(picturesIn(dir.path()), 2u);
    EXPECT_TRUE(fs::exists(linkStateFile(dir.path())));
    runFor(2500ms);
    EXPECT_EQ(picturesIn(dir.path()), 2u) << "a clean restart";
    fs::remove(linkStateFile(dir.path()));
    runFor(2500ms);
    EXPECT_EQ(picturesIn(dir.path()), 2u) << "a restart without the state file";
    version = 1;
    runFor(2500ms);
    EXPECT_EQ(picturesIn(dir.path()), 4u) << "what changed meanwhile is new";
}

// Retention runs on its own thread from the archive's index: the archive stays within its size
// and each run that deletes says so.
TEST(Watcher, RetentionKeepsTheArchiveWithinItsSize) {
    ScriptedServer server;
    server.respond([](int i, const std::string&) {
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 10, 10))));
    });
    TempDir dir("watcher");
    // Pictures of an earlier run, older than any new one.
    fs::create_directories(dir.file("Old"));
    for (const char* name : {"20200101-000000.bmp", "20200101-000001.bmp"})
        writeFile(dir.file(std::string("Old/") + name), std::string(500, 'o'));
    const size_t pictureBytes = writeBmp(greyBitmap(0, 10, 10)).size();
    WatcherSettings settings;
    settings.saveDir = dir.path();
    settings.retention.maxBytes = 3 * pictureBytes;
    settings.retentionEvery = 1s;
    Watcher watcher({link("A", server.url("/a.bmp")), link("B", server.url("/b.bmp"))}, settings);
    uint64_t deleted = 0;
    watcher.onRetention(
        [&](const RetentionResult& r, const RetentionFigures&) { deleted += r.deletedFiles; });
    watcher.start();
    std::this_thread::sleep_for(4500ms);
    watcher.stop();
    EXPECT_FALSE(fs::exists(dir.file("Old/20200101-000000.bmp")));
    EXPECT_GE(deleted, 4u);
    const RetentionFigures figures = watcher.snapshot().retention;
    EXPECT_TRUE(figures.indexReady);
    EXPECT_EQ(figures.deletedFiles, deleted);
    EXPECT_LE(figures.bytes, 3 * pictureBytes + 2 * pictureBytes)
        << "within the limit but for the pictures of the last second";
}

// A camera that dies for a while and comes back gives exactly the events down, then up; its
// state is kept for the next start.
TEST(Watcher, ACameraThatDiesAndComesBackIsDownThenUp) {
    std::atomic<bool> dead{false};
    std::atomic<int> served{0};
    ScriptedServer server;
    server.respond([&](int i, const std::string&) {
        if (dead)
            return Reply(httpResponse("503 Service Unavailable", "down for maintenance"));
        ++served;
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 8, 8))));
    });
    TempDir dir("watcher");
    WatcherSettings settings;
    settings.saveDir = dir.path();
    settings.cameras.downAfter = 2;
    Watcher watcher({link("Cam", server.url("/cam.bmp"))}, settings);
    std::mutex mutex;
    std::vector<std::string> events;
    watcher.onEvent([&](const CameraEvent& e) {
        const std::lock_guard<std::mutex> lock(mutex);
        events.push_back(std::string(cameraStateName(e.from)) + ">" + cameraStateName(e.to) + " " +
                         e.lastError);
    });
    watcher.start();
    std::this_thread::sleep_for(1500ms);
    dead = true;
    // Two failures one second apart, then the back-off: two seconds.
    std::this_thread::sleep_for(3500ms);
    EXPECT_EQ(watcher.snapshot().links.at(0).camera, "down");
    dead = false;
    std::this_thread::sleep_for(4000ms);
    watcher.stop();
    EXPECT_EQ(events, (std::vector<std::string>{"up>down HTTP 503 Service Unavailable",
                                                "down>up HTTP 503 Service Unavailable"}));
    EXPECT_EQ(watcher.snapshot().links.at(0).camera, "up");
    EXPECT_EQ(readCameraRecords(dir.path()).at("Cams/Cam").state, CameraState::Up);
}
