#include "core/watch/WatchState.h"

#include <algorithm>

namespace kestrix {

namespace {

std::chrono::duration<double> seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration_cast<std::chrono::duration<double>>(d);
}

} // namespace

Histogram::Histogram(std::vector<double> upperBounds)
    : bounds(std::move(upperBounds)), counts(bounds.size() + 1, 0) {}

void Histogram::observe(double value) {
    for (size_t i = 0; i < bounds.size(); ++i)
        if (value <= bounds[i])
            ++counts[i];
    ++counts.back();
    sum += value;
}

WatchState::WatchState(const std::vector<WatchedLink>& links, int slots) {
    state_.watch.fetchSeconds = Histogram({0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60});
    state_.watch.startLagSeconds = Histogram({0.01, 0.1, 0.5, 1, 2, 5, 10, 30, 60, 300});
    for (const WatchedLink& link : links) {
        LinkStatus status;
        status.link = link.path;
        status.directory = link.directory;
        status.url = withoutCredentials(link.address);
        state_.links.push_back(std::move(status));
    }
    state_.watch.slots = slots;
}

void WatchState::fetchStarted(std::chrono::steady_clock::duration late, bool onRhythm) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++state_.watch.fetches;
    ++state_.watch.busy;
    state_.watch.startLagSeconds.observe(std::max(0.0, seconds(late).count()));
    if (onRhythm) {
        ++state_.watch.rhythmFetches;
        if (late >= std::chrono::seconds(1))
            ++state_.watch.lateStarts;
    }
}

void WatchState::record(size_t index, const LinkFetchResult& result, const std::string& saveDir,
                        int failuresInARow, std::chrono::steady_clock::duration took) {
    const std::lock_guard<std::mutex> lock(mutex_);
    --state_.watch.busy;
    state_.watch.lastFetchEnded = result.time;
    state_.watch.fetchSeconds.observe(seconds(took).count());
    LinkStatus& s = state_.links.at(index);
    s.bytes += static_cast<uint64_t>(std::max<int64_t>(result.bytes, 0));
    ++(result.status == FetchStatus::New         ? s.newPictures
       : result.status == FetchStatus::Duplicate ? s.duplicates
                                                 : s.errors);
    s.url = result.url;
    s.status = fetchStatusName(result.status);
    s.error = result.error;
    s.failuresInARow = failuresInARow;
    if (result.status == FetchStatus::New) {
        s.lastNew = result.time;
        s.latest = result.file.substr(std::min(result.file.size(), saveDir.size() + 1));
    }
}

void WatchState::setCamera(size_t index, const char* state, std::time_t since) {
    const std::lock_guard<std::mutex> lock(mutex_);
    state_.links.at(index).camera = state;
    state_.links.at(index).cameraSince = since;
}

void WatchState::setRetention(const RetentionFigures& figures) {
    const std::lock_guard<std::mutex> lock(mutex_);
    state_.retention = figures;
}

WatchSnapshot WatchState::snapshot() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

} // namespace kestrix
