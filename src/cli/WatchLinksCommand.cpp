// kestrix-cli watch --links: reads the options, starts core's Watcher and the status page, and
// writes one log line per fetch until SIGINT or SIGTERM.
#include "cli/WatchLinks.h"
#include "core/links/LinkFile.h"
#include "core/links/LinkTree.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"
#include "core/watch/DailyTimelapses.h"
#include "core/watch/FetchLog.h"
#include "core/watch/MqttPublisher.h"
#include "core/watch/Watcher.h"
#include "web/StatusSite.h"
#include "web/TokenGate.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <sys/resource.h>
#include <thread>

namespace kestrix::cli {

namespace {

std::atomic<bool> stopWatching{false};
void onLinksStopSignal(int) {
    stopWatching = true;
}

struct Shard {
    uint32_t k = 0, n = 1;
};

std::optional<Shard> parseShard(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    const auto k = parseInt32(text.substr(0, slash));
    const auto n = parseInt32(text.substr(slash + 1));
    if (!k || !n || *n < 1 || *k < 0 || *k >= *n)
        return std::nullopt;
    return Shard{static_cast<uint32_t>(*k), static_cast<uint32_t>(*n)};
}

// "0" turns the least rate off; otherwise a size per second as --max-bytes writes one.
uint64_t parseRate(const std::string& text) {
    return text == "0" ? 0 : parseByteSize(text);
}

CLI::Validator checkedBy(const std::function<void(const std::string&)>& parse,
                         const std::string& name) {
    return {[parse](const std::string& text) {
                try {
                    parse(text);
                } catch (const std::exception& e) {
                    return std::string(e.what());
                }
                return std::string();
            },
            name};
}

// A watch of thousands of links holds many descriptors: the soft limit rises to the hard one.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::vector<WatchedLink> linksOfShard(const LinksOptions& options) {
    LinkTree tree;
    LinkNode* root = tree.addRootNode("Image Links");
    readLinkStream(readFileBytes(options.linkFile), tree, root);
    std::vector<WatchedLink> all = watchedLinks(tree);
    if (all.empty())
        throw Error("No links to watch in " + options.linkFile);
    const Shard shard = options.shardText.empty() ? Shard{} : *parseShard(options.shardText);
    std::vector<WatchedLink> links;
    for (WatchedLink& link : all)
        if (shardOf(link, shard.n) == shard.k)
            links.push_back(std::move(link));
    // A shard may come out empty; it keeps running, so that a fixed set of processes stays up.
    if (links.empty())
        std::cerr << "No links of " << options.linkFile << " fall in shard " << shard.k << "/"
                  << shard.n << "\n";
    return links;
}

std::vector<MqttLink> mqttLinks(const std::vector<WatchedLink>& links) {
    std::vector<MqttLink> topics;
    topics.reserve(links.size());
    for (const WatchedLink& link : links)
        topics.push_back({link.path, link.directory});
    return topics;
}

WatcherSettings watcherSettings(const LinksOptions& options) {
    WatcherSettings s;
    s.saveDir = options.saveDir;
    s.parallel = options.parallel;
    s.retention = options.retention;
    if (!options.maxBytes.empty())
        s.retention.maxBytes = parseByteSize(options.maxBytes);
    s.fetch.connection = connectionOptions(options.connection);
    s.fetch.timeout = std::chrono::seconds(options.timeout);
    if (options.deadline)
        s.fetch.deadline = std::chrono::seconds(*options.deadline);
    s.fetch.minBytesPerSecond = static_cast<int64_t>(parseRate(options.minRate));
    s.fetch.keepStreams = options.keepStreams;
    s.fetch.thumbnails = !options.serve.empty();
    s.hours = captureHours(options.hours);
    s.cameras = cameraRules(options.alerts);
    return s;
}

} // namespace

void addCaptureHoursOptions(CLI::App& command, HoursOptions& o) {
    command
        .add_option("--hours", o.ranges,
                    "Fetch only within these daily ranges of local time, HH:MM-HH:MM (22:00-02:00 "
                    "passes midnight, 00:00-24:00 is the whole day); repeat the option or "
                    "separate ranges with commas")
        ->allow_extra_args(false)
        ->check(checkedBy([](const std::string& text) { parseHourRanges(text); }, "RANGES"));
    command
        .add_option("--daylight", o.daylight,
                    "Fetch only from sunrise to sunset at LAT,LON (degrees, north and east "
                    "positive: -33.87,151.21 is Sydney); with --hours, only when both allow")
        ->check(checkedBy([](const std::string& text) { parseDaylightPlace(text); }, "LAT,LON"));
}

CaptureHours captureHours(const HoursOptions& options) {
    CaptureHours hours = CaptureHours::parse(options.ranges, options.daylight);
    if (hours.limited() && !hours.nextOpening(std::time(nullptr)))
        throw Error("--hours and --daylight leave no time to fetch in the coming year");
    return hours;
}

void addWatchLinksOptions(CLI::App& command, LinksOptions& o) {
    command.add_option(
        "--links", o.linkFile,
        "Watch every link of this link file (.klnx), each on its own interval, saving new "
        "pictures as fetched under --save-dir");
    const std::string only = " (with --links)";
    command.add_option("--parallel", o.parallel, "Fetches at once" + only)
        ->default_val(16)
        ->check(CLI::Range(1, 10000));
    command
        .add_option("--deadline", o.deadline,
                    "Seconds a whole fetch may take before it is given up (default: the link's "
                    "interval, at least 10, at most --timeout)" +
                        only)
        ->check(CLI::Range(1, 86400));
    command
        .add_option("--min-rate", o.minRate,
                    "Give up a transfer that brings less than this per second over 10 s (512, "
                    "1K, 2M; 0: no minimum)" +
                        only)
        ->default_val("1K")
        ->check(checkedBy(parseRate, "RATE"));
    command
        .add_option("--keep-days", o.retention.keepDays,
                    "Delete saved pictures older than this many days, 0 keeps all" + only)
        ->default_val(0)
        ->check(between(0, 36500));
    command
        .add_option("--max-bytes", o.maxBytes,
                    "Delete the oldest saved pictures beyond this size (500M, 2G)" + only)
        ->check(checkedBy(parseByteSize, "SIZE"));
    command.add_flag("--keep-streams", o.keepStreams,
                     "Keep the streams of links fetched more often than every 10 s (MJPEG, RTSP, "
                     "HLS) open, each fetch taking the newest picture" +
                         only);
    command.add_flag("--json", o.json, "One JSON object per fetch instead of a text line" + only);
    command.add_option("--serve", o.serve,
                       "Serve the archive's pages, /api/status, /metrics and /healthz at "
                       "[HOST:]PORT; PORT alone listens on 127.0.0.1, this machine only" +
                           only);
    command
        .add_option("--shard", o.shardText,
                    "Watch only the links of shard K of N (K/N, 0 <= K < N)" + only)
        ->check(checkedBy(
            [](const std::string& text) {
                if (!parseShard(text))
                    throw Error("takes K/N with 0 <= K < N, not " + text);
            },
            "K/N"));
    addAlertOptions(command, o.alerts);
    addMqttOptions(command, o.mqtt);
    addArchiveOptions(command, o.archive);
}

int runWatchLinks(const LinksOptions& options) {
    if (options.saveDir.empty())
        throw Error("watch --links FILE needs --save-dir DIR");
    if (options.serve.empty() &&
        (!options.archive.token.empty() || !options.archive.tokenFile.empty() ||
         !options.archive.peers.empty()))
        throw Error("--serve-token, --serve-token-file and --peers need --serve");
    const std::string token = web::serveToken(options.archive.token, options.archive.tokenFile);
    raiseDescriptorLimit();
    const std::vector<WatchedLink> links = linksOfShard(options);
    Watcher watcher(links, watcherSettings(options));
    const bool json = options.json;
    const auto notice = [](const std::string& line) { std::cerr << line << std::endl; };

    std::unique_ptr<MqttPublisher> mqtt;
    if (!options.mqtt.broker.empty()) {
        mqtt = std::make_unique<MqttPublisher>(mqttSettings(options.mqtt, options.connection.caFile,
                                                            options.saveDir, options.shardText),
                                               mqttLinks(links), notice);
        mqtt->start();
    }
    watcher.onResult([json, &mqtt](const WatchedLink& link, const LinkFetchResult& result) {
        std::cout << fetchLogLine(link, result, json) << std::endl;
        if (mqtt && result.status == FetchStatus::New)
            mqtt->newPicture(link.directory, result.time, result.file);
    });
    watcher.onRetention([json](const RetentionResult& result, const RetentionFigures& figures) {
        std::cout << retentionLogLine(result, figures, std::time(nullptr), json) << std::endl;
    });
    Webhooks webhooks(webhookSettings(options.alerts, connectionOptions(options.connection)),
                      notice);
    watcher.onEvent([json, &webhooks, &mqtt](const CameraEvent& event) {
        std::cout << cameraEventLogLine(event, json) << std::endl;
        webhooks.send(event);
        if (mqtt)
            mqtt->cameraChanged(event);
    });

    std::unique_ptr<DailyTimelapses> timelapses;
    if (options.archive.dailyMp4) {
        std::vector<std::string> folders;
        folders.reserve(links.size());
        for (const WatchedLink& link : links)
            folders.push_back(link.directory);
        timelapses = std::make_unique<DailyTimelapses>(
            dailyTimelapseSettings(options.archive, options.saveDir, std::move(folders)));
        timelapses->onReport([json](const DailyTimelapseReport& report) {
            std::cout << timelapseLogLine(report, std::time(nullptr), json) << std::endl;
        });
    }

    std::signal(SIGINT, onLinksStopSignal);
    std::signal(SIGTERM, onLinksStopSignal);
    watcher.start();
    if (timelapses)
        timelapses->start();
    const web::StatusSite site(watcher, watcher.archiveIndex(), links, options.archive.peers);
    std::unique_ptr<web::PageServer> server;
    if (!options.serve.empty()) {
        server = web::serveStatusSite(site, options.serve, token);
        const std::string host = web::serveHost(options.serve);
        if (token.empty() && !web::isLoopbackHost(host))
            std::cerr << "Anyone who reaches " << (host.empty() ? "this machine" : host)
                      << " can browse the archive: give --serve-token or --serve-token-file"
                      << std::endl;
    }
    while (!stopWatching)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    site.stopDownloads();
    if (server)
        server->stop();
    if (timelapses)
        timelapses->stop();
    watcher.stop();
    webhooks.stop();
    if (mqtt)
        mqtt->stop();
    return 0;
}

} // namespace kestrix::cli
