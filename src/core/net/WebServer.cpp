#include "core/net/WebServer.h"

#include "core/util/RuntimeModule.h"

namespace kestrix {

namespace {

constexpr RuntimeModule kWebModule{"libkestrix_web.so", "kestrixMakeWebServer",
                                   "KESTRIX_WEB_MODULE", "Status pages", "libcpp-httplib0.11"};

} // namespace

std::unique_ptr<WebServer> makeWebServer(const WebHandler& handler) {
    // Loaded once; a failed load is tried again by the next server.
    static const auto entry = reinterpret_cast<WebModuleEntry>(loadModuleEntry(kWebModule));
    std::unique_ptr<WebServer> server(entry(kWebModuleInterface, handler));
    if (!server)
        throwModuleUnusable(kWebModule, "it belongs to another build of Kestrix");
    return server;
}

} // namespace kestrix
