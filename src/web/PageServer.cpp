#include "web/PageServer.h"

#include "core/util/Error.h"
#include "web/HandlerPool.h"
#include "web/Listener.h"
#include "web/PageConnection.h"
#include "web/ReplyText.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unordered_map>
#include <vector>

namespace kestrix::web {

namespace {

// Connections taken from the listening socket per poll round; the rest wait for the next one, so
// a connect flood cannot starve the clients already in.
constexpr int kAcceptBurst = 64;
// Out of descriptors, a waiting connection cannot be taken and the listening socket stays
// readable: accepting pauses instead of spinning.
constexpr std::chrono::milliseconds kAcceptPause{100};
// Longer poll waits gain nothing; the clamp keeps the millisecond count in range.
constexpr std::chrono::milliseconds kLongestWait{60000};

// A reply up to this size is never refused for the memory held by others.
constexpr size_t kSmallReplyBytes = 64 * 1024;

// A reply made on a handler thread, waiting for the socket thread to send it.
struct FinishedReply {
    uint64_t connection;
    ReplyBytes bytes;
};

} // namespace

// The socket thread and what it owns. Only that thread touches the connections; handler threads
// hand their replies over through `finished_` and the wake descriptor.
class PageServer::Loop {
public:
    Loop(SocketHandle listener, const PageHandler& handler, const PageLimits& limits,
         std::atomic<int>& open);
    ~Loop();
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

private:
    void run();
    int pollTimeout(SteadyTime now) const;
    void serve(uint64_t id, short events, SteadyTime now);
    void dispatch(uint64_t id, PageConnection& connection, PageRequest request, SteadyTime now);
    void answer(uint64_t id, const PageRequest& request);
    void takeFinished(SteadyTime now);
    void expireAndForget(SteadyTime now);
    void acceptWaiting(SteadyTime now);
    void turnAway(int fd);

    const PageHandler& handler_;
    const PageLimits limits_;
    std::atomic<int>& open_;
    SocketHandle listener_;
    SocketHandle wake_;
    std::atomic<bool> stopping_{false};
    // The bytes of replies still to be sent; recounted by the socket thread every round.
    std::atomic<size_t> heldReplyBytes_{0};
    std::unordered_map<uint64_t, PageConnection> connections_;
    std::unordered_map<std::string, int> perClient_;
    uint64_t nextId_ = 1;
    SteadyTime acceptPausedUntil_{};
    std::array<char, 16 * 1024> scratch_{};
    std::mutex finishedMutex_;
    std::vector<FinishedReply> finished_;
    // After everything its tasks touch, so that it is joined before those go.
    HandlerPool pool_;
    std::thread thread_;
};

PageServer::Loop::Loop(SocketHandle listener, const PageHandler& handler, const PageLimits& limits,
                       std::atomic<int>& open)
    : handler_(handler), limits_(limits), open_(open), listener_(std::move(listener)),
      wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      pool_(limits.handlerThreads, static_cast<size_t>(std::max(limits.maxConnections, 1))) {
    if (!wake_.valid())
        throw Error(std::string("Cannot start the status page: ") + std::strerror(errno));
    thread_ = std::thread([this] { run(); });
}

PageServer::Loop::~Loop() {
    stopping_.store(true);
    eventfd_write(wake_.get(), 1);
    thread_.join();
}

void PageServer::Loop::run() {
    std::vector<pollfd> polled;
    std::vector<uint64_t> ids;
    while (!stopping_.load()) {
        SteadyTime now = std::chrono::steady_clock::now();
        polled.assign({{wake_.get(), POLLIN, 0},
                       {now >= acceptPausedUntil_ ? listener_.get() : -1, POLLIN, 0}});
        ids.clear();
        for (const auto& [id, connection] : connections_) {
            if (const short events = connection.pollEvents()) {
                polled.push_back({connection.fd(), events, 0});
                ids.push_back(id);
            }
        }
        if (poll(polled.data(), polled.size(), pollTimeout(now)) < 0)
            continue;
        now = std::chrono::steady_clock::now();
        if (polled[0].revents != 0) {
            eventfd_t count = 0;
            eventfd_read(wake_.get(), &count);
        }
        takeFinished(now);
        for (size_t i = 2; i < polled.size(); ++i)
            if (polled[i].revents != 0)
                serve(ids[i - 2], polled[i].revents, now);
        expireAndForget(now);
        if ((polled[1].revents & POLLIN) != 0)
            acceptWaiting(now);
        size_t held = 0;
        for (const auto& entry : connections_)
            held += entry.second.heldBytes();
        heldReplyBytes_.store(held);
        open_.store(static_cast<int>(connections_.size()));
    }
}

int PageServer::Loop::pollTimeout(SteadyTime now) const {
    SteadyTime next = now < acceptPausedUntil_ ? acceptPausedUntil_ : SteadyTime::max();
    for (const auto& entry : connections_)
        next = std::min(next, entry.second.deadline());
    if (next == SteadyTime::max())
        return -1;
    if (next <= now)
        return 0;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
    return static_cast<int>(std::min(wait, kLongestWait).count());
}

void PageServer::Loop::serve(uint64_t id, short events, SteadyTime now) {
    PageConnection& connection = connections_.at(id);
    if (connection.phase() == PageConnection::Phase::Writing) {
        connection.onWritable(now);
        return;
    }
    // A hang-up or an error is read as well: the read reports it and closes.
    if ((events & (POLLIN | POLLHUP | POLLERR)) == 0)
        return;
    if (auto request = connection.onReadable(scratch_, now))
        dispatch(id, connection, std::move(*request), now);
}

void PageServer::Loop::dispatch(uint64_t id, PageConnection& connection, PageRequest request,
                                SteadyTime now) {
    const bool headRequest = request.method == "HEAD";
    // The queue holds at most one task per connection, so it is full only when the connection
    // cap was raised under it; the client is told to come back.
    if (!pool_.trySubmit([this, id, request = std::move(request)] { answer(id, request); }))
        connection.startReply(renderReply(refusal(503), headRequest, std::time(nullptr)), now);
}

// On a handler thread.
void PageServer::Loop::answer(uint64_t id, const PageRequest& request) {
    PageReply reply;
    try {
        reply = handler_(request);
        const size_t size = request.method == "HEAD" ? 0 : reply.body.size();
        // Small replies always pass, so that the status itself stays up while slow readers hold
        // pictures; a connection's worth of them is little even at the connection cap.
        if (size > kSmallReplyBytes && heldReplyBytes_.load() + size > limits_.maxHeldReplyBytes)
            reply = refusal(503);
        else
            heldReplyBytes_ += size; // at once, so that other handler threads see it too
    } catch (...) {
        // Whatever a page throws, its client gets an answer and the server stays up.
        reply = refusal(500);
    }
    ReplyBytes bytes = renderReply(std::move(reply), request.method == "HEAD", std::time(nullptr));
    {
        std::lock_guard lock(finishedMutex_);
        finished_.push_back({id, std::move(bytes)});
    }
    eventfd_write(wake_.get(), 1);
}

void PageServer::Loop::takeFinished(SteadyTime now) {
    std::vector<FinishedReply> done;
    {
        std::lock_guard lock(finishedMutex_);
        done.swap(finished_);
    }
    for (FinishedReply& finished : done) {
        const auto found = connections_.find(finished.connection);
        if (found != connections_.end() && found->second.phase() == PageConnection::Phase::Handling)
            found->second.startReply(std::move(finished.bytes), now);
    }
}

void PageServer::Loop::expireAndForget(SteadyTime now) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        PageConnection& connection = it->second;
        if (connection.phase() != PageConnection::Phase::Closed && connection.deadline() <= now)
            connection.onDeadline(now);
        if (connection.phase() != PageConnection::Phase::Closed) {
            ++it;
            continue;
        }
        const auto client = perClient_.find(connection.client());
        if (client != perClient_.end() && --client->second <= 0)
            perClient_.erase(client);
        it = connections_.erase(it);
    }
}

void PageServer::Loop::acceptWaiting(SteadyTime now) {
    for (int i = 0; i < kAcceptBurst; ++i) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        SocketHandle socket(accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length,
                                    SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket.valid()) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                acceptPausedUntil_ = now + kAcceptPause;
            return;
        }
        std::string client = addressText(address);
        const auto held = perClient_.find(client);
        if (static_cast<int>(connections_.size()) >= limits_.maxConnections ||
            (held != perClient_.end() && held->second >= limits_.maxConnectionsPerClient)) {
            turnAway(socket.get());
            continue;
        }
        ++perClient_[client];
        connections_.try_emplace(nextId_++, std::move(socket), std::move(client), limits_, now);
    }
}

// A connection over a cap gets a 503 if its buffer takes it at once, and is closed either way;
// it never waits for anything.
void PageServer::Loop::turnAway(int fd) {
    // What already arrived is read first: closing over unread bytes would reset the connection
    // and could throw the answer away.
    for (int i = 0; i < 4 && recv(fd, scratch_.data(), scratch_.size(), MSG_DONTWAIT) > 0; ++i) {
    }
    const ReplyBytes busy = renderReply(refusal(503), false, std::time(nullptr));
    const std::string bytes = busy.head + busy.body;
    if (send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0)
        shutdown(fd, SHUT_WR);
}

PageServer::PageServer(PageHandler handler, PageLimits limits)
    : handler_(std::move(handler)), limits_(limits) {}

PageServer::~PageServer() {
    stop();
}

void PageServer::listen(const std::string& host, int port) {
    listener_ = openListener(host, port);
    port_ = localPort(listener_.get());
}

void PageServer::start() {
    if (loop_)
        return;
    if (!listener_.valid())
        throw Error("Cannot start the status page: it has no address to serve on");
    loop_ = std::make_unique<Loop>(std::move(listener_), handler_, limits_, openConnections_);
}

void PageServer::stop() {
    loop_.reset();
    listener_.reset();
    openConnections_.store(0);
}

} // namespace kestrix::web
