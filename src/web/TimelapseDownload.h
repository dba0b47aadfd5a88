// Timelapses made when a page asks for one, sent as a download:
//   /api/timelapse?link=DIR&from=T&to=T[&at=HH:MM[:SS]][&format=mp4|gif][&fps=N]
// T as `kestrix-cli timelapse` takes it (YYYY-MM-DD, YYYY-MM-DDTHH:MM[:SS]), in UTC; the span
// [from, to) of the link's pictures, or with `at` one picture a day, the nearest to that time.
// The pictures come from the archive's index, so a span costs what it holds, not what the folder
// holds. Movies are made one at a time on a thread of their own at the lowest priority, into a
// private temporary folder that is gone once the answer is ready, whatever happened. A few
// requests may wait their turn for a while; the rest are answered 503 at once.
#pragma once

#include "core/watch/Timelapse.h"
#include "web/ArchiveFiles.h"
#include "web/ArchiveView.h"
#include "web/PageServer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kestrix::web {

constexpr const char* kTimelapsePath = "/api/timelapse";

struct TimelapseLimits {
    // Frames of one movie: a day of a camera every ten seconds.
    size_t maxPictures = 8640;
    // Days a span may cover; one picture a day (at=) is bounded by maxPictures alone.
    int maxDays = 366;
    // Requests waiting behind the one being made, each for at most `longestWait`.
    size_t maxWaiting = 2;
    std::chrono::milliseconds longestWait{60000};
    // A larger movie is stopped as soon as it passes this and refused: the reply is held whole.
    uint64_t maxMovieBytes = kWholeMovieBytes;
    // Where the private folders go; "" is the system's temporary folder (TMPDIR).
    std::string temporaryRoot;
};

// For tests: `making` runs on the making thread before each movie; `waiting` gets the number of
// requests waiting each time one joins them behind a movie being made (the queue's lock held).
struct TimelapseHooks {
    std::function<void()> making;
    std::function<void(size_t waiting)> waiting;
};

class TimelapseDownload {
public:
    explicit TimelapseDownload(TimelapseLimits limits = {}, TimelapseHooks hooks = {});
    // Joins the making thread. No answer() may still run: the server is stopped first.
    ~TimelapseDownload();
    // Before the server stops: the movie being made is given up at its next frame and every
    // request, waiting or new, is answered 503 at once, so that stopping never waits for them.
    void stop();
    TimelapseDownload(const TimelapseDownload&) = delete;
    TimelapseDownload& operator=(const TimelapseDownload&) = delete;

    // The reply to a request for kTimelapsePath; on any of the server's handler threads, which it
    // holds until the movie is sent or refused.
    PageReply answer(const SiteSources& sources, const PageRequest& request);

    // Handler threads the downloads may hold at once: the one whose movie is being made and
    // those waiting.
    int threadsHeld() const { return 1 + static_cast<int>(limits_.maxWaiting); }

private:
    struct Job;

    PageReply queueAndWait(const std::shared_ptr<Job>& job);
    void makeInTurn();
    PageReply make(const Job& job) const;

    const TimelapseLimits limits_;
    const TimelapseHooks hooks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Job>> waiting_;
    bool making_ = false;
    bool stopping_ = false;
    std::atomic<bool> halted_{false}; // stop() was called: the movie in progress gives up
    // Started with the first request.
    std::thread maker_;
};

} // namespace kestrix::web
