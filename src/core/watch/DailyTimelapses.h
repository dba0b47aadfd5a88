// The daily timelapses of a headless watch (--daily-mp4): once a day has ended, each link's
// pictures of that day become DIR/<link>/timelapse/YYYYMMDD.mp4, one movie at a time on a thread
// of their own. That thread runs at the lowest priority (nice 19) and encodes on itself alone, so
// the fetching threads never wait for it; a stop discards the movie in progress. Only days with
// pictures and without a movie are made, and at start only the day before is caught up on, never
// the whole archive. A movie appears complete or not at all (written under a temporary name and
// renamed). The movies are not archive pictures: retention neither counts nor deletes them.
#pragma once

#include "core/movie/MovieWriter.h"
#include "core/util/Clock.h"
#include "core/watch/Timelapse.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrix {

// The quality of the daily movies: CRF 23, x264's own default. A day of camera pictures at
// `movie`'s 6500 (CRF 18) spends most of its bits and of x264's time on sensor noise: on
// bench/timelapse.sh's day it takes 4.7 times the bytes and 1.6 times the CPU for 0.4 dB more.
constexpr int kDailyTimelapseQuality = 5500;

struct DailyTimelapseSettings {
    std::string saveDir;
    // The links' folders under saveDir, as the archive names them (WatchedLink::directory).
    std::vector<std::string> folders;
    double fps = 24;
    int quality = kDailyTimelapseQuality;
    // Where days begin: UTC or the machine's local time (TZ).
    TimeZoneChoice zone = TimeZoneChoice::Utc;
    // A day's movies are begun this long after it ended, once its last pictures are surely on
    // the disk.
    std::chrono::seconds settle{120};
    // How often the thread looks whether a day has ended.
    std::chrono::seconds checkEvery{30};
};

// One movie made, or one that failed.
struct DailyTimelapseReport {
    std::string folder;
    std::string day; // YYYYMMDD
    std::string file;
    int frames = 0;
    // Pictures that could not be read and were left out, and why the first could not.
    int skipped = 0;
    std::string firstSkipped;
    // Empty when the movie was written.
    std::string error;
};

// DIR/<folder>/timelapse/YYYYMMDD.mp4 (the folder "" is DIR itself).
std::string dailyTimelapsePath(const std::string& saveDir, const std::string& folder,
                               const std::string& day);

// "2026-12-10 00:02:00 Timelapse Volcanos/Etna 20261209 1440 frames DIR/.../20261209.mp4", or
// one JSON object: {"time":...,"timelapse":{"link":...,"day":...,"frames":...,"file":...}}, with
// "skipped" when pictures were left out and "error" for a movie that failed.
std::string timelapseLogLine(const DailyTimelapseReport& report, std::time_t time, bool json);

class DailyTimelapses {
public:
    // Called on the maker's thread after each movie written or failed.
    using ReportSink = std::function<void(const DailyTimelapseReport&)>;
    // Called on the maker's thread after each frame written, with the frames of the movie so far.
    using FrameHook = std::function<void(const std::string& folder, int frames)>;

    explicit DailyTimelapses(DailyTimelapseSettings settings,
                             std::unique_ptr<Clock> clock = std::make_unique<SystemClock>());
    ~DailyTimelapses();
    DailyTimelapses(const DailyTimelapses&) = delete;
    DailyTimelapses& operator=(const DailyTimelapses&) = delete;

    // Set before start.
    void onReport(ReportSink sink) { reportSink_ = std::move(sink); }
    void onFrame(FrameHook hook) { frameHook_ = std::move(hook); }

    void start();
    // Asks the thread to end; a movie in progress is discarded at its next frame. Safe from any
    // thread, the sinks included.
    void requestStop();
    // Ends the thread (requestStop, then waits for it).
    void stop();

    // Writes one link's movie of the day beginning at `start` on the calling thread, unless it
    // exists or the day has no pictures (then: none). None too when stopped, the movie discarded.
    std::optional<DailyTimelapseReport> makeMovie(const std::string& folder, std::time_t start);

private:
    void run();
    void makeDay(std::time_t start);
    std::time_t now() const;

    DailyTimelapseSettings settings_;
    std::unique_ptr<Clock> clock_;
    ReportSink reportSink_;
    FrameHook frameHook_;

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

} // namespace kestrix
