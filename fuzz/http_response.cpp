// Fuzzes the HTTP response reader: each input is a server's whole answer, played back over a real
// loopback connection through HttpClient::get (header lines and their limits, status, cookies,
// redirects back to the same server, body). The serving end runs inside the client's pump, so
// one thread does everything and a run is reproducible.
#include "core/net/HttpClient.h"
#include "core/util/Error.h"

#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Thrown from OnAboutToSend when a redirect leads away from the loopback peer.
struct LeavesThePeer {};

class LoopbackPeer {
public:
    LoopbackPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 64);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }

    int port() const { return port_; }

    // A new answer; connections a former run left waiting are dropped.
    void start(const uint8_t* data, size_t size) {
        answer_.assign(reinterpret_cast<const char*>(data), size);
        closeConnection();
        for (int stale; (stale = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
            ::close(stale);
    }

    // One step of the server: take a connection, drain the request, send what fits, and close
    // once everything has gone out (after the request, so the close is no reset).
    void step() {
        if (connection_ < 0) {
            connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            sent_ = 0;
            request_.clear();
            if (connection_ < 0)
                return;
        }
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(connection_, buffer, sizeof buffer, 0)) > 0)
            request_.append(buffer, static_cast<size_t>(n));
        while (sent_ < answer_.size()) {
            n = ::send(connection_, answer_.data() + sent_, answer_.size() - sent_, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent_ += static_cast<size_t>(n);
        }
        if (request_.find("\r\n\r\n") != std::string::npos)
            closeConnection();
    }

    void closeConnection() {
        if (connection_ >= 0)
            ::close(connection_);
        connection_ = -1;
    }

private:
    int listener_ = -1;
    int port_ = 0;
    int connection_ = -1;
    std::string answer_;
    std::string request_;
    size_t sent_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LoopbackPeer peer;
    peer.start(data, size);
    kestrix::HttpClient client;
    kestrix::applyImageFetchSettings(client);
    client.setPump([] { peer.step(); });
    client.onAboutToSend = [](kestrix::HttpClient& c) {
        if (c.host() != "127.0.0.1" || c.port() != peer.port())
            throw LeavesThePeer{};
    };
    try {
        client.get("http://127.0.0.1:" + std::to_string(peer.port()) + "/fuzz");
    } catch (const kestrix::Error&) {
    } catch (const LeavesThePeer&) {
    }
    peer.closeConnection();
    return 0;
}
