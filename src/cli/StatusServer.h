// The multi-link watch's read-only web page: "/" (the status page), "/api/status" (JSON) and
// "/pictures/PATH" (archive pictures of the save folder, nothing else). It runs on its own thread.
#pragma once

#include "cli/WatchStatus.h"
#include "core/net/WebServer.h"

#include <memory>
#include <string>
#include <thread>

namespace kestrix::cli {

class StatusServer {
public:
    StatusServer(const WatchStatus& status, std::string saveDir);
    ~StatusServer();
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    // Listens on HOST:PORT, or on the loopback address for PORT alone; raises when it cannot.
    void start(const std::string& hostAndPort);
    void stop();

private:
    WebReply answer(const std::string& path) const;

    const WatchStatus& status_;
    std::string saveDir_;
    std::unique_ptr<WebServer> server_;
    std::thread thread_;
};

// The picture under `saveDir` that a request path after "/pictures/" names, or "" when it names
// anything else: an empty or absolute path, a ".." or "." segment, a file that is not an archive
// picture, or one outside the folder once links are followed.
std::string pictureForRequest(const std::string& saveDir, const std::string& relative);

} // namespace kestrix::cli
