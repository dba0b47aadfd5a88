#include "web/StatusSite.h"

#include "core/util/Error.h"
#include "web/ArchiveApi.h"
#include "web/ArchivePages.h"
#include "web/Metrics.h"
#include "web/RequestHead.h"
#include "web/SiteAssets.h"
#include "web/StatusPages.h"
#include "web/TokenGate.h"

#include <filesystem>

namespace kestrix::web {

namespace fs = std::filesystem;

namespace {

// The pages run only their own script and show only the site's own pictures and movies.
constexpr const char* kPagePolicy =
    "default-src 'none'; img-src 'self'; media-src 'self'; style-src 'unsafe-inline'; "
    "script-src 'self'; connect-src 'self'; form-action 'self'; base-uri 'none'; "
    "frame-ancestors 'none'";

PageReply htmlPage(std::string body) {
    return {200,
            std::move(body),
            "text/html; charset=utf-8",
            {{"Content-Security-Policy", kPagePolicy}, {"Referrer-Policy", "no-referrer"}}};
}

SiteSources liveSources(const Watcher& watcher) {
    SiteSources sources;
    sources.saveDir = watcher.saveDir();
    sources.live = [&watcher] { return watcher.snapshot(); };
    sources.healthy = [&watcher](std::string& why) { return watcher.healthy(why); };
    return sources;
}

size_t pageNumber(const std::string& query) {
    const std::string text = queryValue(query, "page").value_or("");
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos)
        return 0;
    const size_t page = std::stoul(text);
    return page > 0 ? page - 1 : 0;
}

} // namespace

StatusSite::StatusSite(const Watcher& watcher) : StatusSite(liveSources(watcher)) {}

StatusSite::StatusSite(const Watcher& watcher, const ArchiveIndex& index,
                       const std::vector<WatchedLink>& links, std::vector<std::string> peers)
    : StatusSite([&] {
          SiteSources sources = liveSources(watcher);
          sources.index = &index;
          sources.links = siteLinks(links);
          sources.peers = std::move(peers);
          return sources;
      }()) {}

StatusSite::StatusSite(SiteSources sources, TimelapseLimits timelapses,
                       TimelapseHooks timelapseHooks)
    : sources_(std::move(sources)), thumbnails_(std::make_unique<LazyThumbnails>(sources_.saveDir)),
      timelapses_(
          std::make_unique<TimelapseDownload>(std::move(timelapses), std::move(timelapseHooks))) {}

PageLimits StatusSite::serverLimits() const {
    PageLimits limits;
    limits.handlerThreads += timelapses_->threadsHeld();
    return limits;
}

PageReply StatusSite::answer(const PageRequest& request) const {
    const std::string& path = request.path;
    if (path == "/") {
        const OverviewOptions options{pageNumber(request.query),
                                      queryValue(request.query, "folder").value_or(""),
                                      static_cast<bool>(sources_.live), sources_.peers};
        return htmlPage(overviewPage(viewOf(sources_), options));
    }
    if (path == "/link") {
        const std::optional<LinkView> link =
            findLink(sources_, queryValue(request.query, "dir").value_or(""));
        return link ? htmlPage(linkPage(*link)) : notFound();
    }
    if (path == kBrowseScriptPath)
        return {200,
                kBrowseScript,
                "text/javascript; charset=utf-8",
                {{"Cache-Control", "max-age=300"}}};
    if (path == "/api/status")
        return status();
    if (path == "/metrics" && sources_.live)
        return {200,
                prometheusMetrics(sources_.live()),
                "text/plain; version=0.0.4; charset=utf-8",
                {}};
    if (path == "/healthz") {
        std::string why;
        if (!sources_.healthy || sources_.healthy(why))
            return {200, "ok\n", "text/plain; charset=utf-8", {}};
        return {503, why + "\n", "text/plain; charset=utf-8", {}};
    }
    if (path == kTimelapsePath && sources_.index)
        return timelapses_->answer(sources_, request);
    if (path.starts_with("/api/"))
        return archiveApi(sources_, request).value_or(notFound());
    if (path.starts_with("/pictures/"))
        return picture(request);
    return notFound();
}

PageReply StatusSite::picture(const PageRequest& request) const {
    const std::string relative = request.path.substr(std::string("/pictures/").size());
    if (isTimelapseName(fs::path(relative).filename().string())) {
        const std::string movie = movieForRequest(sources_.saveDir, relative);
        return movie.empty() ? notFound() : movieReply(movie, request.range);
    }
    const std::string file = pictureForRequest(sources_.saveDir, relative);
    if (file.empty())
        return notFound();
    if (queryValue(request.query, "thumb"))
        return thumbnailReply(file, relative, *thumbnails_);
    return pictureReply(file);
}

PageReply StatusSite::status() const {
    if (sources_.live)
        return {200, statusJson(sources_.live()), "application/json", {}};
    // An archive without a watch: its links and its size.
    ArchiveView view = viewOf(sources_);
    WatchSnapshot snapshot;
    for (LinkView& link : view.links) {
        LinkStatus status;
        status.link = link.path;
        status.status = "archive";
        status.latest = std::move(link.latest);
        snapshot.links.push_back(std::move(status));
    }
    snapshot.retention.indexReady = view.ready;
    snapshot.retention.files = view.files;
    snapshot.retention.bytes = view.bytes;
    return {200, statusJson(snapshot), "application/json", {}};
}

std::string serveHost(const std::string& hostAndPort) {
    const size_t colon = hostAndPort.rfind(':');
    return colon == std::string::npos ? "127.0.0.1" : hostAndPort.substr(0, colon);
}

bool isLoopbackHost(const std::string& host) {
    return host.starts_with("127.") || host == "::1" || host == "[::1]" || host == "localhost";
}

std::unique_ptr<PageServer> serveStatusSite(const StatusSite& site, const std::string& hostAndPort,
                                            const std::string& token) {
    const size_t colon = hostAndPort.rfind(':');
    const std::string host = serveHost(hostAndPort);
    const std::string portText =
        colon == std::string::npos ? hostAndPort : hostAndPort.substr(colon + 1);
    char* end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || port < 1 || port > 65535)
        throw Error("--serve takes [HOST:]PORT, not " + hostAndPort);
    auto server = std::make_unique<PageServer>(
        tokenGate(token, [&site](const PageRequest& request) { return site.answer(request); }),
        site.serverLimits());
    server->listen(host, static_cast<int>(port));
    server->start();
    return server;
}

} // namespace kestrix::web
