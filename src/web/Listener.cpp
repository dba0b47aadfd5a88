#include "web/Listener.h"

#include "core/util/Error.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>

namespace kestrix::web {

namespace {

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

[[noreturn]] void throwCannotServe(const std::string& host, int port, const std::string& reason) {
    const bool bracket = host.find(':') != std::string::npos;
    const std::string shown = bracket ? "[" + host + "]" : host;
    throw Error("Cannot serve the status page on " + shown + ":" + std::to_string(port) + ": " +
                reason);
}

// A listening socket on one address, or an invalid handle with errno set.
SocketHandle listenOn(const addrinfo& address) {
    SocketHandle socket(
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return socket;
    // A restarted watcher must get its port back while old connections sit in TIME_WAIT.
    const int on = 1;
    setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(socket.get(), address.ai_addr, address.ai_addrlen) != 0 ||
        ::listen(socket.get(), SOMAXCONN) != 0) {
        const int error = errno;
        socket.reset();
        errno = error;
    }
    return socket;
}

} // namespace

SocketHandle openListener(const std::string& hostText, int port) {
    std::string host = hostText;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (port < 0 || port > 65535)
        throwCannotServe(host, port, "the port must be from 0 to 65535");

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int lookup =
        getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0)
        throwCannotServe(host, port, gai_strerror(lookup));
    const AddressList addresses(found);

    int lastError = EADDRNOTAVAIL;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        SocketHandle socket = listenOn(*address);
        if (socket.valid())
            return socket;
        lastError = errno;
    }
    throwCannotServe(host, port, std::strerror(lastError));
}

int localPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

std::string addressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr))
            inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace kestrix::web
