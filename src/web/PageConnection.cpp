#include "web/PageConnection.h"

#include "web/RequestHead.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace kestrix::web {

namespace {

// Bytes read from one connection per poll round, so that one fast sender cannot starve the rest.
constexpr size_t kRoundBytes = 64 * 1024;
// After the reply, what the client still sends is dropped up to this much; past it the
// connection is reset rather than read on, so a refused upload costs little.
constexpr size_t kDrainLimit = 1024 * 1024;
// How long a client that has its reply may keep its connection open.
constexpr std::chrono::milliseconds kLinger{1000};

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

} // namespace

PageConnection::PageConnection(SocketHandle socket, std::string client, const PageLimits& limits,
                               SteadyTime now)
    : socket_(std::move(socket)), client_(std::move(client)), limits_(limits),
      deadline_(now + limits.headerTimeout), writeDeadline_(deadline_) {}

short PageConnection::pollEvents() const {
    switch (phase_) {
    case Phase::Head:
    case Phase::Draining:
        return POLLIN;
    case Phase::Writing:
        return POLLOUT;
    default:
        return 0;
    }
}

std::optional<PageRequest> PageConnection::onReadable(std::span<char> scratch, SteadyTime now) {
    if (phase_ == Phase::Head)
        return readHead(scratch, now);
    if (phase_ == Phase::Draining)
        drain(scratch);
    return std::nullopt;
}

std::optional<PageRequest> PageConnection::readHead(std::span<char> scratch, SteadyTime now) {
    for (;;) {
        const size_t room = limits_.maxHeaderBytes - received_.size();
        if (room == 0) {
            refuse(431, received_.starts_with("HEAD "), now);
            return std::nullopt;
        }
        const ssize_t got = recv(fd(), scratch.data(), std::min(room, scratch.size()), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && wouldBlock(errno))
            return std::nullopt;
        if (got <= 0) {
            close(false);
            return std::nullopt;
        }
        if (received_.empty())
            received_.reserve(limits_.maxHeaderBytes);
        const size_t searched = received_.size();
        received_.append(scratch.data(), static_cast<size_t>(got));
        const size_t end = findHeadEnd(received_, searched);
        if (end == std::string::npos)
            continue;
        ParsedHead parsed =
            parseRequestHead(std::string_view(received_).substr(0, end), limits_.maxBodyBytes);
        const bool headRequest = received_.starts_with("HEAD ");
        // A small body, or whatever follows, is dropped while draining after the reply.
        std::string().swap(received_);
        if (parsed.refusal != 0) {
            refuse(parsed.refusal, headRequest, now);
            return std::nullopt;
        }
        parsed.request.client = client_;
        phase_ = Phase::Handling;
        deadline_ = SteadyTime::max();
        return std::move(parsed.request);
    }
}

void PageConnection::refuse(int status, bool headRequest, SteadyTime now) {
    std::string().swap(received_);
    startReply(renderReply(refusal(status), headRequest, std::time(nullptr)), now);
}

void PageConnection::startReply(ReplyBytes reply, SteadyTime now) {
    reply_ = std::move(reply);
    sent_ = 0;
    phase_ = Phase::Writing;
    writeDeadline_ = now + limits_.writeTimeout;
    deadline_ = writeDeadline_;
    // Most replies fit in the socket's buffer at once: no need to wait for a poll round.
    onWritable(now);
}

void PageConnection::onWritable(SteadyTime now) {
    const size_t total = reply_.head.size() + reply_.body.size();
    while (sent_ < total) {
        iovec parts[2];
        int count = 0;
        if (sent_ < reply_.head.size())
            parts[count++] = {reply_.head.data() + sent_, reply_.head.size() - sent_};
        const size_t bodyFrom = sent_ > reply_.head.size() ? sent_ - reply_.head.size() : 0;
        if (bodyFrom < reply_.body.size())
            parts[count++] = {reply_.body.data() + bodyFrom, reply_.body.size() - bodyFrom};
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<size_t>(count);
        // MSG_NOSIGNAL: a client that has gone must not raise SIGPIPE in the whole process.
        const ssize_t put = sendmsg(fd(), &message, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && wouldBlock(errno))
            return;
        if (put < 0) {
            close(false);
            return;
        }
        sent_ += static_cast<size_t>(put);
    }
    finishWriting(now);
}

void PageConnection::finishWriting(SteadyTime now) {
    reply_ = {};
    // The FIN follows the reply; reading on lets the client's late bytes arrive without making
    // the kernel answer them with a reset that could overtake the reply.
    shutdown(fd(), SHUT_WR);
    phase_ = Phase::Draining;
    deadline_ = std::min(writeDeadline_, now + kLinger);
}

void PageConnection::drain(std::span<char> scratch) {
    size_t round = 0;
    while (round < kRoundBytes) {
        const ssize_t got = recv(fd(), scratch.data(), scratch.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && wouldBlock(errno))
            return;
        if (got <= 0) {
            close(false);
            return;
        }
        round += static_cast<size_t>(got);
        drained_ += static_cast<size_t>(got);
        if (drained_ > kDrainLimit) {
            close(true);
            return;
        }
    }
}

void PageConnection::onDeadline(SteadyTime now) {
    switch (phase_) {
    case Phase::Head:
        // A connection that never said anything gets no answer; a trickled head gets a 408.
        if (received_.empty())
            close(false);
        else
            refuse(408, received_.starts_with("HEAD "), now);
        break;
    case Phase::Writing:
        close(true);
        break;
    case Phase::Draining: {
        int unsent = 0;
        if (ioctl(fd(), SIOCOUTQ, &unsent) != 0)
            unsent = 0;
        if (unsent > 0 && now < writeDeadline_)
            deadline_ = writeDeadline_;
        else
            close(unsent > 0);
        break;
    }
    default:
        break;
    }
}

void PageConnection::close(bool abort) {
    if (abort) {
        // A reset frees the kernel's copy of a reply the client will never take, at once rather
        // than after minutes of retries.
        const linger reset{1, 0};
        setsockopt(fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    socket_.reset();
    received_ = {};
    reply_ = {};
    phase_ = Phase::Closed;
}

} // namespace kestrix::web
