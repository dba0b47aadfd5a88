// PageServer: the small HTTP server behind the watcher's read-only pages. It answers GET and HEAD,
// one request per connection, and is built so that no client can stall it or grow its memory:
// the whole request head must arrive within a deadline, every buffer and queue has a cap, each
// client address may hold only a few connections, and handlers run apart from the socket thread.
#pragma once

#include "core/net/SocketHandle.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrix::web {

struct PageRequest {
    std::string method; // GET or HEAD
    std::string path;   // percent-decoded, valid UTF-8 without control characters; no query
    std::string query;  // as sent, after the first '?'
    std::string client; // the peer's address, such as "127.0.0.1" or "::1"
    // The few header fields the pages read, as sent but trimmed; "" when absent. Several Cookie
    // fields are joined with "; ".
    std::string authorization;
    std::string cookie;
    std::string range;
};

struct PageReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
    // Extra header fields. The server writes the framing fields (Content-Type, Content-Length,
    // Connection) itself; naming one of those here, or a malformed field, answers 500 instead.
    std::vector<std::pair<std::string, std::string>> headers;
};

// Called on one of the handler threads, possibly on several at once.
using PageHandler = std::function<PageReply(const PageRequest&)>;

struct PageLimits {
    // The request line and every header must have arrived within this time of the connect.
    std::chrono::milliseconds headerTimeout{5000};
    // The client must have taken the whole reply within this time of its start.
    std::chrono::milliseconds writeTimeout{10000};
    size_t maxHeaderBytes = 8192;
    // The pages take no request bodies; a larger one is refused unread.
    size_t maxBodyBytes = 1024;
    int maxConnections = 256;
    int maxConnectionsPerClient = 16;
    int handlerThreads = 2;
    // Replies not yet taken by their clients may hold this much memory in all; a large reply
    // that would pass it is answered 503 instead (small ones always pass) until slow readers
    // take theirs or time out.
    size_t maxHeldReplyBytes = 64 << 20;
};

class PageServer {
public:
    explicit PageServer(PageHandler handler, PageLimits limits = {});
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // Takes the address ("127.0.0.1", "::1", "[::1]", a host name, or "" for every address);
    // port 0 picks a free port. Raises "Cannot serve the status page on HOST:PORT: REASON".
    void listen(const std::string& host, int port);
    int port() const { return port_; }

    // Serves on threads of its own until stop().
    void start();
    // Closes every connection and joins the threads; waits only for handlers already running.
    void stop();

    // Connections currently held, in any phase.
    int openConnections() const { return openConnections_.load(); }

private:
    class Loop;

    PageHandler handler_;
    PageLimits limits_;
    int port_ = 0;
    SocketHandle listener_;
    std::atomic<int> openConnections_{0};
    std::unique_ptr<Loop> loop_;
};

} // namespace kestrix::web
