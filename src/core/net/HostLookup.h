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

namespace kestrix {

// An IPv4 address in network byte order.
using IPv4Address = uint32_t;

// A blocking lookup of one name; empty when the name has no IPv4 address.
using HostResolver = std::function<std::optional<IPv4Address>(const std::string& name)>;

// The system's resolver (getaddrinfo, IPv4 only): the first address it gives.
std::optional<IPv4Address> resolveWithSystem(const std::string& name);

// The address of a dotted IPv4 text such as "127.0.0.1", which needs no lookup.
std::optional<IPv4Address> parseDottedIPv4(const std::string& name);

class HostLookup {
public:
    // Starts the lookup at once.
    HostLookup(const std::string& name, const HostResolver& resolver);

    // Waits until the lookup has reported back or `limit` has passed; true when it has.
    bool waitFor(std::chrono::milliseconds limit) const;
    // The address found; empty while running and when the lookup failed.
    std::optional<IPv4Address> address() const;

private:
    // Shared with the helper thread, which may outlive this object.
    struct State {
        mutable std::mutex mutex;
        std::condition_variable reported;
        bool done = false;
        std::optional<IPv4Address> address;
    };
    std::shared_ptr<State> state_;
};

} // namespace kestrix
