// The headless watch of many links: a fixed set of fetching threads takes links as they fall
// due, the one waiting longest first; each fetch has its deadline, so no camera holds a thread
// for good, and links that fail back off and may take at most half of the threads. New pictures
// are archived as sent; an index of the archive, read once in the background, lets retention
// cost only what it deletes; the digest of each link's last picture is kept in a state file.
// Results and notices go to the sinks the owner sets; the status page reads snapshots.
#pragma once

#include "core/watch/ArchiveIndex.h"
#include "core/watch/CameraStates.h"
#include "core/watch/CaptureHours.h"
#include "core/watch/LinkFetch.h"
#include "core/watch/LinkSchedule.h"
#include "core/watch/LinkStateFile.h"
#include "core/watch/WatchState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kestrix {

struct WatcherSettings {
    std::string saveDir;
    int parallel = 16;
    LinkFetchSettings fetch; // its saveDir is set from the one above
    RetentionRule retention;
    std::chrono::seconds retentionEvery{60};
    std::chrono::seconds stateEvery{5};
    // Outside them nothing is fetched; a link's status reads "outside hours" meanwhile.
    CaptureHours hours;
    CameraRules cameras;
};

class Watcher {
public:
    // Called on the fetching threads, one call at a time, in the order fetches end.
    using ResultSink = std::function<void(const WatchedLink&, const LinkFetchResult&)>;
    // Retention's deletions and other events worth a line of the log.
    using RetentionSink = std::function<void(const RetentionResult&, const RetentionFigures&)>;
    // A camera that went up, down or stale; called like the result sink, one call at a time.
    using EventSink = std::function<void(const CameraEvent&)>;

    Watcher(std::vector<WatchedLink> links, WatcherSettings settings);
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    void onResult(ResultSink sink) { resultSink_ = std::move(sink); }
    void onRetention(RetentionSink sink) { retentionSink_ = std::move(sink); }
    void onEvent(EventSink sink) { eventSink_ = std::move(sink); }

    void start();
    // Cancels the transfers in flight, writes the state file and ends every thread.
    void stop();

    const std::string& saveDir() const { return settings_.saveDir; }
    // The archive's pictures, for the archive's pages; complete once its first scan has ended.
    const ArchiveIndex& archiveIndex() const { return index_; }
    WatchSnapshot snapshot() const;
    // For probes: the housekeeping thread is alive and the fetching threads are not all stuck.
    // `why` says what is wrong.
    bool healthy(std::string& why) const;

private:
    using Clock = std::chrono::steady_clock;

    struct Slot {
        LinkFetcher fetcher;
        LinkSchedule schedule;
        bool busy = false;
        bool recovered = false; // the last picture before a restart is known
        bool outsideHours = false;
        std::optional<CameraTracker> camera = std::nullopt; // made at start, from the states kept
        // How far into the capture hours the link's first fetch falls, so that many links do
        // not all start in their first second.
        Clock::duration resumeOffset{};
    };

    void work();
    // The due link to fetch next, marked busy; none once stopped. Waits while nothing is due.
    std::optional<size_t> takeDueLink();
    // Holds the links that are due while the capture hours are closed until they open.
    void pauseOutsideHours(Clock::time_point now);
    // Without a client, the fetch fails with `clientError`.
    void fetchLink(HttpClient* client, const std::string& clientError, size_t index);
    void finish(size_t index, const LinkFetchResult& result, Clock::time_point started);
    void startCameras();
    void cameraChanged(size_t index, const CameraEvent& event);
    // Cameras that stopped bringing new pictures between their fetches.
    void checkStaleCameras();
    void housekeep();
    void retainIfDue(Clock::time_point now, Clock::time_point& next);
    void saveStateIfDue(bool force);

    WatcherSettings settings_;
    std::vector<Slot> slots_;
    WatchState state_;
    ArchiveIndex index_;
    LinkState savedState_;
    ResultSink resultSink_;
    RetentionSink retentionSink_;
    EventSink eventSink_;
    CameraRecords cameraRecords_; // under stateMutex_, written with the state

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable wake_;      // fetching threads
    std::condition_variable housekeep_; // the housekeeping thread, at stop
    // Idle links by when they are due.
    std::set<std::pair<Clock::time_point, size_t>> idle_;
    int failingBusy_ = 0;

    std::mutex resultMutex_;
    std::mutex stateMutex_; // savedState_ and its writing
    bool stateDirty_ = false;
    bool camerasDirty_ = false;
    Clock::time_point stateWritten_;
    RetentionFigures retention_;
    std::atomic<int64_t> heartbeat_{0}; // steady seconds of housekeeping's last round

    std::vector<std::thread> workers_;
    std::thread scanner_;
    std::thread housekeeper_;
};

} // namespace kestrix
