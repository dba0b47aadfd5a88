// PageConnection: one client connection of the page server, from its accept to its close. It
// reads the request head against a deadline counted from the accept (trickled bytes do not
// extend it), hands the request out once, writes the reply without blocking, and then drains
// what the client still sends for a little while so that the reply is not lost to a reset.
#pragma once

#include "core/net/SocketHandle.h"
#include "web/PageServer.h"
#include "web/ReplyText.h"

#include <chrono>
#include <optional>
#include <span>
#include <string>

namespace kestrix::web {

using SteadyTime = std::chrono::steady_clock::time_point;

class PageConnection {
public:
    enum class Phase { Head, Handling, Writing, Draining, Closed };

    PageConnection(SocketHandle socket, std::string client, const PageLimits& limits,
                   SteadyTime now);

    int fd() const { return socket_.get(); }
    const std::string& client() const { return client_; }
    Phase phase() const { return phase_; }
    // The poll events the connection waits for; 0 while its handler runs.
    short pollEvents() const;
    // When onDeadline() is due; the far future while the handler runs.
    SteadyTime deadline() const { return deadline_; }
    // Memory held by the reply until the client has taken it.
    size_t heldBytes() const { return reply_.head.size() + reply_.body.size(); }

    // Reads what has arrived. A complete, acceptable head yields its request, once; the
    // connection then waits in Handling for startReply().
    std::optional<PageRequest> onReadable(std::span<char> scratch, SteadyTime now);
    void onWritable(SteadyTime now);
    void onDeadline(SteadyTime now);
    void startReply(ReplyBytes reply, SteadyTime now);

private:
    std::optional<PageRequest> readHead(std::span<char> scratch, SteadyTime now);
    void drain(std::span<char> scratch);
    void refuse(int status, bool headRequest, SteadyTime now);
    void finishWriting(SteadyTime now);
    void close(bool abort);

    SocketHandle socket_;
    std::string client_;
    const PageLimits& limits_;
    Phase phase_ = Phase::Head;
    SteadyTime deadline_;
    SteadyTime writeDeadline_;
    std::string received_;
    ReplyBytes reply_;
    size_t sent_ = 0;
    size_t drained_ = 0;
};

} // namespace kestrix::web
