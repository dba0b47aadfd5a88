// Host-name lookup that does not block its caller: the system's resolver runs on a helper thread
// and the waiting loop asks whether it has reported back. A lookup that nobody waits for any
// longer (a cancel, a time-out, a destroyed client) finishes on its own and harms nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace kestrix {

// One IPv4 or IPv6 address, its port left for the connect to fill in.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    // "127.0.0.1", "::1".
    std::string text() const;
    // The same address with `port`, ready for connect().
    SocketAddress withPort(int port) const;
    bool operator==(const SocketAddress& other) const;
};

// An IPv4 address given in network byte order.
SocketAddress ipv4Address(uint32_t networkOrder);

// A blocking lookup of one name: its addresses in the order to try them; empty when it has none.
using HostResolver = std::function<std::vector<SocketAddress>(const std::string& name)>;

// The system's resolver (getaddrinfo for IPv4 and IPv6): every address, in the resolver's order.
std::vector<SocketAddress> resolveWithSystem(const std::string& name);

// The address of a numeric host, "127.0.0.1" or "::1" (without brackets), which needs no lookup.
std::optional<SocketAddress> parseNumericAddress(const std::string& name);

class HostLookup {
public:
    // Starts the lookup at once.
    HostLookup(const std::string& name, const HostResolver& resolver);

    // Waits until the lookup has reported back or `limit` has passed; true when it has.
    bool waitFor(std::chrono::milliseconds limit) const;
    // The addresses found; empty while running and when the lookup failed.
    std::vector<SocketAddress> addresses() const;

private:
    // Shared with the helper thread, which may outlive this object.
    struct State {
        mutable std::mutex mutex;
        std::condition_variable reported;
        bool done = false;
        std::vector<SocketAddress> addresses;
    };
    std::shared_ptr<State> state_;
};

} // namespace kestrix
