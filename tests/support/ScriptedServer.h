// A scripted TCP server on 127.0.0.1 for tests of anything that fetches: it runs on its own
// thread, reads each request up to its blank line, records the bytes, and plays the scripted
// reply of that connection: answer at once or after a delay, drip a few bytes at a time, stall,
// send without end, close early, reset the connection. Also here: a port whose connects never
// complete, a port that never reads, and a port with nobody listening.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestrix::test {

// What the server does with one connection once it has read the request. A plain text is an
// answer sent at once; the setters add the script: Reply(text).drip(1, 5).thenStall().
struct Reply {
    Reply(std::string text = {}) : bytes(std::move(text)) {}

    // Waits before the first byte.
    Reply& after(int ms) {
        delayMs = ms;
        return *this;
    }
    // Sends the text in pieces of `size` bytes, `everyMs` apart.
    Reply& drip(size_t size, int everyMs) {
        dripBytes = size;
        dripEveryMs = everyMs;
        return *this;
    }
    // Then sends `text` again and again until the client goes away.
    Reply& thenEndless(std::string text) {
        endless = std::move(text);
        return *this;
    }
    // Then keeps the connection open, silent, until the client closes it.
    Reply& thenStall() {
        stall = true;
        return *this;
    }
    // Ends with a reset instead of a normal close.
    Reply& thenReset() {
        reset = true;
        return *this;
    }

    std::string bytes;
    int delayMs = 0;
    size_t dripBytes = 0;
    int dripEveryMs = 0;
    std::string endless;
    bool stall = false;
    bool reset = false;
};

// A complete response with status line, header lines (each "Name: value") and body.
inline std::string httpResponse(const std::string& status, const std::string& body = {},
                                const std::vector<std::string>& headers = {}) {
    std::string text = "HTTP/1.0 " + status + "\r\n";
    for (const auto& h : headers)
        text += h + "\r\n";
    return text + "\r\n" + body;
}

namespace detail {

inline sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A listening socket on an ephemeral loopback port.
inline int listenOnLoopback(int backlog, int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    socklen_t length = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace detail

class ScriptedServer {
public:
    // Chooses the reply of connection `index` (from 0) given its request bytes.
    using Responder = std::function<Reply(int index, const std::string& request)>;

    ScriptedServer() : listener_(detail::listenOnLoopback(16, port_)) {
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT" followed by `path`.
    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Replies used in order, one per connection, before the responder is asked.
    void queue(Reply reply) {
        std::lock_guard lock(mutex_);
        queued_.push_back(std::move(reply));
    }
    // Answers connections once the queue is empty; by default they are closed unanswered.
    void respond(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }

    // The request bytes of every connection so far, in order.
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Waits (two seconds at most) until `count` requests have been recorded.
    bool waitForRequests(size_t count) const {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (requests().size() < count && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return requests().size() >= count;
    }

private:
    static constexpr int kSliceMs = 2;

    void run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, kSliceMs) <= 0)
                continue;
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0)
                serve(fd);
        }
    }

    void serve(int fd) {
        std::string request = readRequest(fd);
        Reply reply;
        {
            std::lock_guard lock(mutex_);
            int index = static_cast<int>(requests_.size());
            requests_.push_back(request);
            if (!queued_.empty()) {
                reply = std::move(queued_.front());
                queued_.pop_front();
            } else if (responder_) {
                reply = responder_(index, request);
            }
        }
        play(fd, reply);
        if (reply.reset) {
            linger hard{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(fd);
    }

    // Up to and including the blank line that ends the request header.
    std::string readRequest(int fd) {
        std::string request;
        char buffer[4096];
        while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0)
                request.append(buffer, static_cast<size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                break;
            else
                waitFor(fd, POLLIN);
        }
        return request;
    }

    void play(int fd, const Reply& reply) {
        pause(reply.delayMs);
        size_t piece = reply.dripBytes > 0 ? reply.dripBytes : reply.bytes.size();
        for (size_t at = 0; at < reply.bytes.size(); at += piece) {
            if (at > 0)
                pause(reply.dripEveryMs);
            if (!sendAll(fd, std::string_view(reply.bytes).substr(at, piece)))
                return;
        }
        if (!reply.endless.empty())
            while (sendAll(fd, reply.endless)) {
            }
        if (reply.stall)
            waitForClose(fd);
    }

    // False when the client has gone or the server is stopping.
    bool sendAll(int fd, std::string_view bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            if (stop_)
                return false;
            ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0)
                sent += static_cast<size_t>(n);
            else if (n < 0 && (errno == EAGAIN || errno == EINTR))
                waitFor(fd, POLLOUT);
            else
                return false;
        }
        return true;
    }

    void waitForClose(int fd) {
        char buffer[4096];
        while (!stop_) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return;
            if (n < 0)
                waitFor(fd, POLLIN);
        }
    }

    void pause(int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!stop_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    static void waitFor(int fd, short events) {
        pollfd p{fd, events, 0};
        ::poll(&p, 1, kSliceMs);
    }

    int port_ = 0;
    int listener_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::deque<Reply> queued_;
    Responder responder_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A port that accepts nothing and whose queue is full: a connect to it never completes.
class UnansweredPort {
public:
    UnansweredPort() : listener_(detail::listenOnLoopback(0, port_)) {
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = detail::loopback(port_);
        if (::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot fill the queue of the unanswered port");
    }
    ~UnansweredPort() {
        ::close(filler_);
        ::close(listener_);
    }
    UnansweredPort(const UnansweredPort&) = delete;
    UnansweredPort& operator=(const UnansweredPort&) = delete;

    int port() const { return port_; }

private:
    int port_ = 0;
    int listener_;
    int filler_ = -1;
};

// A port whose connects complete but which never reads or answers: with its small receive
// buffer, a client that sends much soon finds its sends blocked.
class SilentPort {
public:
    SilentPort() {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int small = 1024;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in a = detail::loopback(0);
        socklen_t length = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        listener_ = fd;
        port_ = ntohs(a.sin_port);
    }
    ~SilentPort() { ::close(listener_); }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    int port() const { return port_; }

private:
    int port_ = 0;
    int listener_ = -1;
};

// A loopback port on which nobody listens (it was free a moment ago).
inline int closedPort() {
    int port = 0;
    ::close(detail::listenOnLoopback(1, port));
    return port;
}

} // namespace kestrix::test
