// The web site of a watch, or of an archive browsed without one. Read-only: only GET and HEAD
// reach it, and it serves nothing from the disk but the archive's pictures, their thumbnails and
// the links' timelapse movies, kept or made on request.
//   /                    the overview of every link (web/ArchivePages.h)
//   /link?dir=DIR        a link's days, a day's pictures with a scrubber, the same time of every
//                        day, the day's timelapse
//   /api/links, /api/days, /api/day, /api/hour    the JSON behind them (web/ArchiveApi.h)
//   /api/timelapse       a span of a link's pictures as a movie to download, made on request
//                        (web/TimelapseDownload.h)
//   /api/status          the watch's state as JSON
//   /metrics             the watch's figures for Prometheus (web/Metrics.h)
//   /healthz             for probes: 200 "ok" while the watch is alive and not stuck, 503 with
//                        the reason otherwise
//   /pictures/PATH       an archive picture under the save folder, "?thumb" its thumbnail;
//                        /pictures/LINK/timelapse/YYYYMMDD.mp4 a timelapse movie, in ranges
#pragma once

#include "core/watch/Thumbnails.h"
#include "core/watch/Watcher.h"
#include "web/ArchiveFiles.h"
#include "web/ArchiveView.h"
#include "web/PageServer.h"
#include "web/TimelapseDownload.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrix::web {

class StatusSite {
public:
    // The watch's status, its pictures and /healthz, without the archive's pages.
    explicit StatusSite(const Watcher& watcher);
    // The watch with its archive's pages; `links` as the watcher was given them.
    StatusSite(const Watcher& watcher, const ArchiveIndex& index,
               const std::vector<WatchedLink>& links, std::vector<std::string> peers = {});
    explicit StatusSite(SiteSources sources, TimelapseLimits timelapses = {},
                        TimelapseHooks timelapseHooks = {});

    PageReply answer(const PageRequest& request) const;
    // Before its server stops: timelapse downloads in progress or waiting are given up.
    void stopDownloads() const { timelapses_->stop(); }

    // The server's limits for the site: a handler thread more for each timelapse download it
    // may hold at once, so that those never hold up the other pages.
    PageLimits serverLimits() const;

private:
    PageReply picture(const PageRequest& request) const;
    PageReply status() const;

    SiteSources sources_;
    std::unique_ptr<LazyThumbnails> thumbnails_;
    std::unique_ptr<TimelapseDownload> timelapses_;
};

// Serves `site` at [HOST:]PORT (the loopback address 127.0.0.1 for PORT alone) until the server
// is stopped; with a token, only to requests that carry it (web/TokenGate.h). Raises "--serve
// takes [HOST:]PORT, not TEXT" or the server's own error.
std::unique_ptr<PageServer> serveStatusSite(const StatusSite& site, const std::string& hostAndPort,
                                            const std::string& token = "");

// True for an address that only this machine reaches: 127.0.0.0/8, ::1, "localhost".
bool isLoopbackHost(const std::string& host);
// The HOST of [HOST:]PORT as serveStatusSite binds it.
std::string serveHost(const std::string& hostAndPort);

} // namespace kestrix::web
