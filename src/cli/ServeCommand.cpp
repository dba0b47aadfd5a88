// kestrix-cli serve: an archive browsed in a web browser without watching: the pages of
// `watch --links --serve` (every link, its days, a day's pictures with a scrubber, the same time of
// every day, timelapse movies) without the watch's state. The archive is read once, in the
// background, while the pages already answer.
#include "cli/CliCommand.h"
#include "core/links/LinkFile.h"
#include "core/links/LinkTree.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/watch/ArchiveIndex.h"
#include "core/watch/WatchList.h"
#include "web/StatusSite.h"
#include "web/TokenGate.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

namespace kestrix::cli {

namespace {

std::atomic<bool> stopServing{false};
void onStopSignal(int) {
    stopServing = true;
}

struct ServeOptions {
    std::string saveDir;
    std::string address;
    std::string linkFile;
    std::string token;
    std::string tokenFile;
};

std::vector<web::SiteLink> linksOf(const std::string& linkFile) {
    LinkTree tree;
    LinkNode* root = tree.addRootNode("Image Links");
    readLinkStream(readFileBytes(linkFile), tree, root);
    std::vector<web::SiteLink> links = web::siteLinks(watchedLinks(tree));
    if (links.empty())
        throw Error("No links in " + linkFile);
    return links;
}

// The archive's scan, stopped and joined however serving ends.
class Scan {
public:
    Scan(ArchiveIndex& index, const std::string& root)
        : thread_([this, &index, root] { index.scan(root, stop_); }) {}
    ~Scan() {
        stop_ = true;
        thread_.join();
    }
    Scan(const Scan&) = delete;
    Scan& operator=(const Scan&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int serveArchive(const ServeOptions& o) {
    if (!std::filesystem::is_directory(o.saveDir))
        throw Error("No archive at " + o.saveDir);
    const std::string token = web::serveToken(o.token, o.tokenFile);
    ArchiveIndex index;
    web::SiteSources sources;
    sources.saveDir = o.saveDir;
    sources.index = &index;
    if (!o.linkFile.empty())
        sources.links = linksOf(o.linkFile);
    const web::StatusSite site(std::move(sources));
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    const Scan scan(index, o.saveDir);
    const std::unique_ptr<web::PageServer> server = web::serveStatusSite(site, o.address, token);
    const std::string host = web::serveHost(o.address);
    std::cerr << "Serving " << o.saveDir << " at http://" << (host.empty() ? "0.0.0.0" : host)
              << ":" << server->port() << "/" << (token.empty() ? "" : "?token=...") << std::endl;
    if (token.empty() && !web::isLoopbackHost(host))
        std::cerr << "Anyone who reaches " << (host.empty() ? "this machine" : host)
                  << " can browse the archive: give --serve-token or --serve-token-file"
                  << std::endl;
    while (!stopServing)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    site.stopDownloads();
    server->stop();
    return 0;
}

void defineServe(CLI::App& command) {
    command.description(
        "Serves an archive of watch --links (or of a watch's --save-dir) to a web browser, "
        "without watching: every link with its latest picture, its days, a day's pictures with a "
        "scrubber, the same time of every day and the timelapse movies; read-only.");
    auto o = std::make_shared<ServeOptions>();
    command.add_option("--save-dir", o->saveDir, "The archive's folder")->required();
    command
        .add_option("ADDRESS", o->address,
                    "[HOST:]PORT to serve at; PORT alone listens on 127.0.0.1, this machine only "
                    "(0.0.0.0:8080 listens on every IPv4 address: give a token then)")
        ->required();
    command.add_option("--links", o->linkFile,
                       "Show the links of this link file (.klnx), grouped by its folders "
                       "(default: every folder of the archive that holds pictures)");
    auto* tokenOption = command.add_option(
        "--serve-token", o->token,
        "Every request must carry this token (16 to 256 letters, digits and -._~+/=): open "
        "/?token=TOKEN once (a cookie keeps it) or send Authorization: Bearer TOKEN");
    command
        .add_option("--serve-token-file", o->tokenFile,
                    "The same token, from the first line of this file (not seen in the process "
                    "list)")
        ->excludes(tokenOption);
    addExample(command, "kestrix-cli serve --save-dir archive --links cameras.klnx 8080\n  "
                        "kestrix-cli serve --save-dir archive 0.0.0.0:8080 --serve-token-file "
                        "/etc/kestrix/token");
    onRun(command, [o] { return serveArchive(*o); });
}

const Registration kServeRegistration({"serve", defineServe});

} // namespace

} // namespace kestrix::cli
