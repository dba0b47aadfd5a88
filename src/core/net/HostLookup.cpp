// The helper-thread lookup and the system resolver.
#include "core/net/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>

namespace kestrix {

std::optional<IPv4Address> resolveWithSystem(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next)
        if (a->ai_family == AF_INET && a->ai_addr)
            return reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
    return std::nullopt;
}

std::optional<IPv4Address> parseDottedIPv4(const std::string& name) {
    in_addr address{};
    if (inet_pton(AF_INET, name.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

HostLookup::HostLookup(const std::string& name, const HostResolver& resolver)
    : state_(std::make_shared<State>()) {
    auto report = [](State& state, std::optional<IPv4Address> address) {
        std::lock_guard lock(state.mutex);
        state.address = address;
        state.done = true;
        state.reported.notify_all();
    };
    try {
        std::thread([state = state_, name, resolver, report] {
            std::optional<IPv4Address> address;
            try {
                address = resolver(name);
            } catch (...) {
                address.reset();
            }
            report(*state, address);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the lookup fails like any other.
        report(*state_, std::nullopt);
    }
}

bool HostLookup::waitFor(std::chrono::milliseconds limit) const {
    std::unique_lock lock(state_->mutex);
    return state_->reported.wait_for(lock, limit, [this] { return state_->done; });
}

std::optional<IPv4Address> HostLookup::address() const {
    std::lock_guard lock(state_->mutex);
    return state_->address;
}

} // namespace kestrix
