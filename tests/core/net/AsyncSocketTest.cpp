// The socket component under the HTTP client: cancel and time-out at every wait, chunked reads,
// status reports, host lookup and the socket error texts.
#include "NetTestSupport.h"
#include "core/net/SocketErrors.h"
#include "support/ScriptedServer.h"

#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// A resolver that blocks until the test lets it go, as a lookup of a slow name server would.
// The helper thread may outlive the test, so everything it touches is shared.
struct BlockedResolver {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    HostResolver resolver() const {
        return [release = release](const std::string&) {
            while (!*release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return std::vector<SocketAddress>{ipv4Address(htonl(INADDR_LOOPBACK))};
        };
    }
    ~BlockedResolver() { *release = true; }
};

// One wait of a Get, set up so that the client stays in it until something ends it.
struct WaitCase {
    const char* wait;
    const char* status;                              // the last status report before the wait
    std::function<std::string(HttpClient&)> prepare; // answers the address to fetch
    std::string canceledText, timedOutText;
    ErrorKind kind;
};

// The environment the wait cases need.
struct WaitPlaces {
    ScriptedServer server;
    UnansweredPort unanswered;
    SilentPort silent;
    BlockedResolver blocked;
};

std::vector<WaitCase> waitCases(WaitPlaces& places) {
    ScriptedServer& server = places.server;
    return {
        {"lookup", "Resolve Host",
         [&](HttpClient& c) {
             c.setResolver(places.blocked.resolver());
             return "http://camera.example:" + std::to_string(server.port()) + "/";
         },
         "Host Lookup Canceled", "Host Lookup Timed Out", ErrorKind::Socket},
        {"connect", "Resolve Host",
         [&](HttpClient&) {
             return "http://127.0.0.1:" + std::to_string(places.unanswered.port()) + "/";
         },
         "Connection Canceled", "Connection Timed out", ErrorKind::Socket},
        {"send", "Sending Buffer",
         [&](HttpClient& c) {
             // A request far larger than what the silent peer and a small send buffer hold.
             c.headerInfo().referer = std::string(60000, 'r');
             c.onConnect = [](AsyncSocket& s) {
                 int small = 2048;
                 setsockopt(s.socket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
             };
             return "http://127.0.0.1:" + std::to_string(places.silent.port()) + "/";
         },
         "Socket send aborted", "Socket send aborted", ErrorKind::SocketAbort},
        {"header", "ReadLn",
         [&](HttpClient&) {
             server.queue(Reply("HTTP/1.0 200 OK\r\nX-Half: ").thenStall());
             return server.url("/header");
         },
         "Socket readln aborted", "Socket readln aborted", ErrorKind::SocketAbort},
        {"body", "Capture String",
         [&](HttpClient&) {
             server.queue(Reply(httpResponse("200 OK", "partial body")).thenStall());
             return server.url("/body");
         },
         "Socket capture aborted", "Socket capture aborted", ErrorKind::SocketAbort},
    };
}

// After a failed wait the same client fetches normally.
void expectNextGetWorks(HttpClient& client, ScriptedServer& server, const char* wait) {
    client.setResolver(resolveWithSystem);
    client.headerInfo().referer.clear();
    client.onConnect = {};
    client.setPump({});
    client.setTimeOut(0);
    server.queue(httpResponse("200 OK", "next"));
    client.get(server.url("/next"));
    EXPECT_EQ(client.body(), "next") << wait;
}

} // namespace

TEST(AsyncSocket, CancelFromThePumpEndsEveryWait) {
    WaitPlaces places;
    for (const auto& c : waitCases(places)) {
        HttpClient client;
        applyImageFetchSettings(client);
        std::string address = c.prepare(client);
        // Cancel as a click would, at the first pump of the wait under test (the body wait only
        // once some of the body has arrived).
        std::string lastStatus;
        client.setReportLevel(8);
        client.onStatus = [&](AsyncSocket&, const std::string& text) { lastStatus = text; };
        int pumps = 0;
        client.setPump([&] {
            ++pumps;
            if (lastStatus == c.status &&
                (lastStatus != "Capture String" || client.bytesReceived() > 0))
                client.cancel();
        });
        Failure f = failureOf([&] { client.get(address); });
        EXPECT_EQ(f.text, c.canceledText) << c.wait;
        EXPECT_EQ(f.kind, c.kind) << c.wait;
        EXPECT_GT(pumps, 0) << c.wait;
        EXPECT_FALSE(client.connected()) << c.wait;
        expectNextGetWorks(client, places.server, c.wait);
    }
}

TEST(AsyncSocket, TimeOutEndsEveryWait) {
    WaitPlaces places;
    for (const auto& c : waitCases(places)) {
        HttpClient client;
        applyImageFetchSettings(client);
        client.setTimeOut(50);
        std::string address = c.prepare(client);
        Failure f = failureOf([&] { client.get(address); });
        EXPECT_EQ(f.text, c.timedOutText) << c.wait;
        EXPECT_TRUE(client.timedOut()) << c.wait;
        EXPECT_FALSE(client.connected()) << c.wait;
        expectNextGetWorks(client, places.server, c.wait);
        EXPECT_FALSE(client.timedOut()) << c.wait;
    }
}

TEST(AsyncSocket, CancelBetweenWaitsIsClearedByConnect) {
    ScriptedServer server;
    server.queue(httpResponse("200 OK", "unaffected"));
    HttpClient client;
    applyImageFetchSettings(client);
    client.cancel();
    client.get(server.url("/"));
    EXPECT_EQ(client.body(), "unaffected");
}

TEST(AsyncSocket, TimeOutRestartsWithEveryChunk) {
    // The header, then four pieces of the body 40 ms apart: the body outlasts the 120 ms
    // time-out, but no single gap does.
    const std::string header = httpResponse("200 OK");
    const std::string body(header.size() * 4, 'b');
    ScriptedServer server;
    server.queue(Reply(header + body).drip(header.size(), 40));
    HttpClient client;
    applyImageFetchSettings(client);
    client.setTimeOut(120);
    client.get(server.url("/"));
    EXPECT_EQ(client.body(), body);
}

TEST(AsyncSocket, ChunksArriveInOrderWithOneEventEach) {
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 % 251);
    struct Case {
        Reply reply;
        std::string body;
        size_t minimumEvents;
    } cases[] = {
        {Reply(httpResponse("200 OK", "one byte at a time")).drip(1, 1), "one byte at a time", 2},
        {httpResponse("200 OK", big), big, 5},
    };
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    std::vector<int32_t> counts;
    client.onPacketRecvd = [&](HttpClient& sender) { counts.push_back(sender.bytesReceived()); };
    for (const auto& c : cases) {
        counts.clear();
        server.queue(c.reply);
        client.get(server.url("/"));
        EXPECT_EQ(client.body(), c.body);
        ASSERT_GE(counts.size(), c.minimumEvents);
        EXPECT_EQ(static_cast<size_t>(counts.back()), c.body.size());
        EXPECT_EQ(client.bytesReceived(), counts.back());
        for (size_t i = 1; i < counts.size(); ++i) {
            EXPECT_GT(counts[i], counts[i - 1]);
            EXPECT_LE(counts[i] - counts[i - 1], 65536);
        }
    }
}

TEST(AsyncSocket, StatusReportsFollowTheReportLevel) {
    const std::vector<std::string> all = {"Connecting",
                                          "Resolve Host",
                                          "Sending Buffer",
                                          "ReadLn",
                                          "ReadLn",
                                          "Capture String",
                                          "Transaction Completed",
                                          "Disconnecting",
                                          "Request Close Socket"};
    struct Case {
        int level;
        std::vector<std::string> reports;
    } cases[] = {
        {0, {}},
        {2, {"Transaction Completed"}},
        {4, {"Sending Buffer", "Transaction Completed", "Request Close Socket"}},
        {8, all},
    };
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    std::vector<std::string> reports;
    client.onStatus = [&](AsyncSocket&, const std::string& text) { reports.push_back(text); };
    for (const auto& c : cases) {
        reports.clear();
        client.setReportLevel(c.level);
        server.queue(httpResponse("200 OK", "b"));
        client.get(server.url("/"));
        EXPECT_EQ(reports, c.reports) << c.level;
    }
    reports.clear();
    client.cancel();
    EXPECT_EQ(reports, std::vector<std::string>{"Canceling"});
}

TEST(AsyncSocket, FailuresCarryTheSocketErrorText) {
    ScriptedServer server;
    const std::string longName = std::string(300, 'n') + ".invalid";
    struct Case {
        std::string address;
        std::string text;
        int lastError;
    } cases[] = {
        {"http://127.0.0.1:" + std::to_string(closedPort()) + "/", "10061:Connection refused",
         10061},
        {server.url("/reset"), "10054:Connection reset by peer", 10054},
        {"http://" + longName + "/", "Null Remote Address", 0},
    };
    server.queue(Reply(httpResponse("200 OK", "cut")).thenReset());
    HttpClient client;
    applyImageFetchSettings(client);
    for (const auto& c : cases) {
        Failure f = failureOf([&] { client.get(c.address); });
        EXPECT_EQ(f.text, c.text) << c.address;
        EXPECT_EQ(f.kind, ErrorKind::Socket) << c.address;
        if (c.lastError != 0) {
            EXPECT_EQ(client.lastError(), c.lastError);
        }
        EXPECT_FALSE(client.connected());
    }
}

TEST(AsyncSocket, NamesAreLookedUpAndAFailureMayBeRetriedOnce) {
    ScriptedServer server;
    const std::string address = "http://camera.example:" + std::to_string(server.port()) + "/x";
    struct Case {
        bool handled;
        int failuresBeforeSuccess;
        std::string text;
        int lookups;
    } cases[] = {
        {false, 0, "(no error)", 1},
        {false, 1, "Null Remote Address", 1},
        {true, 1, "(no error)", 2},
        {true, 2, "Null Remote Address", 2},
    };
    for (const auto& c : cases) {
        auto lookups = std::make_shared<std::atomic<int>>(0);
        HttpClient client;
        applyImageFetchSettings(client);
        client.setResolver([lookups, c](const std::string& name) {
            EXPECT_EQ(name, "camera.example");
            if (++*lookups <= c.failuresBeforeSuccess)
                return std::vector<SocketAddress>{};
            return std::vector<SocketAddress>{ipv4Address(htonl(INADDR_LOOPBACK))};
        });
        client.onInvalidHost = [&](AsyncSocket&, bool& handled) { handled = c.handled; };
        bool resolved = false;
        client.onHostResolved = [&](AsyncSocket&) { resolved = true; };
        server.queue(httpResponse("200 OK", "found"));
        EXPECT_EQ(failureOf([&] { client.get(address); }).text, c.text);
        EXPECT_EQ(*lookups, c.lookups);
        EXPECT_EQ(resolved, c.text == "(no error)");
    }
}

TEST(AsyncSocket, SystemResolverFindsLocalhost) {
    ScriptedServer server;
    server.queue(httpResponse("200 OK", "by name"));
    HttpClient client;
    applyImageFetchSettings(client);
    client.get("http://localhost:" + std::to_string(server.port()) + "/");
    EXPECT_EQ(client.body(), "by name");
    EXPECT_EQ(client.remoteAddress()->text(), "127.0.0.1");
}

TEST(SocketErrors, NumbersOutsideTheTableSayUnknown) {
    // Refused and reset connections are met for real above; these are the rules around the table.
    EXPECT_EQ(socketErrorText(socketErrorNumber(EAGAIN)), "10035:Operation would block");
    EXPECT_EQ(socketErrorText(socketErrorNumber(EPIPE)), "10058:Can't send after socket shutdown");
    EXPECT_EQ(socketErrorText(socketErrorNumber(EIO)), "Unknown Error No. " + std::to_string(EIO));
    EXPECT_EQ(socketErrorText(11004), "11004:Valid name, no data record of requested type");
    EXPECT_EQ(socketErrorText(10099), "Unknown Error No. 10099");
}
