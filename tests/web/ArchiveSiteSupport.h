// Shared by the archive site's tests: generated archives (a week of three links; hundreds of
// links) read by a real index, and the site served on a loopback port in the test's process.
#pragma once

#include "core/watch/ArchiveIndex.h"
#include "support/ArchiveBuilder.h"
#include "support/TempDir.h"
#include "web/StatusSite.h"
#include "web/TokenGate.h"
#include "web/WebTestSupport.h"

#include <atomic>
#include <memory>
#include <string>

namespace kestrix::test {

constexpr std::time_t kDaySeconds = 86400;

inline void scanArchive(ArchiveIndex& index, const std::string& root) {
    const std::atomic<bool> stop{false};
    index.scan(root, stop);
}

// 2026-11-02 to 2026-11-08: Alps/Matterhorn every 20 minutes, Alps/Eiger every 30 minutes from
// 06:00 to 18:00, Harbour every 15 minutes.
struct WeekArchive {
    TempDir dir{"site"};
    std::string root = dir.file("archive");
    ArchiveIndex index;

    WeekArchive() {
        ArchiveBuilder pictures(root);
        const std::time_t end = kArchiveStart + 7 * kDaySeconds;
        pictures.addLink("Alps/Matterhorn", kArchiveStart, end, 1200, 30);
        pictures.addLink("Alps/Eiger", kArchiveStart, end, 1800, 140, 6, 18);
        pictures.addLink("Harbour", kArchiveStart, end, 900, 230);
        scanArchive(index, root);
    }

    web::SiteSources sources() const {
        web::SiteSources s;
        s.saveDir = root;
        s.index = &index;
        return s;
    }
};

// The site on 127.0.0.1, behind `token` when one is given.
class SiteServer {
public:
    explicit SiteServer(web::SiteSources sources, const std::string& token = "")
        : site_(std::move(sources)) {
        server_ = std::make_unique<web::PageServer>(
            web::tokenGate(
                token, [this](const web::PageRequest& request) { return site_.answer(request); }),
            site_.serverLimits());
        server_->listen("127.0.0.1", 0);
        server_->start();
    }

    int port() const { return server_->port(); }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port()); }

    // The whole response to a GET of `target`, with `fields` ("Name: value\r\n"...) added.
    std::string get(const std::string& target, const std::string& fields = "") const {
        return exchange(port(),
                        "GET " + target + " HTTP/1.1\r\nHost: kestrix.test\r\n" + fields + "\r\n");
    }

private:
    web::StatusSite site_;
    std::unique_ptr<web::PageServer> server_;
};

} // namespace kestrix::test
