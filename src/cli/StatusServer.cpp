#include "cli/StatusServer.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/watch/PictureArchive.h"

#include <algorithm>
#include <filesystem>

namespace kestrix::cli {

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

StatusServer::StatusServer(const WatchStatus& status, std::string saveDir)
    : status_(status), saveDir_(std::move(saveDir)) {}

StatusServer::~StatusServer() {
    stop();
}

WebReply StatusServer::answer(const std::string& path) const {
    if (path == "/")
        return {200, statusPage(status_.snapshot()), "text/html; charset=utf-8"};
    if (path == "/api/status")
        return {200, statusJson(status_.snapshot()), "application/json"};
    const std::string pictures = "/pictures/";
    if (path.starts_with(pictures)) {
        const std::string file = pictureForRequest(saveDir_, path.substr(pictures.size()));
        std::string bytes;
        try {
            if (!file.empty())
                bytes = readFileBytes(file);
        } catch (const Error&) {
            bytes.clear();
        }
        if (!bytes.empty())
            return {200, std::move(bytes), contentTypeFor(file)};
    }
    return {404, "Not found\n", "text/plain"};
}

void StatusServer::start(const std::string& hostAndPort) {
    const size_t colon = hostAndPort.rfind(':');
    std::string host = colon == std::string::npos ? "127.0.0.1" : hostAndPort.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string portText =
        colon == std::string::npos ? hostAndPort : hostAndPort.substr(colon + 1);
    char* end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || port < 1 || port > 65535)
        throw Error("--serve takes [HOST:]PORT, not " + hostAndPort);

    server_ = makeWebServer([this](const std::string& path) { return answer(path); });
    if (!server_->bind(host, static_cast<int>(port)))
        throw Error("Cannot serve the status page on " + host + ":" + portText);
    thread_ = std::thread([this] { server_->listen(); });
}

void StatusServer::stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

} // namespace kestrix::cli
