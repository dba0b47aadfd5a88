#include "web/StatusSite.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/watch/PictureArchive.h"
#include "web/StatusPages.h"

#include <algorithm>
#include <filesystem>

namespace kestrix::web {

namespace fs = std::filesystem;

namespace {

const char* contentTypeFor(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    if (extension == ".jpg")
        return "image/jpeg";
    if (extension == ".png")
        return "image/png";
    if (extension == ".gif")
        return "image/gif";
    return "image/bmp";
}

PageReply notFound() {
    return {404, "Not found\n", "text/plain; charset=utf-8", {}};
}

} // namespace

std::string pictureForRequest(const std::string& saveDir, const std::string& relative) {
    if (relative.empty() || relative[0] == '/' || relative.find('\0') != std::string::npos)
        return "";
    for (const auto& segment : fs::path(relative))
        if (segment == ".." || segment == "." || segment.empty())
            return "";
    if (!isArchivePictureName(fs::path(relative).filename().string()))
        return "";
    std::error_code ec;
    const fs::path root = fs::canonical(saveDir, ec);
    const fs::path file = fs::canonical(fs::path(saveDir) / relative, ec);
    if (ec || !fs::is_regular_file(file, ec))
        return "";
    // Inside the folder once symbolic links are resolved.
    const auto inside = std::mismatch(root.begin(), root.end(), file.begin(), file.end()).first;
    return inside == root.end() ? file.string() : "";
}

PageReply StatusSite::answer(const PageRequest& request) const {
    const std::string& path = request.path;
    if (path == "/")
        return {200, statusPage(watcher_.snapshot()), "text/html; charset=utf-8", {}};
    if (path == "/api/status")
        return {200, statusJson(watcher_.snapshot()), "application/json", {}};
    if (path == "/healthz") {
        std::string why;
        if (watcher_.healthy(why))
            return {200, "ok\n", "text/plain; charset=utf-8", {}};
        return {503, why + "\n", "text/plain; charset=utf-8", {}};
    }
    const std::string pictures = "/pictures/";
    if (!path.starts_with(pictures))
        return notFound();
    const std::string file = pictureForRequest(watcher_.saveDir(), path.substr(pictures.size()));
    if (file.empty())
        return notFound();
    try {
        return {200, readFileBytes(file), contentTypeFor(file), {{"Cache-Control", "max-age=60"}}};
    } catch (const Error&) {
        return notFound();
    }
}

std::unique_ptr<PageServer> serveStatusSite(const StatusSite& site,
                                            const std::string& hostAndPort) {
    const size_t colon = hostAndPort.rfind(':');
    std::string host = colon == std::string::npos ? "127.0.0.1" : hostAndPort.substr(0, colon);
    const std::string portText =
        colon == std::string::npos ? hostAndPort : hostAndPort.substr(colon + 1);
    char* end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || port < 1 || port > 65535)
        throw Error("--serve takes [HOST:]PORT, not " + hostAndPort);
    auto server = std::make_unique<PageServer>(
        [&site](const PageRequest& request) { return site.answer(request); });
    server->listen(host, static_cast<int>(port));
    server->start();
    return server;
}

} // namespace kestrix::web
