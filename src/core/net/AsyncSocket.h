// TAsyncSocket: the TCP client socket under the HTTP client. Host lookup, connect, line and bulk
// reading and sending all run on the caller's thread without blocking it: every wait blocks in
// poll() for a few milliseconds at most and then calls the owner's pump, so the user interface
// stays live and a Cancel issued from inside the pump (a click, a clock tick) ends the wait.
#pragma once

#include "net/HostLookup.h"
#include "net/SocketHandle.h"
#include "util/Pump.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

class TAsyncSocket {
public:
    using Event = std::function<void(TAsyncSocket& sender)>;
    // The handler sets `handled` to true when it has dealt with the situation.
    using HandledEvent = std::function<void(TAsyncSocket& sender, bool& handled)>;
    using StatusEvent = std::function<void(TAsyncSocket& sender, const std::string& text)>;

    // The size of the line buffer: the longest header line and the largest single read.
    static constexpr size_t kLineBufferSize = 65536;
    // The longest a wait blocks before it lets the owner handle its events.
    static constexpr int kWaitSliceMs = 4;

    // Creates the socket at once; failing that raises "Initializaton of windows sockets failed".
    TAsyncSocket();
    virtual ~TAsyncSocket() = default;
    TAsyncSocket(const TAsyncSocket&) = delete;
    TAsyncSocket& operator=(const TAsyncSocket&) = delete;

    const std::string& Host() const { return host_; }
    void setHost(std::string host) { host_ = std::move(host); }
    int Port() const { return port_; }
    void setPort(int port) { port_ = port; }
    // Milliseconds allowed for each wait; 0 means no time-out.
    int TimeOut() const { return timeOut_; }
    void setTimeOut(int milliseconds) { timeOut_ = milliseconds; }
    // Status reports at or below this level reach OnStatus; 0 silences them all.
    int ReportLevel() const { return reportLevel_; }
    void setReportLevel(int level) { reportLevel_ = level; }

    Event OnDisconnect;
    Event OnConnect;
    // Fired when the host cannot be resolved; a handled failure is resolved once more.
    HandledEvent OnInvalidHost;
    Event OnHostResolved;
    StatusEvent OnStatus;
    Event OnConnectionFailed;

    // Called between the short blocking rounds of every wait. The default does nothing.
    void setPump(Pump pump) { pump_ = std::move(pump); }
    // The blocking lookup run on the helper thread; the system resolver by default.
    void setResolver(HostResolver resolver) { resolver_ = std::move(resolver); }

    // Looks the host up and connects.
    void Connect();
    // Closes the connection and makes a fresh socket ready.
    void Disconnect();
    // Ends the wait in progress with its error; a Cancel between waits is cleared by Connect.
    void Cancel();
    // What the time-out does: a Cancel without a report.
    void Abort() { canceled_ = true; }

    // One line of the response header with its line end (CR LF or LF); empty once the server
    // has closed.
    std::string ReadLn();
    // Reads the rest of the stream into `into` (emptied first, its capacity kept), up to `limit`
    // bytes; more raises "Response too large".
    void CaptureString(std::string& into, size_t limit);

    bool Connected() const { return connected_; }
    bool Canceled() const { return canceled_; }
    bool TimedOut() const { return timedOut_; }
    // Bytes of the body received so far in this transfer.
    int32_t BytesReceived() const { return bytesReceived_; }
    // The last socket error number (see SocketErrors.h).
    int LastError() const { return lastError_; }
    std::optional<IPv4Address> RemoteAddress() const { return remoteAddress_; }
    // The socket descriptor, for options an owner wants to set (in OnConnect, say); it changes
    // with every Disconnect.
    int Socket() const { return socket_.get(); }

protected:
    // Sends every byte, waiting while the socket's buffer is full.
    void sendBuffer(std::string_view bytes);
    // Fires OnStatus when `level` is at or below ReportLevel.
    void report(const std::string& text, int level);
    // The name looked up and the port connected to; the HTTP client substitutes its proxy.
    virtual std::string remoteName() const { return host_; }
    virtual int remotePort() const { return port_; }
    // Called after each chunk that CaptureString appends.
    virtual void packetReceived() {}
    void CloseSocket();

private:
    // Arms the time-out for one wait and stops it on every way out.
    class WaitTimer {
    public:
        explicit WaitTimer(TAsyncSocket& socket) : socket_(socket) { socket_.armTimer(); }
        ~WaitTimer() { socket_.deadline_.reset(); }
        WaitTimer(const WaitTimer&) = delete;
        WaitTimer& operator=(const WaitTimer&) = delete;

    private:
        TAsyncSocket& socket_;
    };

    bool openSocket();
    // Looks the remote name up; false when it has no address. Raises on time-out and cancel.
    bool ResolveHost();
    void startConnect();
    // The outcome of a connect that the socket reports ready: 0 or a socket error number.
    int finishConnect(short ready);
    void armTimer();
    void checkTimer();
    // The owner's events, then the time-out.
    void pumpEvents();
    // Blocks until the socket is ready for `events` or one slice passes, then pumps once.
    // Answers the ready events.
    short waitRound(short events);
    // Records errno as LastError and answers it as a socket error number.
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
    bool connected_ = false;
    bool canceled_ = false;
    bool timedOut_ = false;
    std::optional<IPv4Address> remoteAddress_;
    std::vector<char> lineBuffer_;
    int32_t bytesReceived_ = 0;
    int lastError_ = 0;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

} // namespace kestrix
