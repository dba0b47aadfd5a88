// kestrix-cli watch --links: every link of a link file watched in one process. A scheduler thread
// hands links that are due to a fixed set of fetching threads (--parallel), each fetch running the
// program's own client and decoders, so a slow or dead address holds up only its own thread. New
// pictures are archived as the server sent them; retention runs at start and every minute; a
// status page may be served. SIGINT and SIGTERM end the watch, cancelling transfers in flight.
#include "cli/CliCommand.h"
#include "cli/ConnectionArgs.h"
#include "cli/StatusServer.h"
#include "cli/WatchLinks.h"
#include "cli/WatchStatus.h"
#include "core/links/LinkFile.h"
#include "core/links/LinkTree.h"
#include "core/macros/DateFormatter.h"
#include "core/util/Clock.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/FormatSettings.h"
#include "core/util/Text.h"
#include "core/watch/LinkFetch.h"
#include "core/watch/PictureArchive.h"
#include "core/watch/WatchList.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

namespace kestrix::cli {

namespace {

using Steady = std::chrono::steady_clock;

std::atomic<bool> stopWatching{false};
void onStopSignal(int) {
    stopWatching = true;
}

void checkPositive(const std::string& option, int value) {
    if (value < 1)
        throw Error(option + " takes a whole number above 0");
}

void checkLinksOptions(LinksOptions& o) {
    if (o.saveDir.empty())
        throw Error("watch --links FILE needs --save-dir DIR");
    checkPositive("--parallel", o.parallel);
    checkPositive("--timeout", o.timeout);
    if (!o.maxBytes.empty())
        o.retention.maxBytes = parseByteSize(o.maxBytes);
    if (!o.shardText.empty()) {
        const std::string& text = o.shardText;
        const size_t slash = text.find('/');
        const int count = slash == std::string::npos ? 0 : strToInt(text.substr(slash + 1));
        const int k = slash == std::string::npos ? -1 : strToInt(text.substr(0, slash));
        if (count < 1 || k < 0 || k >= count)
            throw Error("--shard takes K/N with 0 <= K < N, not " + text);
        o.shard = static_cast<uint32_t>(k);
        o.shards = static_cast<uint32_t>(count);
    }
    if (o.retention.keepDays < 0)
        throw Error("--keep-days takes a number of days of at least 0");
}

// One line per fetch, text or JSON, written whole and flushed.
class FetchLog {
public:
    explicit FetchLog(bool json) : json_(json) {}

    void write(const WatchedLink& link, const LinkFetchResult& r) {
        std::string line;
        if (json_) {
            line =
                "{\"time\":" + jsonString(isoUtc(r.time)) + ",\"link\":" + jsonString(link.path) +
                ",\"url\":" + jsonString(r.url) + ",\"status\":\"" + fetchStatusName(r.status) +
                "\",\"bytes\":" + std::to_string(r.bytes) +
                ",\"width\":" + std::to_string(r.width) + ",\"height\":" + std::to_string(r.height);
            if (r.status == FetchStatus::New)
                line += ",\"file\":" + jsonString(r.file);
            if (r.status == FetchStatus::Error)
                line += ",\"error\":" + jsonString(r.error);
            line += "}";
        } else {
            line = formatDateTime("yyyy-mm-dd hh:nn:ss", clock_.now(), defaultFormatSettings()) +
                   " " + link.path + " ";
            if (r.status == FetchStatus::Error)
                line += r.error + " " + std::to_string(r.bytes);
            else
                line += std::string(r.status == FetchStatus::New ? "New " : "Duplicate ") +
                        std::to_string(r.bytes) + " " + std::to_string(r.width) + "x" +
                        std::to_string(r.height);
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        std::cout << line << std::endl;
    }

private:
    bool json_;
    SystemClock clock_;
    std::mutex mutex_;
};

// The links, when each is due next, and the threads that fetch them.
class Scheduler {
public:
    Scheduler(std::vector<WatchedLink> links, const LinksOptions& options)
        : options_(options), status_(links), log_(options.json) {
        settings_.connection = connectionOptions(options.connection);
        settings_.timeout = options.timeout;
        settings_.saveDir = options.saveDir;
        // The first fetches are spread over each link's interval, so that a thousand links due
        // every minute do not all start in the same second.
        const auto start = Steady::now();
        for (size_t i = 0; i < links.size(); ++i) {
            const auto interval = std::chrono::milliseconds(1000 * std::max(1, links[i].interval));
            const auto offset =
                interval * static_cast<int64_t>(i) / static_cast<int64_t>(links.size());
            slots_.push_back({LinkFetcher(std::move(links[i])), start + offset, false});
        }
    }

    const WatchStatus& status() const { return status_; }

    void run() {
        std::vector<std::thread> workers;
        const auto threads = static_cast<size_t>(options_.parallel);
        for (size_t t = 0; t < std::min(threads, std::max<size_t>(slots_.size(), 1)); ++t)
            workers.emplace_back([this] { work(); });
        auto nextRetention = Steady::now();
        while (!stopWatching) {
            const auto now = Steady::now();
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                for (size_t i = 0; i < slots_.size(); ++i)
                    if (!slots_[i].busy && slots_[i].due <= now) {
                        slots_[i].busy = true;
                        queue_.push_back(i);
                    }
            }
            wake_.notify_all();
            if (now >= nextRetention) {
                retain();
                nextRetention = now + std::chrono::minutes(1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        wake_.notify_all();
        for (std::thread& worker : workers)
            worker.join();
    }

private:
    struct Slot {
        LinkFetcher fetcher;
        Steady::time_point due;
        bool busy;
    };

    void work() {
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stopWatching || !queue_.empty(); });
                if (stopWatching)
                    return;
                index = queue_.front();
                queue_.pop_front();
            }
            Slot& slot = slots_[index];
            const LinkFetchResult result = slot.fetcher.fetch(settings_, stopWatching);
            if (stopWatching)
                return;
            status_.record(index, result, options_.saveDir);
            log_.write(slot.fetcher.link(), result);
            const std::lock_guard<std::mutex> lock(mutex_);
            // The next fetch keeps the link's rhythm; one that overran starts at once.
            const auto interval = std::chrono::seconds(std::max(1, slot.fetcher.link().interval));
            slot.due = std::max(slot.due + interval, Steady::now() - std::chrono::milliseconds(1));
            slot.busy = false;
        }
    }

    void retain() {
        if (options_.retention.keepDays > 0 || options_.retention.maxBytes > 0)
            applyRetention(options_.saveDir, options_.retention, std::time(nullptr));
    }

    const LinksOptions& options_;
    LinkFetchSettings settings_;
    WatchStatus status_;
    FetchLog log_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<size_t> queue_;
};

} // namespace

void addWatchLinksOptions(CLI::App& command, LinksOptions& o) {
    command.add_option(
        "--links", o.linkFile,
        "Watch every link of this link file (.klnx), each on its own interval, saving new "
        "pictures as fetched under --save-dir");
    const std::string only = " (with --links)";
    command.add_option("--parallel", o.parallel, "Fetches at once" + only)->default_val(16);
    command
        .add_option("--keep-days", o.retention.keepDays,
                    "Delete saved pictures older than this many days, 0 keeps all" + only)
        ->default_val(0);
    command.add_option("--max-bytes", o.maxBytes,
                       "Delete the oldest saved pictures beyond this size (500M, 2G)" + only);
    command.add_flag("--json", o.json, "One JSON object per fetch instead of a text line" + only);
    command.add_option("--serve", o.serve,
                       "Serve a status page and /api/status at [HOST:]PORT" + only);
    command.add_option("--shard", o.shardText,
                       "Watch only the links of shard K of N (K/N, 0 <= K < N)" + only);
}

int runWatchLinks(LinksOptions options) {
    checkLinksOptions(options);
    LinkTree tree;
    LinkNode* root = tree.addRootNode("Image Links");
    readLinkStream(readFileBytes(options.linkFile), tree, root);
    std::vector<WatchedLink> all = watchedLinks(tree);
    if (all.empty())
        throw Error("No links to watch in " + options.linkFile);
    std::vector<WatchedLink> links;
    for (WatchedLink& link : all)
        if (shardOf(link, options.shards) == options.shard)
            links.push_back(std::move(link));
    // A shard may come out empty; it keeps running, so that a fixed set of processes stays up.
    if (links.empty())
        std::cerr << "No links of " << options.linkFile << " fall in shard " << options.shard << "/"
                  << options.shards << "\n";
    std::filesystem::create_directories(options.saveDir);

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    Scheduler scheduler(std::move(links), options);
    StatusServer server(scheduler.status(), options.saveDir);
    if (!options.serve.empty())
        server.start(options.serve);
    scheduler.run();
    server.stop();
    return 0;
}

} // namespace kestrix::cli
