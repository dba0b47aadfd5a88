// The web module: WebServer over cpp-httplib.
#include "core/net/WebServer.h"

#include <httplib.h>

namespace kestrix {

namespace {

class HttplibServer final : public WebServer {
public:
    explicit HttplibServer(WebHandler handler) : handler_(std::move(handler)) {
        server_.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            const WebReply reply = handler_(request.path);
            response.status = reply.status;
            response.set_content(reply.body, reply.contentType);
        });
    }

    bool bind(const std::string& host, int port) override {
        return server_.bind_to_port(host, port);
    }
    void listen() override { server_.listen_after_bind(); }
    void stop() override { server_.stop(); }

private:
    WebHandler handler_;
    httplib::Server server_;
};

} // namespace

} // namespace kestrix

extern "C" __attribute__((visibility("default"))) kestrix::WebServer*
kestrixMakeWebServer(int interface, const kestrix::WebHandler& handler) {
    if (interface != kestrix::kWebModuleInterface)
        return nullptr;
    return new kestrix::HttplibServer(handler);
}
