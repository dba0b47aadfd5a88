// AsyncSocket: the TCP client socket under the HTTP client. Host lookup, connect (to each address
// of the name in turn, IPv4 or IPv6), the TLS handshake of a secure connection, line and bulk
// reading and sending all run on the caller's thread without blocking it: every wait blocks in
// poll() for a few milliseconds at most and then calls the owner's pump, so the user interface
// stays live and a Cancel issued from inside the pump (a click, a clock tick) ends the wait.
#pragma once

#include "core/net/HostLookup.h"
#include "core/net/SocketHandle.h"
#include "core/net/TlsSession.h"
#include "core/util/Pump.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

class AsyncSocket {
public:
    using Event = std::function<void(AsyncSocket& sender)>;
    // The handler sets `handled` to true when it has dealt with the situation.
    using HandledEvent = std::function<void(AsyncSocket& sender, bool& handled)>;
    using StatusEvent = std::function<void(AsyncSocket& sender, const std::string& text)>;

    // The size of the line buffer: the longest header line and the largest single read.
    static constexpr size_t kLineBufferSize = 65536;
    // The longest a wait blocks before it lets the owner handle its events.
    static constexpr int kWaitSliceMs = 4;
    // How long a connect to one of several addresses may take before the next one is tried.
    static constexpr int kNextAddressMs = 5000;

    // Creates the socket at once; failing that raises "Initializaton of windows sockets failed".
    AsyncSocket();
    virtual ~AsyncSocket() = default;
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    const std::string& host() const { return host_; }
    void setHost(std::string host) { host_ = std::move(host); }
    int port() const { return port_; }
    void setPort(int port) { port_ = port; }
    // Milliseconds allowed for each wait; 0 means no time-out.
    int timeOut() const { return timeOut_; }
    void setTimeOut(int milliseconds) { timeOut_ = milliseconds; }
    // Status reports at or below this level reach OnStatus; 0 silences them all.
    int reportLevel() const { return reportLevel_; }
    void setReportLevel(int level) { reportLevel_ = level; }
    // A secure connection runs TLS over the socket, trusting what the options say.
    bool secure() const { return secure_; }
    void setSecure(bool secure) { secure_ = secure; }
    const TlsOptions& tlsOptions() const { return tlsOptions_; }
    void setTlsOptions(TlsOptions options) { tlsOptions_ = std::move(options); }

    Event onDisconnect;
    Event onConnect;
    // Fired when the host cannot be resolved; a handled failure is resolved once more.
    HandledEvent onInvalidHost;
    Event onHostResolved;
    StatusEvent onStatus;
    Event onConnectionFailed;

    // Called between the short blocking rounds of every wait. The default does nothing.
    void setPump(Pump pump) { pump_ = std::move(pump); }
    // The blocking lookup run on the helper thread; the system resolver by default.
    void setResolver(HostResolver resolver) { resolver_ = std::move(resolver); }

    // Looks the host up and connects to its addresses in turn until one answers; a secure
    // connection then completes its TLS handshake.
    void connect();
    // Closes the connection and makes a fresh socket ready.
    void disconnect();
    // Ends the wait in progress with its error; a Cancel between waits is cleared by Connect.
    void cancel();
    // What the time-out does: a Cancel without a report.
    void abort() { canceled_ = true; }
    // For a wait that is not the socket's own (a camera stream read elsewhere): it starts with no
    // Cancel pending, and each poll runs the owner's pump and answers whether a Cancel came.
    void beginOtherWait() { canceled_ = false; }
    bool pollOtherWait() {
        pumpEvents();
        return canceled_;
    }

    // One line of the response header with its line end (CR LF or LF); empty once the server
    // has closed.
    std::string readLn();
    // Reads the rest of the stream into `into` (its old bytes replaced, its capacity kept), up to
    // `limit` bytes; more raises "Response too large". The bytes arrive in place, without a
    // copy; `expected` (a Content-Length) sizes the buffer once.
    void captureString(std::string& into, size_t limit, size_t expected = 0);
    // The same, but after each chunk `enough` is given what `into` holds; it may take bytes out
    // of it (to decode them elsewhere), and the capture ends as soon as it answers true (a stream
    // that never ends); the rest stays unread.
    void captureUntil(std::string& into, size_t limit,
                      const std::function<bool(std::string& received)>& enough);

    bool connected() const { return connected_; }
    bool canceled() const { return canceled_; }
    bool timedOut() const { return timedOut_; }
    // Bytes of the body received so far in this transfer. Until a body begins it still holds the
    // previous transfer's total, as the window's stall count expects.
    int32_t bytesReceived() const { return bytesReceived_; }
    // Starts the count of the next transfer at 0 now, for an owner that reports each transfer's
    // own bytes.
    void clearBytesReceived() { bytesReceived_ = 0; }
    // The last socket error number (see SocketErrors.h).
    int lastError() const { return lastError_; }
    // The address connected to (or last tried).
    std::optional<SocketAddress> remoteAddress() const { return remoteAddress_; }
    // The socket descriptor, for options an owner wants to set (in OnConnect, say); it changes
    // with every Disconnect.
    int socket() const { return socket_.get(); }

protected:
    // Sends every byte, waiting while the socket's buffer is full.
    void sendBuffer(std::string_view bytes);
    // Fires OnStatus when `level` is at or below reportLevel.
    void report(const std::string& text, int level);
    // The name looked up and the port connected to; the HTTP client substitutes its proxy.
    virtual std::string remoteName() const { return host_; }
    virtual int remotePort() const { return port_; }
    // Called after each chunk that captureString appends.
    virtual void packetReceived() {}
    void closeSocket();

private:
    // Arms the time-out for one wait and stops it on every way out.
    class WaitTimer {
    public:
        explicit WaitTimer(AsyncSocket& socket) : socket_(socket) { socket_.armTimer(); }
        ~WaitTimer() { socket_.deadline_.reset(); }
        WaitTimer(const WaitTimer&) = delete;
        WaitTimer& operator=(const WaitTimer&) = delete;

    private:
        AsyncSocket& socket_;
    };

    bool openSocket(int family = AF_INET);
    // Looks the remote name up; false when it has no address. Raises on time-out and cancel.
    bool resolveHost();
    // Starts a connect to `address`: 0, or the socket error number of an immediate failure.
    int startConnect(const SocketAddress& address);
    // Connects to one address, waiting at most `limitMs` (0: the time-out alone); answers 0 or
    // the socket error number.
    int connectTo(const SocketAddress& address, int limitMs);
    // The TLS handshake of a secure connection, with the waits of a connect.
    void startTls();
    // Reads or peeks from the connection (through TLS when secure): the count, 0 when the peer
    // has closed, -1 with lastError set (and retryEvents_ saying what to wait for).
    ssize_t receive(char* into, size_t size, bool peek);
    ssize_t transmit(const char* from, size_t size);
    // Takes the would-block of a TLS call.
    ssize_t tlsWouldBlock(TlsSession::Want want);
    // The outcome of a connect that the socket reports ready: 0 or a socket error number.
    int finishConnect(short ready);
    void armTimer();
    void checkTimer();
    // The owner's events, then the time-out.
    void pumpEvents();
    // Blocks until the socket is ready for `events` or one slice passes, then pumps once.
    // Answers the ready events.
    short waitRound(short events);
    // Records errno as lastError and answers it as a socket error number.
    int takeError(int posixErrno);
    // Removes `count` bytes that a peek has shown to be waiting.
    void consume(char* into, size_t count);

    std::string host_;
    int port_ = 0;
    int timeOut_ = 0;
    int reportLevel_ = 1;
    Pump pump_;
    HostResolver resolver_ = resolveWithSystem;
    SocketHandle socket_;
    int family_ = AF_INET;
    short retryEvents_ = POLLIN;
    bool secure_ = false;
    TlsOptions tlsOptions_;
    std::shared_ptr<TlsContext> tlsContext_;
    std::unique_ptr<TlsSession> tls_;
    bool connected_ = false;
    bool canceled_ = false;
    bool timedOut_ = false;
    std::vector<SocketAddress> addresses_;
    std::optional<SocketAddress> remoteAddress_;
    std::vector<char> lineBuffer_;
    int32_t bytesReceived_ = 0;
    int lastError_ = 0;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

} // namespace kestrix
