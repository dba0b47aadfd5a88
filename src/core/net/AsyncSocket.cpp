// The socket component's waits: lookup on a helper thread, non-blocking connect to each address
// in turn, the TLS handshake, peeking line reads, bulk capture and sending, each polling for a
// few milliseconds between pumps.
#include "core/net/AsyncSocket.h"

#include "core/net/SocketErrors.h"
#include "core/util/Error.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace kestrix {

namespace {

constexpr int kReportStep = 8;
constexpr int kReportTransfer = 4;

[[noreturn]] void fail(const char* text, ErrorKind kind = ErrorKind::Socket) {
    throw Error(text, kind);
}

// An interrupted call is simply tried again, like one that would block.
bool isRetry(int number) {
    return number == kSocketWouldBlock || number == kSocketInterrupted;
}

} // namespace

AsyncSocket::AsyncSocket() : lineBuffer_(kLineBufferSize) {
    if (!openSocket())
        fail("Initializaton of windows sockets failed");
}

bool AsyncSocket::openSocket(int family) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        takeError(errno);
        return false;
    }
    socket_ = SocketHandle(fd);
    family_ = family;
    return true;
}

void AsyncSocket::report(const std::string& text, int level) {
    if (level <= reportLevel_ && onStatus)
        onStatus(*this, text);
}

void AsyncSocket::cancel() {
    report("Canceling", kReportStep);
    canceled_ = true;
}

int AsyncSocket::takeError(int posixErrno) {
    lastError_ = socketErrorNumber(posixErrno);
    return lastError_;
}

void AsyncSocket::armTimer() {
    // Cleared even without a time-out, so a time-out under an earlier setting cannot leak into
    // a later wait.
    timedOut_ = false;
    if (timeOut_ > 0)
        deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOut_);
    else
        deadline_.reset();
}

void AsyncSocket::checkTimer() {
    if (!deadline_ || std::chrono::steady_clock::now() < *deadline_)
        return;
    deadline_.reset();
    report("Timer Triggered", kReportStep);
    timedOut_ = true;
    abort();
}

void AsyncSocket::pumpEvents() {
    if (pump_)
        pump_();
    checkTimer();
}

short AsyncSocket::waitRound(short events) {
    int slice = kWaitSliceMs;
    if (deadline_) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ -
                                                                 std::chrono::steady_clock::now());
        slice = static_cast<int>(std::clamp<int64_t>(left.count(), 0, kWaitSliceMs));
    }
    pollfd p{socket_.get(), events, 0};
    int n = ::poll(&p, 1, slice);
    pumpEvents();
    return n > 0 ? p.revents : 0;
}

void AsyncSocket::connect() {
    report("Connecting", kReportStep);
    canceled_ = false;
    if (connected_)
        fail("Already connected");
    if (!resolveHost()) {
        bool handled = false;
        if (onInvalidHost)
            onInvalidHost(*this, handled);
        if (!handled || !resolveHost())
            fail("Null Remote Address");
    }
    const int port = remotePort();
    if (port < 1 || port > 65535) {
        lastError_ = kSocketCannotAssignAddress;
        throwSocketError(lastError_);
    }

    // A dead or refusing address hands over to the next one; the last one's failure is the
    // fetch's.
    int connectError = 0;
    for (size_t i = 0; i < addresses_.size(); ++i) {
        const bool last = i + 1 == addresses_.size();
        remoteAddress_ = addresses_[i];
        connectError = connectTo(addresses_[i].withPort(port), last ? 0 : kNextAddressMs);
        if (connected_ || timedOut_ || canceled_ || last)
            break;
        socket_.reset(); // the next attempt opens a socket of its address's family
    }
    if (connected_ && !timedOut_ && !canceled_) {
        if (secure_)
            startTls();
        return;
    }
    if (onConnectionFailed)
        onConnectionFailed(*this);
    if (timedOut_)
        fail("Connection Timed out");
    if (canceled_)
        fail("Connection Canceled");
    // A refused or unreachable peer says why; the bare text is left for a failure without one.
    if (connectError > 0)
        throwSocketError(connectError);
    fail("Connection Failed");
}

int AsyncSocket::connectTo(const SocketAddress& address, int limitMs) {
    int connectError = startConnect(address);
    if (connectError != 0 || connected_)
        return connectError;
    WaitTimer timer(*this);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!connected_ && connectError == 0 && !timedOut_ && !canceled_) {
        short ready = waitRound(POLLOUT);
        if (ready != 0)
            connectError = finishConnect(ready);
        else if (limitMs > 0 && std::chrono::steady_clock::now() >= giveUp)
            connectError = kSocketTimedOut;
    }
    return connectError;
}

int AsyncSocket::startConnect(const SocketAddress& address) {
    if ((!socket_.valid() || family_ != address.family()) && !openSocket(address.family()))
        throwSocketError(lastError_);
    if (::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address.storage),
                  address.length) == 0) {
        connected_ = true;
        if (onConnect)
            onConnect(*this);
        return 0;
    }
    int posixErrno = errno;
    int number = takeError(posixErrno);
    if (posixErrno != EINPROGRESS && !isRetry(number))
        return number;
    return 0;
}

void AsyncSocket::startTls() {
    report("Secure Handshake", kReportStep);
    try {
        if (!tlsContext_ || tlsContext_->certificateFile() != tlsOptions_.certificateFile)
            tlsContext_ = makeTlsContext(tlsOptions_.certificateFile);
        tls_ = makeTlsSession(tlsContext_, socket_.get(), remoteName(), tlsOptions_.pins);
        WaitTimer timer(*this);
        for (;;) {
            const TlsSession::Want want = tls_->handshake();
            if (want == TlsSession::Want::Nothing)
                break;
            // The next step is tried only once the socket is ready: an idle handshake costs
            // no more than any other wait.
            const short events = want == TlsSession::Want::Read ? POLLIN : POLLOUT;
            while (waitRound(events) == 0 && !timedOut_ && !canceled_) {
            }
            if (timedOut_)
                fail("Connection Timed out");
            if (canceled_)
                fail("Connection Canceled");
        }
    } catch (...) {
        if (onConnectionFailed)
            onConnectionFailed(*this);
        throw;
    }
}

ssize_t AsyncSocket::tlsWouldBlock(TlsSession::Want want) {
    retryEvents_ = want == TlsSession::Want::Write ? POLLOUT : POLLIN;
    lastError_ = kSocketWouldBlock;
    return -1;
}

ssize_t AsyncSocket::receive(char* into, size_t size, bool peek) {
    retryEvents_ = POLLIN;
    if (tls_) {
        TlsSession::Want want = TlsSession::Want::Nothing;
        const ssize_t n = tls_->read(into, size, peek, want);
        return n < 0 ? tlsWouldBlock(want) : n;
    }
    const ssize_t n = ::recv(socket_.get(), into, size, peek ? MSG_PEEK : 0);
    if (n < 0)
        takeError(errno);
    return n;
}

ssize_t AsyncSocket::transmit(const char* from, size_t size) {
    retryEvents_ = POLLOUT;
    if (tls_) {
        TlsSession::Want want = TlsSession::Want::Nothing;
        const ssize_t n = tls_->write(from, size, want);
        return n < 0 ? tlsWouldBlock(want) : n;
    }
    const ssize_t n = ::send(socket_.get(), from, size, MSG_NOSIGNAL);
    if (n < 0)
        takeError(errno);
    return n;
}

int AsyncSocket::finishConnect(short ready) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0)
        return takeError(error);
    if ((ready & (POLLERR | POLLHUP)) != 0)
        return -1;
    connected_ = true;
    if (onConnect)
        onConnect(*this);
    return 0;
}

bool AsyncSocket::resolveHost() {
    report("Resolve Host", kReportStep);
    std::string name = remoteName();
    addresses_.clear();
    remoteAddress_.reset();
    if (auto numeric = parseNumericAddress(name)) {
        addresses_.push_back(*numeric);
        return true;
    }
    bool lookupDone = false;
    HostLookup lookup(name, resolver_);
    {
        WaitTimer timer(*this);
        while (!lookupDone && !timedOut_ && !canceled_) {
            lookupDone = lookup.waitFor(std::chrono::milliseconds(kWaitSliceMs));
            if (!lookupDone)
                pumpEvents();
        }
    }
    if (timedOut_)
        fail("Host Lookup Timed Out");
    if (canceled_)
        fail("Host Lookup Canceled");
    addresses_ = lookup.addresses();
    if (addresses_.empty())
        return false;
    if (onHostResolved)
        onHostResolved(*this);
    return true;
}

void AsyncSocket::consume(char* into, size_t count) {
    while (count > 0) {
        ssize_t n = receive(into, count, false);
        if (n <= 0) {
            int number = n < 0 ? lastError_ : kSocketNotConnected;
            if (!isRetry(number))
                throwSocketError(number);
            continue;
        }
        into += n;
        count -= static_cast<size_t>(n);
    }
}

std::string AsyncSocket::readLn() {
    report("ReadLn", kReportStep);
    WaitTimer timer(*this);
    char* buffer = lineBuffer_.data();
    size_t taken = 0; // bytes of this line already removed from the socket
    for (;;) {
        ssize_t n = receive(buffer + taken, kLineBufferSize - taken, true);
        if (n == 0)
            return {};
        if (n > 0) {
            char* begin = buffer + taken;
            char* end = begin + n;
            char* lf = std::find(begin, end, '\n');
            if (lf != end) {
                consume(begin, static_cast<size_t>(lf + 1 - begin));
                return std::string(buffer, lf + 1);
            }
            consume(begin, static_cast<size_t>(n));
            taken += static_cast<size_t>(n);
            if (taken == kLineBufferSize)
                fail("Header line too long");
            pumpEvents();
        } else {
            int number = lastError_;
            // The socket was closed under the reader: that ends the header.
            if (number == kSocketNotConnected)
                return {};
            if (!isRetry(number))
                throwSocketError(number);
            waitRound(retryEvents_);
        }
        if (canceled_) {
            canceled_ = false;
            fail("Socket readln aborted", ErrorKind::SocketAbort);
        }
    }
}

void AsyncSocket::captureString(std::string& result, size_t limit, size_t expected) {
    report("Capture String", kReportStep);
    bytesReceived_ = 0;
    WaitTimer timer(*this);
    // The bytes already in `result` are overwritten, so only growth is ever filled; one byte
    // beyond the expected length leaves room to read the close.
    size_t used = 0;
    const size_t room = expected > 0 ? std::min(expected, limit) + 1 : kLineBufferSize;
    if (result.size() < room)
        result.resize(room);
    while (!canceled_) {
        if (used == result.size())
            result.resize(std::min(std::max(result.size() * 2, kLineBufferSize), limit + 1));
        // At most a line buffer per read, so that each packet event reports what it says.
        const ssize_t n =
            receive(result.data() + used, std::min(result.size() - used, kLineBufferSize), false);
        if (n == 0)
            break;
        if (n > 0) {
            used += static_cast<size_t>(n);
            if (used > limit) {
                result.resize(limit);
                fail("Response too large", ErrorKind::General);
            }
            bytesReceived_ += static_cast<int32_t>(n);
            packetReceived();
            armTimer();
            pumpEvents();
            continue;
        }
        const int number = lastError_;
        if (number == kSocketNotConnected)
            break;
        if (!isRetry(number)) {
            result.resize(used);
            throwSocketError(number);
        }
        waitRound(retryEvents_);
    }
    result.resize(used);
    if (canceled_) {
        canceled_ = false;
        fail("Socket capture aborted", ErrorKind::SocketAbort);
    }
}

void AsyncSocket::captureUntil(std::string& result, size_t limit,
                               const std::function<bool(std::string& received)>& enough) {
    report("Capture String", kReportStep);
    result.clear();
    bytesReceived_ = 0;
    WaitTimer timer(*this);
    while (!canceled_) {
        ssize_t n = receive(lineBuffer_.data(), kLineBufferSize, false);
        if (n == 0)
            break;
        if (n > 0) {
            if (static_cast<size_t>(n) > limit - result.size())
                fail("Response too large", ErrorKind::General);
            result.append(lineBuffer_.data(), static_cast<size_t>(n));
            bytesReceived_ += static_cast<int32_t>(n);
            packetReceived();
            if (enough && enough(result))
                return;
            armTimer();
            pumpEvents();
            continue;
        }
        int number = lastError_;
        if (number == kSocketNotConnected)
            break;
        if (!isRetry(number))
            throwSocketError(number);
        waitRound(retryEvents_);
    }
    if (canceled_) {
        canceled_ = false;
        fail("Socket capture aborted", ErrorKind::SocketAbort);
    }
}

void AsyncSocket::sendBuffer(std::string_view bytes) {
    report("Sending Buffer", kReportTransfer);
    WaitTimer timer(*this);
    size_t sent = 0;
    while (sent < bytes.size() && !canceled_) {
        ssize_t n = transmit(bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            break;
        int number = lastError_;
        if (!isRetry(number))
            throwSocketError(number);
        waitRound(retryEvents_);
    }
    if (canceled_) {
        canceled_ = false;
        fail("Socket send aborted", ErrorKind::SocketAbort);
    }
}

void AsyncSocket::disconnect() {
    report("Disconnecting", kReportStep);
    closeSocket();
}

void AsyncSocket::closeSocket() {
    report("Request Close Socket", kReportTransfer);
    if (tls_)
        tls_->shutdown();
    tls_.reset();
    connected_ = false;
    socket_.reset();
    if (onDisconnect)
        onDisconnect(*this);
    // A socket that cannot be had now is asked for again by the next Connect.
    openSocket();
}

} // namespace kestrix
