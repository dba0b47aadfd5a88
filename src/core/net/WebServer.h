// A small HTTP server for read-only pages, from the web module (cpp-httplib), which is opened
// when the first server is made. It answers GET and HEAD requests.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace kestrix {

struct WebReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
};

// Answers a request for the (decoded) path, such as "/api/status". Called on the server's
// threads.
using WebHandler = std::function<WebReply(const std::string& path)>;

class WebServer {
public:
    virtual ~WebServer() = default;
    // Takes the address; false when it cannot.
    virtual bool bind(const std::string& host, int port) = 0;
    // Serves until stop(); runs on the caller's thread.
    virtual void listen() = 0;
    virtual void stop() = 0;
};

// Raises when the web module cannot be loaded.
std::unique_ptr<WebServer> makeWebServer(const WebHandler& handler);

// Changes whenever the entry or the classes above change.
constexpr int kWebModuleInterface = 1;
using WebModuleEntry = WebServer* (*)(int interface, const WebHandler& handler);

} // namespace kestrix
