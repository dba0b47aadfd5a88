// Shared by the page server tests: a server with a few test pages, raw clients on loopback
// sockets, and the process's own memory and descriptor figures.
#pragma once

#include "core/net/SocketHandle.h"
#include "web/PageServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/socket.h>

namespace kestrix::test {

using TestClock = std::chrono::steady_clock;

inline double millisecondsSince(TestClock::time_point start) {
    return std::chrono::duration<double, std::milli>(TestClock::now() - start).count();
}

// "/missing" is a 404, "/throw" throws, "/cache" sets its own Cache-Control, "/bad-field" sets a
// field that would split the reply, "/large" is 16 MB, "/wait" blocks until `gate` opens; any
// other path echoes "METHOD|PATH|QUERY|CLIENT".
inline web::PageHandler testPages(const std::shared_future<void>& gate = {}) {
    return [gate](const web::PageRequest& request) {
        web::PageReply reply;
        if (request.path == "/missing") {
            reply.status = 404;
            reply.body = "gone\n";
            return reply;
        }
        if (request.path == "/throw")
            throw std::runtime_error("page failed");
        if (request.path == "/cache")
            reply.headers.emplace_back("Cache-Control", "max-age=60");
        if (request.path == "/bad-field")
            reply.headers.emplace_back("X-Note", "a\r\nSet-Cookie: b=c");
        if (request.path == "/large") {
            reply.body.assign(16 << 20, 'p');
            return reply;
        }
        if (request.path == "/wait" && gate.valid())
            gate.wait();
        reply.body =
            request.method + "|" + request.path + "|" + request.query + "|" + request.client;
        return reply;
    };
}

inline std::unique_ptr<web::PageServer> startServer(const web::PageLimits& limits = {},
                                                    const std::shared_future<void>& gate = {}) {
    auto server = std::make_unique<web::PageServer>(testPages(gate), limits);
    server->listen("127.0.0.1", 0);
    server->start();
    return server;
}

// A blocking client connected to 127.0.0.1:port from `source` (any 127.x.y.z works on Linux
// without setup, which gives the tests several client addresses). Time-outs of 3 s make a fault
// fail the test instead of hanging it. `receiveBuffer` (0: the default) makes a slow reader.
inline SocketHandle connectClient(int port, const std::string& source = "127.0.0.1",
                                  int receiveBuffer = 0) {
    SocketHandle client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval limit{3, 0};
    setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (receiveBuffer > 0)
        setsockopt(client.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (bind(client.get(), reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(client.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
        client.reset();
    return client;
}

inline bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

// Everything until the server closes (or resets, or 3 s pass).
inline std::string readAll(int fd) {
    std::string bytes;
    char buffer[16384];
    for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;)
        bytes.append(buffer, static_cast<size_t>(got));
    return bytes;
}

inline std::string exchange(int port, std::string_view request,
                            const std::string& source = "127.0.0.1") {
    const SocketHandle client = connectClient(port, source);
    sendAll(client.get(), request);
    return readAll(client.get());
}

inline std::string getRequest(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: kestrix.test\r\n\r\n";
}

inline int statusOf(const std::string& response) {
    return response.starts_with("HTTP/1.1 ") && response.size() >= 12
               ? std::stoi(response.substr(9, 3))
               : 0;
}

// The value of a reply's field, or "(none)".
inline std::string fieldOf(const std::string& response, const std::string& name) {
    const size_t headEnd = response.find("\r\n\r\n");
    const size_t at = response.find("\r\n" + name + ": ");
    if (at == std::string::npos || at >= headEnd)
        return "(none)";
    const size_t begin = at + name.size() + 4;
    return response.substr(begin, response.find("\r\n", begin) - begin);
}

inline std::string bodyOf(const std::string& response) {
    const size_t headEnd = response.find("\r\n\r\n");
    return headEnd == std::string::npos ? "" : response.substr(headEnd + 4);
}

// Milliseconds a healthy client waits for a whole "GET /" answer; -1 when it is not a 200.
inline double timedGet(int port, const std::string& source = "127.0.0.1") {
    const auto start = TestClock::now();
    const std::string response = exchange(port, getRequest("/"), source);
    return statusOf(response) == 200 ? millisecondsSince(start) : -1;
}

inline long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return -1;
}

inline int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace kestrix::test
