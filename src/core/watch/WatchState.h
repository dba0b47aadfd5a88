// What a multi-link watch knows and shows: each link's last outcome, its last new picture and
// how its fetches are going, and the watch's own figures (fetches started on time, retention).
// Shared between the fetching threads, retention and the status page; snapshots are copies.
#pragma once

#include "core/watch/LinkFetch.h"
#include "core/watch/PictureArchive.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace kestrix {

struct LinkStatus {
    std::string link;      // "Folder/Link"
    std::string directory; // its folder in the archive
    std::string url;       // last expanded address, without credentials
    std::string status = "waiting";
    std::string error;
    std::time_t lastNew = 0;
    std::string latest; // the latest picture, relative to the save folder
    int failuresInARow = 0;
    std::string camera = "up"; // up, down or stale
    std::time_t cameraSince = 0;
    // Since the start: fetches by their outcome and the bytes received.
    uint64_t newPictures = 0, duplicates = 0, errors = 0;
    uint64_t bytes = 0;
};

// Counts of observations at or below each bound, and their sum, as Prometheus keeps histograms.
struct Histogram {
    std::vector<double> bounds;
    std::vector<uint64_t> counts; // one per bound, then one for all (+Inf)
    double sum = 0;
    explicit Histogram(std::vector<double> upperBounds = {});
    void observe(double value);
};

struct RetentionFigures {
    bool indexReady = false; // the archive has been read once
    uint64_t files = 0;      // pictures in the archive
    uint64_t bytes = 0;
    uint64_t runs = 0;
    uint64_t deletedFiles = 0; // since the start
    uint64_t deletedBytes = 0;
    std::time_t lastRun = 0;
};

struct WatchFigures {
    uint64_t fetches = 0;
    // Fetches of links that had not failed, and how many of them started a second or more after
    // they were due.
    uint64_t rhythmFetches = 0;
    uint64_t lateStarts = 0;
    int busy = 0; // transfers in flight
    int slots = 0;
    // The last time a fetch ended; 0 before the first.
    std::time_t lastFetchEnded = 0;
    Histogram fetchSeconds;
    Histogram startLagSeconds; // how late fetches started after they were due
};

struct WatchSnapshot {
    std::vector<LinkStatus> links;
    WatchFigures watch;
    RetentionFigures retention;
};

class WatchState {
public:
    explicit WatchState(const std::vector<WatchedLink>& links, int slots);

    void fetchStarted(std::chrono::steady_clock::duration late, bool onRhythm);
    void record(size_t index, const LinkFetchResult& result, const std::string& saveDir,
                int failuresInARow, std::chrono::steady_clock::duration took);
    void setCamera(size_t index, const char* state, std::time_t since);
    void setRetention(const RetentionFigures& figures);
    WatchSnapshot snapshot() const;

private:
    mutable std::mutex mutex_;
    WatchSnapshot state_;
};

} // namespace kestrix
