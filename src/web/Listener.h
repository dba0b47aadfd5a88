// The sockets of the page server: the listening socket and the texts of addresses.
#pragma once

#include "core/net/SocketHandle.h"

#include <string>
#include <sys/socket.h>

namespace kestrix::web {

// A non-blocking listening TCP socket on `host` ("127.0.0.1", "::1", "[::1]", a name, or "" for
// every address) and `port` (0 for a free one). Raises "Cannot serve the status page on
// HOST:PORT: REASON".
SocketHandle openListener(const std::string& host, int port);

// The port a bound socket took.
int localPort(int fd);

// "192.0.2.7" or "2001:db8::7"; an IPv4 client seen through an IPv6 socket is shown as IPv4, so
// that it counts as the same client either way.
std::string addressText(const sockaddr_storage& address);

} // namespace kestrix::web
