#include "core/watch/WatchState.h"

#include <algorithm>

namespace kestrix {

WatchState::WatchState(const std::vector<WatchedLink>& links, int slots) {
    for (const WatchedLink& link : links) {
        LinkStatus status;
        status.link = link.path;
        status.url = withoutCredentials(link.address);
        state_.links.push_back(std::move(status));
    }
    state_.watch.slots = slots;
}

void WatchState::fetchStarted(std::chrono::steady_clock::duration late, bool onRhythm) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++state_.watch.fetches;
    ++state_.watch.busy;
    if (onRhythm) {
        ++state_.watch.rhythmFetches;
        if (late >= std::chrono::seconds(1))
            ++state_.watch.lateStarts;
    }
}

void WatchState::record(size_t index, const LinkFetchResult& result, const std::string& saveDir,
                        int failuresInARow) {
    const std::lock_guard<std::mutex> lock(mutex_);
    --state_.watch.busy;
    state_.watch.lastFetchEnded = result.time;
    LinkStatus& s = state_.links.at(index);
    s.url = result.url;
    s.status = fetchStatusName(result.status);
    s.error = result.error;
    s.failuresInARow = failuresInARow;
    if (result.status == FetchStatus::New) {
        s.lastNew = result.time;
        s.latest = result.file.substr(std::min(result.file.size(), saveDir.size() + 1));
    }
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
