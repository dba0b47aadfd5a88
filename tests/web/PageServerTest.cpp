// The page server's side of HTTP: what every reply carries, what it refuses and with which
// status, and the request its handler sees, over real loopback sockets.
#include "core/util/Error.h"
#include "web/WebTestSupport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

namespace kestrix::test {
namespace {

TEST(PageServer, AnswersGetAndHeadWithTheFieldsEveryReplyCarries) {
    const auto server = startServer();
    const std::string get = exchange(server->port(), getRequest("/api/status"));
    EXPECT_TRUE(get.starts_with("HTTP/1.1 200 OK\r\n")) << get;
    EXPECT_EQ(bodyOf(get), "GET|/api/status||127.0.0.1");
    EXPECT_EQ(fieldOf(get, "Content-Length"), std::to_string(bodyOf(get).size()));
    EXPECT_EQ(fieldOf(get, "Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(fieldOf(get, "Connection"), "close");
    EXPECT_EQ(fieldOf(get, "Cache-Control"), "no-store");
    EXPECT_EQ(fieldOf(get, "X-Content-Type-Options"), "nosniff");
    EXPECT_TRUE(fieldOf(get, "Date").ends_with(" GMT")) << get;

    // HEAD gives the length of the body it leaves out.
    const std::string head =
        exchange(server->port(), "HEAD /api/status HTTP/1.1\r\nHost: kestrix.test\r\n\r\n");
    EXPECT_EQ(statusOf(head), 200);
    EXPECT_EQ(bodyOf(head), "");
    EXPECT_EQ(fieldOf(head, "Content-Length"), std::to_string(bodyOf(get).size() + 1));

    const std::string cached = exchange(server->port(), getRequest("/cache"));
    EXPECT_EQ(fieldOf(cached, "Cache-Control"), "max-age=60");
    EXPECT_EQ(cached.find("no-store"), std::string::npos);
}

struct Refused {
    const char* name;
    std::string request;
    int status;
};

TEST(PageServer, RefusesWhatThePagesDoNotTake) {
    const std::string host = "Host: kestrix.test\r\n";
    const std::vector<Refused> cases = {
        {"post", "POST / HTTP/1.1\r\n" + host + "Content-Length: 0\r\n\r\n", 405},
        {"lower-case method", "get / HTTP/1.1\r\n" + host + "\r\n", 405},
        {"handler's 404", getRequest("/missing"), 404},
        {"handler throws", getRequest("/throw"), 500},
        {"handler's field splits the reply", getRequest("/bad-field"), 500},
        {"no version", "GET /\r\n" + host + "\r\n", 400},
        {"HTTP/0.9 line", "GET /\r\n\r\n", 400},
        {"two spaces", "GET  / HTTP/1.1\r\n" + host + "\r\n", 400},
        {"absolute target", "GET http://x/ HTTP/1.1\r\n" + host + "\r\n", 400},
        {"version 2", "GET / HTTP/2.0\r\n" + host + "\r\n", 505},
        {"HTTP/1.1 without Host", "GET / HTTP/1.1\r\n\r\n", 400},
        {"two Hosts", "GET / HTTP/1.1\r\n" + host + host + "\r\n", 400},
        {"encoded NUL", getRequest("/pictures/a%00.jpg"), 400},
        {"encoded line feed", getRequest("/a%0Ab"), 400},
        {"bad escape", getRequest("/a%zz"), 400},
        {"cut escape", getRequest("/a%4"), 400},
        {"overlong dots", getRequest("/pictures/%C0%AE%C0%AE/x"), 400},
        {"not UTF-8", getRequest("/caf%E9"), 400},
        {"encoded surrogate", getRequest("/%ED%A0%80"), 400},
        {"raw tab in target", "GET /a\tb HTTP/1.1\r\n" + host + "\r\n", 400},
        {"folded field", "GET / HTTP/1.1\r\n" + host + "X-A: 1\r\n  2\r\n\r\n", 400},
        {"field without colon", "GET / HTTP/1.1\r\n" + host + "Nonsense\r\n\r\n", 400},
        {"blank in field name", "GET / HTTP/1.1\r\n" + host + "X A: 1\r\n\r\n", 400},
        {"CR inside a field", "GET / HTTP/1.1\r\n" + host + "X-A: 1\r2\r\n\r\n", 400},
        {"chunked", "GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         413},
        {"body over the cap", "GET / HTTP/1.1\r\n" + host + "Content-Length: 1025\r\n\r\n", 413},
        {"endless length",
         "GET / HTTP/1.1\r\n" + host + "Content-Length: 99999999999999999999999\r\n\r\n", 413},
        {"length not a number", "GET / HTTP/1.1\r\n" + host + "Content-Length: 1e3\r\n\r\n", 400},
        {"two lengths",
         "GET / HTTP/1.1\r\n" + host + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nx", 400},
        {"8 kB header",
         "GET / HTTP/1.1\r\n" + host + "X-Big: " + std::string(8200, 'b') + "\r\n\r\n", 431},
        {"8 kB target", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n" + host + "\r\n", 431},
    };
    const auto server = startServer();
    for (const Refused& c : cases) {
        const std::string response = exchange(server->port(), c.request);
        EXPECT_EQ(statusOf(response), c.status) << c.name << ":\n" << response;
        EXPECT_EQ(fieldOf(response, "Connection"), "close") << c.name;
        if (c.status == 405) {
            EXPECT_EQ(fieldOf(response, "Allow"), "GET, HEAD") << c.name;
        }
    }
}

TEST(PageServer, HandsTheHandlerADecodedPathAndTheRawQuery) {
    const struct {
        std::string request;
        std::string seen;
    } cases[] = {
        {getRequest("/pictures/cam%2F20250101-120000.jpg"),
         "GET|/pictures/cam/20250101-120000.jpg||127.0.0.1"},
        {getRequest("/a%20b?x=%20y&z=%00"), "GET|/a b|x=%20y&z=%00|127.0.0.1"},
        {getRequest("/caf%C3%A9"), "GET|/caf\xC3\xA9||127.0.0.1"},
        // Decoded dots reach the handler: refusing traversal is the page's own check.
        {getRequest("/pictures/%2e%2e/%2E%2E/etc"), "GET|/pictures/../../etc||127.0.0.1"},
        {getRequest("/a+b?"), "GET|/a+b||127.0.0.1"},
        {"GET /old HTTP/1.0\r\n\r\n", "GET|/old||127.0.0.1"},
        {"GET /lf HTTP/1.1\nHost: kestrix.test\n\n", "GET|/lf||127.0.0.1"},
        {"GET /body HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", "GET|/body||127.0.0.1"},
    };
    const auto server = startServer();
    for (const auto& c : cases) {
        const std::string response = exchange(server->port(), c.request);
        EXPECT_EQ(statusOf(response), 200) << c.request << response;
        EXPECT_EQ(bodyOf(response), c.seen) << c.request;
    }
}

TEST(PageServer, ListensOnIpv6AndNamesAnAddressItCannotTake) {
    web::PageServer server(testPages());
    server.listen("[::1]", 0);
    server.start();
    SocketHandle client(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(static_cast<uint16_t>(server.port()));
    to.sin6_addr = in6addr_loopback;
    ASSERT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    sendAll(client.get(), getRequest("/v6"));
    EXPECT_EQ(bodyOf(readAll(client.get())), "GET|/v6||::1");

    const auto failureOf = [](const std::string& host, int port) {
        try {
            web::PageServer(testPages()).listen(host, port);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(failureOf("::1", server.port()),
              "Cannot serve the status page on [::1]:" + std::to_string(server.port()) +
                  ": Address already in use");
    EXPECT_EQ(failureOf("192.0.2.1", 8080),
              "Cannot serve the status page on 192.0.2.1:8080: Cannot assign requested address");
    EXPECT_EQ(failureOf("127.0.0.1", 70000),
              "Cannot serve the status page on 127.0.0.1:70000: the port must be from 0 to 65535");
}

} // namespace
} // namespace kestrix::test
