#include "core/watch/Watcher.h"

#include "core/util/Error.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace kestrix {

namespace {

// How long a fetching thread may go without a fetch ending, beyond the longest deadline, before
// the watch calls itself stuck.
constexpr std::chrono::seconds kStuckMargin{30};
constexpr std::chrono::seconds kHeartbeatLimit{10};
// Links that come back into their capture hours start within this much of the opening.
constexpr std::chrono::seconds kResumeSpread{60};
// Links held outside their capture hours look at the wall clock again this often, so that a
// clock that is set or a machine that slept does not move their opening.
constexpr std::chrono::seconds kHoursRecheck{60};

int64_t steadySeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

Watcher::Watcher(std::vector<WatchedLink> links, WatcherSettings settings)
    : settings_(std::move(settings)), state_(links, std::max(1, settings_.parallel)) {
    settings_.fetch.saveDir = settings_.saveDir;
    settings_.parallel = std::max(1, settings_.parallel);
    // The first fetches are spread over each link's interval, so that a thousand links due
    // every minute do not all start in the same second.
    const auto start = Clock::now();
    for (size_t i = 0; i < links.size(); ++i) {
        const std::chrono::seconds interval(std::max(1, links[i].interval));
        const auto offset = std::chrono::duration_cast<Clock::duration>(interval) *
                            static_cast<int64_t>(i) / static_cast<int64_t>(links.size());
        slots_.push_back(
            {LinkFetcher(std::move(links[i])), LinkSchedule(interval, start + offset)});
        slots_.back().resumeOffset =
            std::chrono::duration_cast<Clock::duration>(std::min(interval, kResumeSpread)) *
            static_cast<int64_t>(i) / static_cast<int64_t>(links.size());
        idle_.emplace(start + offset, i);
    }
}

Watcher::~Watcher() {
    stop();
}

void Watcher::start() {
    std::filesystem::create_directories(settings_.saveDir);
    savedState_ = readLinkState(settings_.saveDir);
    startCameras();
    stateWritten_ = Clock::now();
    heartbeat_ = steadySeconds();
    scanner_ = std::thread([this] { index_.scan(settings_.saveDir, stop_); });
    housekeeper_ = std::thread([this] { housekeep(); });
    const auto threads = std::min<size_t>(static_cast<size_t>(settings_.parallel),
                                          std::max<size_t>(slots_.size(), 1));
    for (size_t t = 0; t < threads; ++t)
        workers_.emplace_back([this] { work(); });
}

void Watcher::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    housekeep_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
    if (housekeeper_.joinable())
        housekeeper_.join();
    if (scanner_.joinable())
        scanner_.join();
}

bool Watcher::healthy(std::string& why) const {
    if (stop_) {
        why = "the watch is stopping";
        return false;
    }
    if (steadySeconds() - heartbeat_ > kHeartbeatLimit.count()) {
        why = "the watch's housekeeping has stopped";
        return false;
    }
    const WatchSnapshot now = state_.snapshot();
    const auto longest = settings_.fetch.deadline.value_or(settings_.fetch.timeout);
    const std::time_t quiet = std::time(nullptr) - now.watch.lastFetchEnded;
    if (now.watch.busy >= now.watch.slots && now.watch.lastFetchEnded != 0 &&
        quiet > (longest + kStuckMargin).count()) {
        why = "every fetch has been stuck for " + std::to_string(quiet) + " s";
        return false;
    }
    return true;
}

void Watcher::work() {
    // One client per thread serves every link it fetches; it is made when first needed, so that
    // a process out of descriptors reports that on the link instead of losing the thread.
    std::unique_ptr<HttpClient> client;
    while (const std::optional<size_t> index = takeDueLink()) {
        std::string clientError;
        if (!client) {
            try {
                client = std::make_unique<HttpClient>();
                applyImageFetchSettings(*client);
            } catch (const std::exception& e) {
                const int number = errno;
                clientError =
                    number == EMFILE || number == ENFILE ? "Too many open files" : e.what();
                client.reset();
            }
        }
        fetchLink(client.get(), clientError, *index);
    }
}

std::optional<size_t> Watcher::takeDueLink() {
    std::unique_lock<std::mutex> lock(mutex_);
    // Links that are failing may hold at most half of the threads: the others stay free for
    // cameras that answer.
    const int failingLimit = std::max(1, settings_.parallel / 2);
    for (;;) {
        if (stop_)
            return std::nullopt;
        const auto now = Clock::now();
        pauseOutsideHours(now);
        auto next = Clock::time_point::max();
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if (it->first > now) {
                next = it->first;
                break;
            }
            Slot& slot = slots_[it->second];
            const bool failing = slot.schedule.failuresInARow() > 0;
            if (failing && failingBusy_ >= failingLimit)
                continue;
            const size_t index = it->second;
            idle_.erase(it);
            slot.busy = true;
            slot.outsideHours = false;
            failingBusy_ += failing ? 1 : 0;
            return index;
        }
        if (next == Clock::time_point::max())
            wake_.wait_for(lock, std::chrono::seconds(1));
        else
            wake_.wait_until(lock, next);
    }
}

void Watcher::pauseOutsideHours(Clock::time_point now) {
    if (!settings_.hours.limited() || idle_.empty() || idle_.begin()->first > now)
        return;
    const auto wallNow = std::chrono::system_clock::now();
    const std::time_t wall = std::chrono::system_clock::to_time_t(wallNow);
    if (settings_.hours.open(wall))
        return;
    const std::optional<std::time_t> opening = settings_.hours.nextOpening(wall);
    // Held links look again together, on a common minute, so that the opening is sought once.
    const auto recheck = now + kHoursRecheck - now.time_since_epoch() % kHoursRecheck;
    while (!idle_.empty() && idle_.begin()->first <= now) {
        const size_t index = idle_.begin()->second;
        idle_.erase(idle_.begin());
        Slot& slot = slots_[index];
        auto due = recheck;
        if (opening) {
            const auto wait =
                std::chrono::system_clock::from_time_t(*opening) - wallNow + slot.resumeOffset;
            if (wait <= 2 * kHoursRecheck)
                due = now + std::chrono::duration_cast<Clock::duration>(wait);
        }
        slot.schedule.resumeAt(due);
        slot.outsideHours = true;
        idle_.emplace(due, index);
    }
}

void Watcher::fetchLink(HttpClient* client, const std::string& clientError, size_t index) {
    Slot& slot = slots_[index];
    const WatchedLink& link = slot.fetcher.link();
    if (!slot.recovered) {
        std::optional<SavedPicture> saved;
        {
            const std::lock_guard<std::mutex> lock(stateMutex_);
            if (const auto found = savedState_.find(link.directory); found != savedState_.end())
                saved = found->second;
        }
        const std::optional<SavedPicture> last =
            recoverLastPicture(settings_.saveDir, link.directory, saved);
        if (last)
            slot.fetcher.setLastDigest(last->digest);
        slot.recovered = true;
    }
    const bool onRhythm = slot.schedule.failuresInARow() == 0;
    state_.fetchStarted(Clock::now() - slot.schedule.due(), onRhythm);
    const auto started = Clock::now();
    LinkFetchResult result;
    if (client) {
        result = slot.fetcher.fetch(*client, settings_.fetch, stop_);
    } else {
        result.time = std::time(nullptr);
        result.url = withoutCredentials(link.address);
        result.error = clientError;
    }
    finish(index, result, started);
}

void Watcher::finish(size_t index, const LinkFetchResult& result, Clock::time_point started) {
    Slot& slot = slots_[index];
    const WatchedLink& link = slot.fetcher.link();
    if (stop_ && result.status == FetchStatus::Error)
        return; // cancelled by the stop, not a failure of the camera
    if (result.status == FetchStatus::New) {
        const std::string name = std::filesystem::path(result.file).filename().string();
        index_.added(link.directory, name, static_cast<uint64_t>(result.bytes));
        const std::lock_guard<std::mutex> lock(stateMutex_);
        savedState_[link.directory] = {name, *slot.fetcher.lastDigest()};
        stateDirty_ = true;
    }
    int failures = 0;
    std::optional<CameraEvent> event;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        event = slot.camera->fetched(result, settings_.cameras);
        const bool failing = slot.schedule.failuresInARow() > 0;
        if (result.status == FetchStatus::Error && slot.fetcher.keepsStream())
            slot.schedule.streamLost(Clock::now());
        else if (result.status == FetchStatus::Error)
            slot.schedule.failed(Clock::now());
        else
            slot.schedule.succeeded(Clock::now());
        failures = slot.schedule.failuresInARow();
        failingBusy_ -= failing ? 1 : 0;
        slot.busy = false;
        idle_.emplace(slot.schedule.due(), index);
    }
    wake_.notify_one();
    state_.record(index, result, settings_.saveDir, failures, Clock::now() - started);
    if (resultSink_) {
        const std::lock_guard<std::mutex> lock(resultMutex_);
        resultSink_(link, result);
    }
    if (event)
        cameraChanged(index, *event);
}

void Watcher::startCameras() {
    cameraRecords_ = readCameraRecords(settings_.saveDir);
    const std::time_t now = std::time(nullptr);
    for (size_t i = 0; i < slots_.size(); ++i) {
        const WatchedLink& link = slots_[i].fetcher.link();
        CameraRecord record;
        record.since = now;
        if (const auto kept = cameraRecords_.find(link.directory); kept != cameraRecords_.end())
            record = kept->second;
        // Staleness is measured while the camera is watched: the time the watch was down does
        // not count against it.
        record.lastNew = now;
        slots_[i].camera.emplace(link.path, link.directory, record);
        state_.setCamera(i, cameraStateName(record.state), record.since);
    }
}

void Watcher::cameraChanged(size_t index, const CameraEvent& event) {
    state_.setCamera(index, cameraStateName(event.to), event.time);
    {
        const std::lock_guard<std::mutex> lock(stateMutex_);
        const std::lock_guard<std::mutex> slotLock(mutex_);
        cameraRecords_[event.directory] = slots_[index].camera->record();
        camerasDirty_ = true;
    }
    if (eventSink_) {
        const std::lock_guard<std::mutex> lock(resultMutex_);
        eventSink_(event);
    }
}

void Watcher::checkStaleCameras() {
    std::vector<std::pair<size_t, CameraEvent>> events;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const std::time_t now = std::time(nullptr);
        for (size_t i = 0; i < slots_.size(); ++i)
            if (!slots_[i].busy)
                if (auto event = slots_[i].camera->checkStale(now, settings_.cameras))
                    events.emplace_back(i, std::move(*event));
    }
    for (const auto& [index, event] : events)
        cameraChanged(index, event);
}

WatchSnapshot Watcher::snapshot() const {
    WatchSnapshot snapshot = state_.snapshot();
    const std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].outsideHours)
            snapshot.links.at(i).status = "outside hours";
    return snapshot;
}

void Watcher::housekeep() {
    auto nextRetention = Clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            housekeep_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_.load(); });
        }
        heartbeat_ = steadySeconds();
        if (stop_)
            break;
        retainIfDue(Clock::now(), nextRetention);
        checkStaleCameras();
        saveStateIfDue(false);
    }
    saveStateIfDue(true);
}

void Watcher::retainIfDue(Clock::time_point now, Clock::time_point& next) {
    const bool ready = index_.ready();
    if (ready && now >= next &&
        (settings_.retention.keepDays > 0 || settings_.retention.maxBytes > 0)) {
        next = now + settings_.retentionEvery;
        const RetentionResult result = index_.apply(settings_.retention, std::time(nullptr));
        ++retention_.runs;
        retention_.deletedFiles += result.deletedFiles;
        retention_.deletedBytes += result.deletedBytes;
        retention_.lastRun = std::time(nullptr);
        retention_.files = index_.fileCount();
        retention_.bytes = index_.totalBytes();
        retention_.indexReady = true;
        if (retentionSink_ && result.deletedFiles > 0) {
            const std::lock_guard<std::mutex> lock(resultMutex_);
            retentionSink_(result, retention_);
        }
    }
    retention_.indexReady = ready;
    retention_.files = index_.fileCount();
    retention_.bytes = index_.totalBytes();
    state_.setRetention(retention_);
}

void Watcher::saveStateIfDue(bool force) {
    std::optional<LinkState> pictures;
    std::optional<CameraRecords> cameras;
    {
        const std::lock_guard<std::mutex> lock(stateMutex_);
        if ((!stateDirty_ && !camerasDirty_) ||
            (!force && Clock::now() - stateWritten_ < settings_.stateEvery))
            return;
        if (stateDirty_)
            pictures = savedState_;
        if (camerasDirty_)
            cameras = cameraRecords_;
        stateDirty_ = camerasDirty_ = false;
        stateWritten_ = Clock::now();
    }
    // A state that cannot be written costs at most a repeated picture or event after a restart:
    // the next round tries again.
    try {
        if (pictures)
            writeLinkState(settings_.saveDir, *pictures);
    } catch (const Error&) {
        const std::lock_guard<std::mutex> lock(stateMutex_);
        stateDirty_ = true;
    }
    try {
        if (cameras)
            writeCameraRecords(settings_.saveDir, *cameras);
    } catch (const Error&) {
        const std::lock_guard<std::mutex> lock(stateMutex_);
        camerasDirty_ = true;
    }
}

} // namespace kestrix
