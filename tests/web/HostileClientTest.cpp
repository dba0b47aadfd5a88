// Clients that try to wear the page server down: slow-loris heads, idle connections by the
// hundred, a huge upload, a reader that never reads, and a stop in the middle of it all. The
// figure that matters is what a healthy client meets meanwhile: an answer every time, while the
// attackers still hold their connections (the run prints how fast), and memory and descriptors
// that come back.
#include "web/WebTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <span>
#include <thread>
#include <vector>

namespace kestrix::test {
namespace {

using namespace std::chrono_literals;

// Well inside the attackers' one-second deadline, so that an answer had to come while they held
// their connections; loose enough for a busy machine and the sanitizers.
constexpr double kPromptMs = 500;

// Healthy GETs from 127.0.0.1, every 50 ms until `until` holds; the slowest one in ms.
template <typename Until> double slowestHealthyGet(int port, Until until, int atLeast = 5) {
    double slowest = 0;
    for (int i = 0; i < atLeast || !until(); ++i) {
        const double ms = timedGet(port);
        EXPECT_GE(ms, 0) << "a healthy GET was not answered with 200";
        slowest = std::max(slowest, ms);
        std::this_thread::sleep_for(50ms);
    }
    return slowest;
}

// Waits up to `limit` for `done`, polling every few milliseconds.
template <typename Done> bool waitFor(Done done, std::chrono::milliseconds limit = 2000ms) {
    const auto end = TestClock::now() + limit;
    while (!done()) {
        if (TestClock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::string sourceAddress(int index, int addresses) {
    return "127.0.0." + std::to_string(2 + index % addresses);
}

// Opens `count` connections (spread over five client addresses), starts a request on each and
// adds a header line every `interval`. Returns, per connection, when the server's answer came
// (ms after connect, -1 if never) and its status.
std::vector<std::pair<double, int>> slowLoris(int port, int count,
                                              std::chrono::milliseconds interval) {
    std::vector<SocketHandle> sockets;
    std::vector<std::pair<double, int>> answers(static_cast<size_t>(count), {-1.0, 0});
    const auto start = TestClock::now();
    for (int i = 0; i < count; ++i) {
        sockets.push_back(connectClient(port, sourceAddress(i, 5)));
        sendAll(sockets.back().get(), "GET / HTTP/1.1\r\n");
    }
    auto nextLine = TestClock::now() + interval;
    int open = count;
    for (int line = 0; open > 0 && millisecondsSince(start) < 4000;) {
        std::vector<pollfd> polled;
        polled.reserve(sockets.size());
        for (const SocketHandle& s : sockets)
            polled.push_back({s.get(), POLLIN, 0});
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextLine - TestClock::now());
        poll(polled.data(), polled.size(), static_cast<int>(std::max(wait.count(), 0L)));
        for (size_t i = 0; i < sockets.size(); ++i) {
            if (!sockets[i].valid() || polled[i].revents == 0)
                continue;
            answers[i] = {millisecondsSince(start), statusOf(readAll(sockets[i].get()))};
            sockets[i].reset();
            --open;
        }
        if (TestClock::now() >= nextLine) {
            const std::string field = "X-Drip-" + std::to_string(line++) + ": x\r\n";
            for (const SocketHandle& s : sockets)
                if (s.valid())
                    sendAll(s.get(), field);
            nextLine += interval;
        }
    }
    return answers;
}

TEST(HostileClients, SlowLorisHeadsAreCutAtTheirDeadlineWhileOthersAreServed) {
    web::PageLimits limits;
    limits.headerTimeout = 1000ms;
    for (const int count : {8, 50}) {
        const auto server = startServer(limits);
        const int descriptorsBefore = openDescriptors();
        std::atomic<bool> lorisDone = false;
        std::vector<std::pair<double, int>> answers;
        // A line every 300 ms: a time-out per read would never fire, only the head's deadline.
        std::thread loris([&] {
            answers = slowLoris(server->port(), count, 300ms);
            lorisDone = true;
        });
        const double slowest = slowestHealthyGet(server->port(), [&] { return lorisDone.load(); });
        loris.join();
        EXPECT_LT(slowest, kPromptMs) << count << " slow-loris connections";
        for (const auto& [ms, status] : answers) {
            EXPECT_EQ(status, 408) << count;
            EXPECT_GE(ms, 950) << count;
            EXPECT_LT(ms, 1400) << count;
        }
        EXPECT_TRUE(waitFor([&] { return server->openConnections() == 0; }));
        EXPECT_TRUE(waitFor([&] { return openDescriptors() == descriptorsBefore; }));
        std::printf(
            "[ figures  ] %d slow-loris: cut after %.0f-%.0f ms, slowest healthy GET %.1f ms\n",
            count, std::min_element(answers.begin(), answers.end())->first,
            std::max_element(answers.begin(), answers.end())->first, slowest);
    }
}

// How many of `sockets` have an answer waiting (a refusal; an admitted idle client gets none).
int answered(std::span<const SocketHandle> sockets) {
    std::vector<pollfd> polled;
    for (const SocketHandle& s : sockets)
        polled.push_back({s.get(), POLLIN, 0});
    poll(polled.data(), polled.size(), 0);
    return static_cast<int>(std::count_if(polled.begin(), polled.end(),
                                          [](const pollfd& p) { return p.revents != 0; }));
}

TEST(HostileClients, IdleConnectionsBeyondTheCapsAreTurnedAwayAtOnce) {
    const auto server = startServer();
    const auto start = TestClock::now();
    std::vector<SocketHandle> idle;
    idle.reserve(500);
    for (int i = 0; i < 500; ++i)
        idle.push_back(connectClient(server->port(), "127.0.0.2"));
    ASSERT_TRUE(waitFor([&] { return answered(idle) == 484; })) << answered(idle);
    const double refusedAfter = millisecondsSince(start);
    EXPECT_EQ(server->openConnections(), 16);
    EXPECT_EQ(statusOf(readAll(idle.back().get())), 503);

    const double slowest = slowestHealthyGet(
        server->port(), [] { return true; }, 10);
    EXPECT_LT(slowest, kPromptMs);
    std::printf("[ figures  ] 500 idle: 484 refused within %.0f ms, slowest healthy GET %.1f ms\n",
                refusedAfter, slowest);
}

TEST(HostileClients, TheTotalCapHoldsAcrossClientAddresses) {
    web::PageLimits limits;
    limits.maxConnections = 40;
    const auto server = startServer(limits);
    std::vector<SocketHandle> byAddress[3];
    for (int a = 0; a < 3; ++a)
        for (int i = 0; i < 20; ++i)
            byAddress[a].push_back(connectClient(server->port(), sourceAddress(a, 5)));
    // 16 of each of the first two addresses, then what is left of the 40 for the third.
    const int expectedRefused[] = {4, 4, 12};
    for (int a = 0; a < 3; ++a)
        EXPECT_TRUE(waitFor([&] { return answered(byAddress[a]) == expectedRefused[a]; }))
            << "address " << a << ": " << answered(byAddress[a]);
    EXPECT_EQ(server->openConnections(), 40);
    EXPECT_EQ(timedGet(server->port(), "127.0.0.9"), -1)
        << "full, so a fresh client is turned away too";

    byAddress[0].clear();
    EXPECT_TRUE(waitFor([&] { return server->openConnections() == 24; }));
    EXPECT_GE(timedGet(server->port(), "127.0.0.9"), 0);
}

TEST(HostileClients, AHugeChunkedUploadIsRefusedWithoutMemoryGrowing) {
    const auto server = startServer();
    constexpr size_t kChunk = 1 << 20;
    const std::string chunk = "100000\r\n" + std::string(kChunk, 'u') + "\r\n";
    const long before = residentKilobytes();
    std::atomic<bool> done = false;
    size_t sent = 0;
    std::string response;
    std::thread uploader([&] {
        const SocketHandle client = connectClient(server->port());
        sendAll(client.get(),
                "POST / HTTP/1.1\r\nHost: kestrix.test\r\nTransfer-Encoding: chunked\r\n\r\n");
        for (int i = 0; i < 300 && sendAll(client.get(), chunk); ++i)
            sent += kChunk;
        response = readAll(client.get());
        done = true;
    });
    long peak = before;
    while (!done) {
        peak = std::max(peak, residentKilobytes());
        std::this_thread::sleep_for(5ms);
    }
    uploader.join();
    EXPECT_EQ(statusOf(response), 413) << response;
    EXPECT_LT(sent, 300 * kChunk) << "the upload is cut off, not read to its end";
    EXPECT_LT(peak - before, 20 * 1024) << "RSS went from " << before << " to " << peak << " kB";
    std::printf("[ figures  ] chunked upload: %zu MB taken before the close, RSS %ld -> %ld kB\n",
                sent >> 20, before, peak);
}

TEST(HostileClients, AClientThatNeverReadsIsDroppedAtTheWriteDeadline) {
    web::PageLimits limits;
    limits.writeTimeout = 500ms;
    const auto server = startServer(limits);
    const SocketHandle stuck = connectClient(server->port(), "127.0.0.2", 4096);
    const auto start = TestClock::now();
    sendAll(stuck.get(), getRequest("/large"));
    ASSERT_TRUE(waitFor([&] { return server->openConnections() == 1; }));
    const double slowest =
        slowestHealthyGet(server->port(), [&] { return server->openConnections() == 0; });
    const double droppedAfter = millisecondsSince(start);
    EXPECT_LT(slowest, kPromptMs);
    EXPECT_GE(droppedAfter, 500);
    EXPECT_LT(droppedAfter, 1000);
    std::printf("[ figures  ] non-reader dropped after %.0f ms, slowest healthy GET %.1f ms\n",
                droppedAfter, slowest);
}

TEST(HostileClients, RepliesWaitingForSlowReadersHaveAMemoryBudget) {
    web::PageLimits limits;
    limits.maxHeldReplyBytes = 40 << 20;
    const auto server = startServer(limits);
    std::vector<SocketHandle> readers;
    for (const char* source : {"127.0.0.2", "127.0.0.3"}) {
        readers.push_back(connectClient(server->port(), source, 4096));
        sendAll(readers.back().get(), getRequest("/large"));
        ASSERT_TRUE(waitFor([&] { return answered(std::span(&readers.back(), 1)) == 1; }));
    }
    // Two 16 MB replies are held: a third is refused, while small pages are still answered.
    EXPECT_EQ(statusOf(exchange(server->port(), getRequest("/large"), "127.0.0.4")), 503);
    EXPECT_EQ(statusOf(exchange(server->port(), getRequest("/"), "127.0.0.4")), 200);
    readers.clear();
    EXPECT_TRUE(waitFor([&] {
        return statusOf(exchange(server->port(), getRequest("/large"), "127.0.0.4")) == 200;
    }));
}

TEST(HostileClients, ASlowPageDoesNotHoldUpTheOthers) {
    std::promise<void> gate;
    web::PageLimits limits;
    limits.handlerThreads = 2;
    const auto server = startServer(limits, gate.get_future().share());
    std::string waited;
    std::thread slow([&] { waited = exchange(server->port(), getRequest("/wait")); });
    ASSERT_TRUE(waitFor([&] { return server->openConnections() == 1; }));
    EXPECT_LT(slowestHealthyGet(server->port(), [] { return true; }), kPromptMs);
    gate.set_value();
    slow.join();
    EXPECT_EQ(bodyOf(waited), "GET|/wait||127.0.0.1");
}

TEST(HostileClients, StopIsPromptWithConnectionsInEveryPhase) {
    const auto server = startServer();
    std::vector<SocketHandle> clients;
    clients.reserve(21);
    for (int i = 0; i < 20; ++i)
        clients.push_back(connectClient(server->port(), sourceAddress(i, 3)));
    sendAll(clients[0].get(), "GET / HTTP/1.1\r\nHost: half");
    clients.push_back(connectClient(server->port(), "127.0.0.9", 4096));
    sendAll(clients.back().get(), getRequest("/large"));
    // Once its reply flows the large page's handler is done: stop waits only for running ones.
    ASSERT_TRUE(waitFor([&] { return answered(std::span(&clients.back(), 1)) == 1; }));
    ASSERT_EQ(server->openConnections(), 21);

    const auto start = TestClock::now();
    server->stop();
    const double stopMs = millisecondsSince(start);
    EXPECT_LT(stopMs, 500);
    EXPECT_EQ(server->openConnections(), 0);
    // Every client learns at once that the server has gone (no 3 s receive time-out).
    const auto readStart = TestClock::now();
    for (size_t i = 0; i + 1 < clients.size(); ++i)
        EXPECT_EQ(readAll(clients[i].get()), "") << i;
    EXPECT_LT(millisecondsSince(readStart), 1000);
    std::printf("[ figures  ] stop with 21 connections: %.1f ms\n", stopMs);
}

} // namespace
} // namespace kestrix::test
