// The helper-thread lookup, the system resolver and the socket addresses it gives.
#include "core/net/HostLookup.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <system_error>
#include <thread>

namespace kestrix {

std::string SocketAddress::text() const {
    char buffer[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (family() == AF_INET)
        raw = &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr;
    else if (family() == AF_INET6)
        raw = &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
    if (!raw || !inet_ntop(family(), raw, buffer, sizeof buffer))
        return {};
    return buffer;
}

SocketAddress SocketAddress::withPort(int port) const {
    SocketAddress a = *this;
    const auto networkPort = htons(static_cast<uint16_t>(port));
    if (family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&a.storage)->sin_port = networkPort;
    else if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&a.storage)->sin6_port = networkPort;
    return a;
}

bool SocketAddress::operator==(const SocketAddress& other) const {
    return length == other.length && std::memcmp(&storage, &other.storage, length) == 0;
}

SocketAddress ipv4Address(uint32_t networkOrder) {
    SocketAddress a;
    auto* in = reinterpret_cast<sockaddr_in*>(&a.storage);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = networkOrder;
    a.length = sizeof(sockaddr_in);
    return a;
}

std::vector<SocketAddress> resolveWithSystem(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return {};
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    std::vector<SocketAddress> addresses;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (!a->ai_addr || (a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
            a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        address = address.withPort(0);
        bool seen = false;
        for (const SocketAddress& earlier : addresses)
            seen = seen || earlier == address;
        if (!seen)
            addresses.push_back(address);
    }
    return addresses;
}

std::optional<SocketAddress> parseNumericAddress(const std::string& name) {
    in_addr v4{};
    if (inet_pton(AF_INET, name.c_str(), &v4) == 1)
        return ipv4Address(v4.s_addr);
    in6_addr v6{};
    if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) {
        SocketAddress a;
        auto* in = reinterpret_cast<sockaddr_in6*>(&a.storage);
        in->sin6_family = AF_INET6;
        in->sin6_addr = v6;
        a.length = sizeof(sockaddr_in6);
        return a;
    }
    return std::nullopt;
}

HostLookup::HostLookup(const std::string& name, const HostResolver& resolver)
    : state_(std::make_shared<State>()) {
    auto report = [](State& state, std::vector<SocketAddress> addresses) {
        std::lock_guard lock(state.mutex);
        state.addresses = std::move(addresses);
        state.done = true;
        state.reported.notify_all();
    };
    try {
        std::thread([state = state_, name, resolver, report] {
            std::vector<SocketAddress> addresses;
            try {
                addresses = resolver(name);
            } catch (...) {
                addresses.clear();
            }
            report(*state, std::move(addresses));
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the lookup fails like any other.
        report(*state_, {});
    }
}

bool HostLookup::waitFor(std::chrono::milliseconds limit) const {
    std::unique_lock lock(state_->mutex);
    return state_->reported.wait_for(lock, limit, [this] { return state_->done; });
}

std::vector<SocketAddress> HostLookup::addresses() const {
    std::lock_guard lock(state_->mutex);
    return state_->addresses;
}

} // namespace kestrix
