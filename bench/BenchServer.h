// A loopback HTTP server for the benchmarks that fetch: the same prepared answer to every
// connection, one connection at a time, so that only the client's side is measured.
#pragma once

#include "support/ScriptedServer.h"

#include <atomic>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace kestrix::bench {

// Serves one prepared answer to every connection on 127.0.0.1, one connection at a time. A
// server that stalls reads the request and then says nothing until the client closes.
class BenchServer {
public:
    explicit BenchServer(std::string answer, bool stall = false)
        : answer_(std::move(answer)), stall_(stall),
          listener_(test::detail::listenOnLoopback(16, port_)) {
        thread_ = std::thread([this] { run(); });
    }
    ~BenchServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;

    std::string url(const std::string& path = "/body") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    void run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            serve(fd);
            ::close(fd);
        }
    }

    void serve(int fd) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<size_t>(n));
        }
        if (stall_) {
            // Wait for the client to go, without spending CPU here either.
            while (!stop_) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
                    return;
            }
            return;
        }
        for (size_t sent = 0; sent < answer_.size();) {
            ssize_t n = ::send(fd, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    std::string answer_;
    bool stall_;
    int port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kestrix::bench
