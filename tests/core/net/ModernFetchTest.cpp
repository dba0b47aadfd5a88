// What the client does for today's web over plain HTTP: bodies cut short, credentials written in
// the address (Basic, one Digest answer, never sent to another host), IPv6, conditional requests
// and the user agent.
#include "NetTestSupport.h"
#include "core/net/DigestAuth.h"
#include "support/ScriptedServer.h"

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// The value of one parameter of a Digest Authorization value.
std::string digestParameter(const std::string& value, const std::string& name) {
    const size_t at = value.find(" " + name + "=");
    if (at == std::string::npos)
        return {};
    size_t begin = at + name.size() + 2;
    const bool quoted = value[begin] == '"';
    begin += quoted ? 1 : 0;
    return value.substr(begin, value.find(quoted ? '"' : ',', begin) - begin);
}

// One connection on [::1], answered with `reply`.
class Ipv6Server {
public:
    explicit Ipv6Server(std::string reply) {
        fd_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        socklen_t length = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd_, 4) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length))
            throw std::runtime_error("no IPv6 loopback");
        port_ = ntohs(a.sin6_port);
        thread_ = std::thread([this, reply = std::move(reply)] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            char buffer[4096];
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            request_ = request;
            (void)!::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(c);
        });
    }
    ~Ipv6Server() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    std::string request() {
        thread_.join();
        thread_ = std::thread([] {});
        return request_;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::string request_;
};

} // namespace

TEST(ModernFetch, BodiesCutShortFailAndKeepTheLastBody) {
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    server.queue(httpResponse("200 OK", "whole", {"Content-Length: 5"}));
    client.get(server.url("/a.jpg"));
    EXPECT_EQ(client.body(), "whole");
    server.queue(httpResponse("200 OK", "abc", {"Content-Length: 10"}));
    EXPECT_EQ(failureOf([&] { client.get(server.url("/b.jpg")); }).text,
              "Connection closed after 3 of 10 bytes");
    EXPECT_EQ(client.body(), "whole");
    // No length, a longer body, a redirect's body and a length that is no number stay as they
    // were.
    for (const auto& reply : {httpResponse("200 OK", "no length"),
                              httpResponse("200 OK", "longer", {"Content-Length: 2"}),
                              httpResponse("200 OK", "odd", {"Content-Length: lots"})}) {
        server.queue(reply);
        EXPECT_EQ(failureOf([&] { client.get(server.url("/c.jpg")); }).text, "(no error)");
    }
    server.queue(httpResponse("302 Found", "", {"Location: /d.jpg", "Content-Length: 100"}));
    server.queue(httpResponse("200 OK", "moved"));
    client.get(server.url("/c.jpg"));
    EXPECT_EQ(client.body(), "moved");
}

TEST(ModernFetch, CredentialsInTheAddressGoOnlyWhereTheyWereWritten) {
    ScriptedServer server, other;
    HttpClient client;
    applyImageFetchSettings(client);
    const std::string authority = "127.0.0.1:" + std::to_string(server.port());
    const std::string basic = "Basic " + encodeBase64("cam user:p@ss:w");
    server.queue(httpResponse("200 OK", "snap"));
    client.get("http://cam%20user:p%40ss:w@" + authority + "/snap.jpg");
    EXPECT_EQ(client.body(), "snap");
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(requestField(server.requests()[0], "Authorization"), basic);
    EXPECT_EQ(requestField(server.requests()[0], "Host"), authority);
    EXPECT_EQ(server.requests()[0].substr(0, 18), "GET /snap.jpg HTTP");

    // Followed to the same host and port they go along; to another host never.
    server.queue(httpResponse("302 Found", "", {"Location: http://" + authority + "/2.jpg"}));
    server.queue(httpResponse("302 Found", "", {"Location: " + other.url("/3.jpg")}));
    other.queue(httpResponse("200 OK", "elsewhere"));
    client.get("http://cam%20user:p%40ss:w@" + authority + "/1.jpg");
    EXPECT_EQ(client.body(), "elsewhere");
    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_EQ(requestField(server.requests()[2], "Authorization"), basic);
    EXPECT_EQ(requestField(other.requests().at(0), "Authorization"), "");

    // The next address without credentials sends none, even to the same host.
    server.queue(httpResponse("200 OK", "open"));
    client.get("http://" + authority + "/open.jpg");
    ASSERT_TRUE(server.waitForRequests(4));
    EXPECT_EQ(requestField(server.requests()[3], "Authorization"), "");
}

TEST(ModernFetch, DigestChallengesAreAnsweredOnce) {
    const std::string nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    const std::string challenge = "WWW-Authenticate: Digest realm=\"cam@example\", qop=\"auth\", "
                                  "algorithm=MD5, nonce=\"" +
                                  nonce + "\", opaque=\"xyz\"";
    for (const bool right : {true, false}) {
        ScriptedServer server;
        std::atomic<int> verified{0};
        server.respond([&](int, const std::string& request) -> Reply {
            const std::string answer = requestField(request, "Authorization");
            if (answer.rfind("Digest ", 0) != 0)
                return httpResponse("401 Unauthorized", "who?", {challenge});
            const std::string ha1 = md5Hex("admin:cam@example:secret");
            const std::string ha2 = md5Hex("GET:/snap.jpg");
            const std::string expected =
                md5Hex(ha1 + ":" + nonce + ":" + digestParameter(answer, "nc") + ":" +
                       digestParameter(answer, "cnonce") + ":auth:" + ha2);
            if (digestParameter(answer, "response") != expected ||
                digestParameter(answer, "uri") != "/snap.jpg")
                return httpResponse("401 Unauthorized", "wrong", {challenge});
            ++verified;
            return httpResponse("200 OK", "picture");
        });
        HttpClient client;
        applyImageFetchSettings(client);
        const std::string password = right ? "secret" : "guess";
        EXPECT_EQ(failureOf([&] {
                      client.get("http://admin:" + password +
                                 "@127.0.0.1:" + std::to_string(server.port()) + "/snap.jpg");
                  }).text,
                  "(no error)");
        EXPECT_EQ(client.statusCode(), right ? 200 : 401);
        EXPECT_EQ(client.body(), right ? "picture" : "wrong");
        EXPECT_EQ(verified, right ? 1 : 0);
        // Basic first (the request the program always built), then one Digest answer, no third
        // try that could lock the camera's account.
        ASSERT_EQ(server.requests().size(), 2u);
        EXPECT_EQ(requestField(server.requests()[0], "Authorization").substr(0, 6), "Basic ");
    }
}

TEST(ModernFetch, Ipv6LiteralsAndEveryAddressOfAName) {
    Ipv6Server v6(httpResponse("200 OK", "over six"));
    HttpClient client;
    applyImageFetchSettings(client);
    client.get("http://[::1]:" + std::to_string(v6.port()) + "/x.jpg");
    EXPECT_EQ(client.body(), "over six");
    EXPECT_EQ(requestField(v6.request(), "Host"), "[::1]:" + std::to_string(v6.port()));
    EXPECT_EQ(client.remoteAddress()->text(), "::1");

    for (const char* bad : {"http://[fe80::1%eth0]:80/x.jpg", "http://[::1/x.jpg",
                            "http://[127.0.0.1]/x.jpg", "http://[::1]x/"})
        EXPECT_NE(failureOf([&] { client.get(bad); }).text.find("IPv6"), std::string::npos) << bad;

    // A name whose first address is dead is fetched from the next one.
    ScriptedServer server;
    server.queue(httpResponse("200 OK", "second address"));
    client.setResolver([](const std::string&) {
        return std::vector<SocketAddress>{*parseNumericAddress("::1"),
                                          *parseNumericAddress("127.0.0.1")};
    });
    client.get("http://camera.example:" + std::to_string(server.port()) + "/");
    EXPECT_EQ(client.body(), "second address");
    EXPECT_EQ(client.remoteAddress()->text(), "127.0.0.1");
}

TEST(ModernFetch, ConditionalRequestsReadNoBodyForAnUnchangedImage) {
    ScriptedServer server;
    int bodies = 0;
    server.respond([&](int, const std::string& request) -> Reply {
        if (requestField(request, "If-None-Match") == "\"v1\"")
            return httpResponse("304 Not Modified");
        ++bodies;
        return httpResponse("200 OK", "image v1",
                            {"ETag: \"v1\"", "Last-Modified: Wed, 09 Dec 2026 07:00:00 GMT"});
    });
    HttpClient client;
    applyImageFetchSettings(client);
    client.get(server.url("/cam.jpg"));
    client.get(server.url("/cam.jpg"));
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(requestField(server.requests()[1], "If-None-Match"), "") << "off by default";
    EXPECT_EQ(bodies, 2);

    client.setConditional(true);
    client.get(server.url("/cam.jpg"));
    EXPECT_FALSE(client.notModified());
    client.get(server.url("/cam.jpg"));
    EXPECT_TRUE(client.notModified());
    EXPECT_EQ(client.body(), "");
    EXPECT_EQ(bodies, 3);
    ASSERT_TRUE(server.waitForRequests(4));
    EXPECT_EQ(requestField(server.requests()[3], "If-Modified-Since"),
              "Wed, 09 Dec 2026 07:00:00 GMT");
    // Another address has nothing to send back.
    client.get(server.url("/other.jpg"));
    ASSERT_TRUE(server.waitForRequests(5));
    EXPECT_EQ(requestField(server.requests()[4], "If-None-Match"), "");
}

TEST(ModernFetch, TheUserAgentCanBeChosen) {
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    ConnectionOptions options;
    options.userAgent = "Kestrix/2026 (+https://example.org)";
    applyConnectionOptions(client, options);
    server.queue(httpResponse("200 OK", "ok"));
    client.get(server.url("/"));
    applyConnectionOptions(client, {});
    server.queue(httpResponse("200 OK", "ok"));
    client.get(server.url("/"));
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(requestField(server.requests()[0], "User-Agent"), options.userAgent);
    EXPECT_EQ(requestField(server.requests()[1], "User-Agent"),
              " Mozilla/3.0 (compatible; Indy Library)");
}

// Bodies arrive in place, sized by their Content-Length: every length a server may send against
// the one it announced gives what it gave before.
TEST(ModernFetch, BodiesOfEveryLengthAgainstTheirContentLength) {
    const std::string body = std::string(300000, 'b') + "end";
    const std::string length = "Content-Length: " + std::to_string(body.size());
    struct Case {
        const char* what;
        std::string reply;
        std::string body, error;
    } cases[] = {
        {"exactly its length", httpResponse("200 OK", body, {length}), body, ""},
        {"one byte more", httpResponse("200 OK", body + "+", {length}), body + "+", ""},
        {"one byte less", httpResponse("200 OK", body.substr(1), {length}), "",
         "Connection closed after 300002 of 300003 bytes"},
        {"no length", httpResponse("200 OK", body), body, ""},
        {"a length beyond the limit", httpResponse("200 OK", body, {"Content-Length: 99999999999"}),
         "", "Connection closed after 300003 of 99999999999 bytes"},
        {"an empty body", httpResponse("200 OK", "", {"Content-Length: 0"}), "", ""},
    };
    HttpClient client;
    applyImageFetchSettings(client);
    for (const auto& c : cases) {
        ScriptedServer server;
        server.queue(c.reply);
        const Failure f = failureOf([&] { client.get(server.url("/b")); });
        EXPECT_EQ(f.text, c.error.empty() ? "(no error)" : c.error) << c.what;
        if (c.error.empty()) {
            EXPECT_EQ(client.body().size(), c.body.size()) << c.what;
            EXPECT_TRUE(client.body() == c.body) << c.what;
        }
    }
}
