// The watch's web site: "/" (the status page), "/api/status" (JSON), "/healthz" (for probes:
// 200 "ok" while the watch is alive and not stuck, 503 with the reason otherwise) and
// "/pictures/PATH" (archive pictures under the save folder, nothing else).
#pragma once

#include "core/watch/Watcher.h"
#include "web/PageServer.h"

#include <memory>
#include <string>

namespace kestrix::web {

class StatusSite {
public:
    explicit StatusSite(const Watcher& watcher) : watcher_(watcher) {}

    PageReply answer(const PageRequest& request) const;

private:
    const Watcher& watcher_;
};

// The picture under `saveDir` that a request path after "/pictures/" names, or "" when it names
// anything else: an empty or absolute path, a ".." or "." segment, a file that is not an archive
// picture, or one outside the folder once links are followed.
std::string pictureForRequest(const std::string& saveDir, const std::string& relative);

// Serves `site` at [HOST:]PORT (the loopback address for PORT alone) until the server is
// stopped. Raises "--serve takes [HOST:]PORT, not TEXT" or the server's own error.
std::unique_ptr<PageServer> serveStatusSite(const StatusSite& site, const std::string& hostAndPort);

} // namespace kestrix::web
