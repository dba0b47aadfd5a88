// The response side of the HTTP client: status, header and body, redirects, cookies, and the
// bounds on what a server can make it hold.
#include "NetTestSupport.h"
#include "core/net/UrlReference.h"
#include "support/ScriptedServer.h"

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::string requestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

std::string redirect(const std::string& status, const std::string& location,
                     std::vector<std::string> headers = {}) {
    if (!location.empty())
        headers.push_back("Location: " + location);
    return httpResponse(status, "moved", headers);
}

// Thrown from OnAboutToSend to stop a Get before it connects.
struct StopBeforeConnect {};

} // namespace

TEST(HttpResponse, StatusHeaderAndBodyAreTakenAsSent) {
    const std::string binary("\0\xff\r\n\0JFIF", 9);
    struct Case {
        std::string sent;
        int status;
        std::string header, body;
        int successes, failures;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + binary, 200,
         "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n", binary, 1, 0},
        {"HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>", 404, "HTTP/1.0 404 Not Found\r\n\r\n",
         "<html>gone</html>", 0, 1},
        {"HTTP/1.1 503\r\n\r\nbusy", 503, "HTTP/1.1 503\r\n\r\n", "busy", 0, 1},
        {"HTTP/1.0 2x0 OK\r\n\r\nB", 0, "HTTP/1.0 2x0 OK\r\n\r\n", "B", 1, 0},
        {"HTTP/1.0 200 OK\nX: y\n\nbody\r\n\r\nmore", 200, "HTTP/1.0 200 OK\nX: y\n\n",
         "body\r\n\r\nmore", 1, 0},
        // The body runs to the close, whatever Content-Length says.
        {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nabcdef", 200,
         "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n", "abcdef", 1, 0},
        // A server that closes without answering leaves everything empty, and that is no failure.
        {"", 0, "", "", 1, 0},
        {"HTTP/1.0 200 OK", 0, "", "", 1, 0},
    };
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    int successes = 0, failures = 0;
    client.onSuccess = [&](HttpClient&) { ++successes; };
    client.onFailure = [&](HttpClient&) { ++failures; };
    for (const auto& c : cases) {
        successes = failures = 0;
        server.queue(c.sent);
        client.get(server.url("/img"));
        EXPECT_EQ(client.statusCode(), c.status) << c.sent;
        EXPECT_EQ(client.header(), c.header) << c.sent;
        EXPECT_EQ(client.body(), c.body) << c.sent;
        EXPECT_EQ(successes, c.successes) << c.sent;
        EXPECT_EQ(failures, c.failures) << c.sent;
        EXPECT_FALSE(client.connected());
    }
}

TEST(HttpResponse, FieldValuesAreTakenAtTheirFixedPlace) {
    ScriptedServer server;
    server.queue(
        httpResponse("404 Not Found", "",
                     {"set-cookie: a=1; Path=/", "LOCATION:  /two-blanks", "Location:/ignored"}));
    server.queue(httpResponse("404 Not Found", "", {"Location: /" + std::string(300, 'l')}));
    HttpClient client;
    applyImageFetchSettings(client);
    client.get(server.url("/"));
    EXPECT_EQ(client.setCookie(), "a=1; Path=/");
    EXPECT_EQ(client.location(), " /two-blanks");
    client.get(server.url("/"));
    EXPECT_EQ(client.location(), "/" + std::string(255, 'l'));
    EXPECT_EQ(client.setCookie(), "");
}

TEST(HttpResponse, RedirectStatusesFollowLocation) {
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    size_t seen = 0;
    for (int status : {300, 301, 302, 303, 307, 308}) {
        server.queue(redirect(std::to_string(status) + " Moved", "/next.jpg"));
        server.queue(httpResponse("200 OK", "done"));
        client.get(server.url("/first.jpg"));
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), seen + 2) << status;
        EXPECT_EQ(requestLine(requests[seen + 1]), "GET /next.jpg HTTP/1.0") << status;
        EXPECT_EQ(client.statusCode(), 200);
        EXPECT_EQ(client.body(), "done");
        EXPECT_EQ(client.url(), server.url("/next.jpg"));
        seen += 2;
    }
}

TEST(HttpResponse, OtherRedirectionStatusesEndTheExchange) {
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    size_t seen = 0;
    for (int status : {299, 304, 305, 306, 309, 399}) {
        server.queue(redirect(std::to_string(status) + " Other", "/elsewhere"));
        client.get(server.url("/a"));
        EXPECT_EQ(server.requests().size(), ++seen) << status;
        EXPECT_EQ(client.statusCode(), status);
        EXPECT_EQ(client.body(), "moved");
    }
}

TEST(HttpResponse, AbsoluteLocationGoesToItsOwnServer) {
    ScriptedServer first, second;
    first.queue(redirect("302 Found", second.url("/b.jpg")));
    second.queue(httpResponse("200 OK", "from second"));
    HttpClient client;
    applyImageFetchSettings(client);
    client.get(first.url("/a.jpg"));
    EXPECT_EQ(client.body(), "from second");
    ASSERT_EQ(second.requests().size(), 1u);
    EXPECT_EQ(requestLine(second.requests()[0]), "GET /b.jpg HTTP/1.0");
    EXPECT_EQ(client.port(), second.port());
}

// A relative Location is resolved against the address asked for: its scheme, host, port and
// folder stay unless the reference names them; it is never taken for a host name.
TEST(HttpResponse, RelativeLocationsResolveAgainstTheAddressAskedFor) {
    struct Case {
        std::string location, address; // address: without "http://127.0.0.1:PORT"
    } cases[] = {
        {"cam2.jpg", "/dir/cam2.jpg"},
        {"sub/x", "/dir/sub/x"},
        {"../x", "/x"},
        {"../../../x", "/x"},
        {"./a/./b/../c", "/dir/a/c"},
        {"?t=2", "/dir/rel?t=2"},
        {"/abs/y.jpg", "/abs/y.jpg"},
        {"x.jpg#frag", "/dir/x.jpg"},
        {"//127.0.0.1:PORT/other", "/other"},
    };
    for (const auto& c : cases) {
        ScriptedServer server;
        const std::string port = std::to_string(server.port());
        std::string location = c.location;
        if (const size_t at = location.find("PORT"); at != std::string::npos)
            location.replace(at, 4, port);
        server.queue(redirect("302 Found", location));
        server.queue(httpResponse("200 OK", "moved here"));
        HttpClient client;
        applyImageFetchSettings(client);
        client.get(server.url("/dir/rel?t=1"));
        EXPECT_EQ(client.body(), "moved here") << c.location;
        EXPECT_EQ(client.url(), server.url(c.address)) << c.location;
        ASSERT_EQ(server.requests().size(), 2u) << c.location;
        EXPECT_EQ(requestLine(server.requests()[1]), "GET " + c.address + " HTTP/1.0")
            << c.location;
    }
    // Without a Location there is nowhere to go.
    for (const char* status : {"301 Moved", "302 Found", "307 Temporary Redirect"}) {
        ScriptedServer server;
        server.queue(redirect(status, ""));
        HttpClient client;
        applyImageFetchSettings(client);
        EXPECT_EQ(failureOf([&] { client.get(server.url("/old.jpg")); }).text,
                  "Redirect without a Location");
        EXPECT_EQ(server.requests().size(), 1u);
        EXPECT_FALSE(client.connected());
    }
}

TEST(UrlReference, ResolvesAsRfc3986Says) {
    const std::string base = "http://a/b/c/d;p?q";
    // The normal and abnormal examples of RFC 3986 section 5.4.
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q"},
        {"g#s", "http://a/b/c/g"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"https://b/x", "https://b/x"},
        {"g:h", "g:h"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(resolveReference(base, reference), expected) << reference;
    EXPECT_EQ(resolveReference("http://h:8080", "x.jpg"), "http://h:8080/x.jpg");
}

TEST(HttpResponse, HandledRedirectEndsGet) {
    ScriptedServer server;
    server.queue(redirect("302 Found", "/next"));
    HttpClient client;
    applyImageFetchSettings(client);
    client.onRedirect = [](HttpClient&, bool& handled) { handled = true; };
    client.get(server.url("/"));
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(client.statusCode(), 302);
    EXPECT_EQ(client.body(), "moved");
}

TEST(HttpResponse, CookieFromRedirectIsSentWithEveryLaterRequest) {
    ScriptedServer server, other;
    server.queue(redirect("302 Found", "/next", {"Set-Cookie: id=42"}));
    server.queue(httpResponse("200 OK", "one"));
    other.queue(httpResponse("200 OK", "two"));
    // A cookie that could split the request is not taken; the earlier one stays.
    other.queue(redirect("302 Found", "/again", {"Set-Cookie: evil\rX: 1"}));
    other.queue(httpResponse("200 OK", "three"));
    HttpClient client;
    applyImageFetchSettings(client);
    client.get(server.url("/first"));
    client.get(other.url("/elsewhere"));
    client.get(other.url("/last"));
    auto requests = server.requests();
    auto others = other.requests();
    ASSERT_EQ(requests.size(), 2u);
    ASSERT_EQ(others.size(), 3u);
    EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
    const std::string cookieAfterAgent =
        "(compatible; Indy Library)\r\nCookie: id=42\r\nContent-type:";
    for (const auto& request : {requests[1], others[0], others[1], others[2]})
        EXPECT_NE(request.find(cookieAfterAgent), std::string::npos) << request;
    EXPECT_EQ(client.headerInfo().cookie, "id=42");
}

TEST(HttpResponse, UnsafeOrUnsupportedLocationsFail) {
    struct Case {
        std::string location, text;
    } cases[] = {
        {"/a\rX-Injected: 1", "Invalid character in URL"},
        {"https://127.0.0.1/secure", "HTTP Secure Socket is not supported"},
    };
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    for (const auto& c : cases) {
        server.queue(redirect("302 Found", c.location));
        EXPECT_EQ(failureOf([&] { client.get(server.url("/")); }).text, c.text);
        EXPECT_FALSE(client.connected());
    }
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST(HttpResponse, RedirectChainsStopAfterTwenty) {
    struct Case {
        int chainLength; // redirects before the final answer; -1: never ends
        std::string text;
        size_t requests;
    } cases[] = {{20, "(no error)", 21}, {-1, "Too many redirects", 21}};
    for (const auto& c : cases) {
        ScriptedServer server;
        server.respond([&](int index, const std::string&) {
            if (c.chainLength >= 0 && index >= c.chainLength)
                return Reply(httpResponse("200 OK", "end"));
            return Reply(redirect("302 Found", "/hop" + std::to_string(index)));
        });
        HttpClient client;
        applyImageFetchSettings(client);
        EXPECT_EQ(failureOf([&] { client.get(server.url("/")); }).text, c.text);
        EXPECT_EQ(server.requests().size(), c.requests);
        EXPECT_FALSE(client.connected());
    }
}

TEST(HttpResponse, HeaderLimitsEndTheExchange) {
    auto lines = [](int count) {
        std::string text = "HTTP/1.0 200 OK\r\n";
        for (int i = 1; i < count; ++i)
            text += "X-Line: " + std::to_string(i) + "\r\n";
        return text + "\r\nbody";
    };
    const std::string longName = "HTTP/1.0 200 OK\r\nX: ";
    auto longLine = [&](size_t size) {
        return longName + std::string(size - 5, 'v') + "\r\n\r\nbody";
    };
    struct Case {
        Reply reply;
        std::string text;
    } cases[] = {
        {lines(1000), "(no error)"},
        {lines(1001), "Header too long"},
        {Reply("HTTP/1.0 200 OK\r\n").thenEndless("X-Endless: yes\r\n"), "Header too long"},
        {longLine(65536), "(no error)"},
        {longLine(65537), "Header line too long"},
        {Reply("HTTP/1.0 200 OK\r\nX: ").thenEndless(std::string(4096, 'v')),
         "Header line too long"},
    };
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    for (const auto& c : cases) {
        server.queue(c.reply);
        EXPECT_EQ(failureOf([&] { client.get(server.url("/")); }).text, c.text)
            << c.reply.bytes.size();
        EXPECT_FALSE(client.connected());
    }
    // The client is as good as new after each failure.
    server.queue(httpResponse("200 OK", "fine"));
    client.get(server.url("/"));
    EXPECT_EQ(client.body(), "fine");
}

TEST(HttpResponse, EndlessBodyStopsAtTheCap) {
    ScriptedServer server;
    server.queue(Reply("HTTP/1.0 200 OK\r\n\r\n").thenEndless(std::string(1 << 20, 'b')));
    HttpClient client;
    applyImageFetchSettings(client);
    int32_t lastCount = 0;
    client.onPacketRecvd = [&](HttpClient& sender) { lastCount = sender.bytesReceived(); };
    Failure f = failureOf([&] { client.get(server.url("/")); });
    EXPECT_EQ(f.text, "Response too large");
    EXPECT_LE(static_cast<size_t>(lastCount), HttpClient::kMaxBodyBytes);
    EXPECT_GT(static_cast<size_t>(lastCount), HttpClient::kMaxBodyBytes - (1 << 16));
    EXPECT_FALSE(client.connected());
}

// Some servers chunk their answer even to an HTTP/1.0 request: the body is the chunks' data,
// never their size lines.
TEST(HttpResponse, ChunkedBodiesAreTakenOutOfTheirChunks) {
    const std::string chunked = "Transfer-Encoding: chunked";
    struct Case {
        const char* what;
        std::string sent;
        std::string body, error;
    } cases[] = {
        {"chunks with extensions and a trailer",
         "4;name=x\r\nWiki\r\n6\r\npedia \r\nE\r\nin \r\n\r\nchunks.\r\n0\r\nExpires: "
         "never\r\n\r\n",
         "Wikipedia in \r\n\r\nchunks.", ""},
        {"LF alone", "3\nabc\n0\n\n", "abc", ""},
        {"the last chunk never comes", "3\r\nabc\r\n", "",
         "Connection closed before the end of the chunked body"},
        {"no size", "zz\r\nabc\r\n0\r\n\r\n", "", "Invalid chunked body"},
        {"data longer than its size", "2\r\nabc\r\n0\r\n\r\n", "", "Invalid chunked body"},
        {"a size beyond belief", "fffffffffffffffffff\r\n", "", "Invalid chunked body"},
    };
    for (const auto& c : cases) {
        ScriptedServer server;
        server.queue(httpResponse("200 OK", c.sent, {chunked}));
        HttpClient client;
        applyImageFetchSettings(client);
        const Failure f = failureOf([&] { client.get(server.url("/c")); });
        EXPECT_EQ(f.text, c.error.empty() ? "(no error)" : c.error) << c.what;
        if (c.error.empty()) {
            EXPECT_EQ(client.body(), c.body) << c.what;
        }
    }
}
