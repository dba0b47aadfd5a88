// https through the client, against real TLS servers on loopback: trust by chain, name, IP
// address and pin, the errors a user can act on, redirects between http and https, a long body,
// a body cut short, and the waits of a handshake that never completes.
#include "NetTestSupport.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestServer.h"

#include <chrono>

using namespace kestrix;
using namespace kestrix::test;

namespace {

struct SecureClient {
    HttpClient client;
    explicit SecureClient(TlsOptions tls) {
        applyImageFetchSettings(client);
        client.setTimeOut(10000); // a test that goes wrong fails instead of waiting for ever
        tls.allowHttps = true;
        client.setTlsOptions(std::move(tls));
    }
};

TlsOptions trustingFile(const std::string& file) {
    TlsOptions tls;
    tls.certificateFile = file;
    return tls;
}

TlsOptions trusting(const TlsTestServer& servers) {
    return trustingFile(servers.rootFile());
}

TlsOptions pinning(const std::string& pin) {
    TlsOptions tls;
    tls.pins = {pin};
    return tls;
}

} // namespace

TEST(SecureFetch, TrustDecidesAndFailuresSayWhy) {
    TlsTestServer servers;
    const TlsOptions trusted = trusting(servers);
    const TlsOptions pinned = pinning(servers.selfSignedPin());
    struct Case {
        const char* what;
        TlsOptions tls;
        std::string url;
        std::string error; // empty: fetched; ending in ": " a prefix
        std::string body;
    } cases[] = {
        {"chain by name", trusted, servers.url("good", "/sni"), "", "localhost"},
        {"chain by IP literal, no SNI", trusted, servers.url("good", "/sni", "127.0.0.1"), "",
         "(none)"},
        {"chain by IPv6 literal", trusted, servers.url("good6", "/img", "[::1]"), "",
         "secure good"},
        {"system store alone",
         {},
         servers.url("good"),
         "Certificate not trusted: unable to get local issuer certificate",
         ""},
        {"expired", trusted, servers.url("expired"),
         "Certificate not trusted: certificate has expired", ""},
        {"wrong name", trusted, servers.url("wronghost"),
         "Certificate not trusted: hostname mismatch", ""},
        {"wrong address", trusted, servers.url("wronghost", "/img", "127.0.0.1"),
         "Certificate not trusted: IP address mismatch", ""},
        {"missing intermediate", trusted, servers.url("nointermediate"),
         "Certificate not trusted: unable to get local issuer certificate", ""},
        {"self-signed", trusted, servers.url("selfsigned"),
         "Certificate not trusted: self-signed certificate", ""},
        {"self-signed and pinned", pinned, servers.url("selfsigned"), "", "secure selfsigned"},
        {"pin of another certificate", pinning(std::string(64, 'a')), servers.url("good"),
         "Certificate not trusted: unable to get local issuer certificate (no pin matched)", ""},
        {"TLS 1.0 only", trusted, servers.url("tls10"), "Secure connection failed: ", ""},
        {"plain HTTP on the TLS port", trusted, servers.url("plain"),
         "Secure connection failed: ", ""},
        {"missing certificate file", trustingFile("/nonexistent/ca.pem"), servers.url("good"),
         "Cannot read /nonexistent/ca.pem: No such file or directory", ""},
        {"certificate file that holds none", trustingFile("/etc/hostname"), servers.url("good"),
         "Secure connection failed: cannot read the certificates in ", ""},
    };
    for (const auto& c : cases) {
        SecureClient s(c.tls);
        const Failure f = failureOf([&] { s.client.get(c.url); });
        if (c.error.empty()) {
            EXPECT_EQ(f.text, "(no error)") << c.what;
            EXPECT_EQ(s.client.body(), c.body) << c.what;
        } else if (c.error.back() == ' ') {
            EXPECT_EQ(f.text.substr(0, c.error.size()), c.error) << c.what << ": " << f.text;
        } else {
            EXPECT_EQ(f.text, c.error) << c.what;
        }
        // The same client goes on to fetch a good address.
        TlsOptions good = trusting(servers);
        good.allowHttps = true;
        s.client.setTlsOptions(good);
        s.client.get(servers.url("good"));
        EXPECT_EQ(s.client.body(), "secure good") << c.what;
    }
}

TEST(SecureFetch, HttpsStaysRefusedUnlessAllowed) {
    TlsTestServer servers;
    ScriptedServer server;
    HttpClient client;
    applyImageFetchSettings(client);
    EXPECT_EQ(failureOf([&] { client.get(servers.url("good")); }).text,
              "HTTP Secure Socket is not supported");
    // Also when a plain address redirects there.
    server.queue(httpResponse("301 Moved", "", {"Location: " + servers.url("good")}));
    EXPECT_EQ(failureOf([&] { client.get(server.url("/cam.jpg")); }).text,
              "HTTP Secure Socket is not supported");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(SecureFetch, RedirectsBetweenHttpAndHttps) {
    TlsTestServer servers;
    ScriptedServer server;
    SecureClient s(trusting(servers));
    server.queue(httpResponse("301 Moved", "", {"Location: " + servers.url("good", "/sni")}));
    s.client.get(server.url("/cam.jpg"));
    EXPECT_EQ(s.client.statusCode(), 200);
    EXPECT_EQ(s.client.body(), "localhost");
    EXPECT_FALSE(s.client.requestHeader().lines().empty());

    server.queue(httpResponse("200 OK", "plain again"));
    s.client.get(servers.url("good", "/to-http?" + std::to_string(server.port())));
    EXPECT_EQ(s.client.body(), "plain again");
    EXPECT_FALSE(s.client.secure());
}

TEST(SecureFetch, LongBodiesArriveWholeAndCutBodiesFail) {
    TlsTestServer servers;
    SecureClient s(trusting(servers));
    s.client.get(servers.url("good", "/big"));
    const std::string& body = s.client.body();
    ASSERT_EQ(body.size(), size_t{8} << 20);
    bool same = true;
    for (size_t i = 0; i < body.size() && same; ++i)
        same = static_cast<unsigned char>(body[i]) == ((i * 7 + (i >> 10)) & 0xFF);
    EXPECT_TRUE(same);

    EXPECT_EQ(failureOf([&] { s.client.get(servers.url("good", "/cut")); }).text,
              "Connection closed after 400 of 1000 bytes");
    EXPECT_EQ(s.client.body().size(), size_t{8} << 20) << "a failed fetch keeps the last body";
}

TEST(SecureFetch, AStalledHandshakeTimesOutOrIsCanceled) {
    SilentPort silent;
    const std::string url = "https://127.0.0.1:" + std::to_string(silent.port()) + "/";
    for (bool cancel : {false, true}) {
        SecureClient s({});
        int pumps = 0;
        s.client.setPump([&] {
            if (++pumps == 50 && cancel)
                s.client.cancel();
        });
        if (!cancel)
            s.client.setTimeOut(300);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(failureOf([&] { s.client.get(url); }).text,
                  cancel ? "Connection Canceled" : "Connection Timed out");
        EXPECT_GE(pumps, 50) << "the interface stays alive during the handshake";
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    }
}
