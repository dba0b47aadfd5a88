// Digest authentication: the hashes against published vectors, the challenge reader against the
// RFC texts and hostile lines, and the Authorization value against the RFC 7616 and 2617 examples.
#include "core/net/DigestAuth.h"

#include "core/util/Error.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

const char* const kNonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
const char* const kCnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
const char* const kOpaque = "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS";

// RFC 7616 section 3.9.1, folded over lines as printed there.
std::string rfcChallenge(const std::string& algorithm) {
    return "Digest\r\n    realm=\"http-auth@example.org\",\r\n    qop=\"auth, auth-int\",\r\n"
           "    algorithm=" +
           algorithm + ",\r\n    nonce=\"" + kNonce + "\",\r\n    opaque=\"" + kOpaque + "\"";
}

DigestChallenge rfcAnswerable(DigestAlgorithm algorithm, bool qop = true) {
    DigestChallenge c;
    c.realm = "http-auth@example.org";
    c.nonce = kNonce;
    c.opaque = kOpaque;
    c.algorithm = algorithm;
    c.qopAuth = qop;
    return c;
}

std::string mufasa(const DigestChallenge& c, std::string_view user = "Mufasa",
                   std::string_view uri = "/dir/index.html", uint32_t nc = 1) {
    return digestAuthorization(c, user, "Circle of Life", "GET", uri, kCnonce, nc);
}

std::string responseOf(const std::string& header) {
    size_t at = header.find("response=\"");
    return at == std::string::npos ? ""
                                   : header.substr(at + 10, header.find('"', at + 10) - at - 10);
}

} // namespace

TEST(DigestHash, MatchesPublishedVectors) {
    std::string million(1000000, 'a');
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Hex(million), "7707d6ae4e027c70eea2a935c2296f21");
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex(million),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(DigestHash, PaddingIsRightAtEveryBlockEdge) {
    // Lengths where the length field just fits, just misses, or fills a block; bytes with the top
    // bit set catch sign extension.
    struct Case {
        size_t length;
        const char* md5;
        const char* sha256;
    } cases[] = {
        {55, "52c0e574e1198de5fe3f8f11440dcb1b",
         "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
        {56, "46c9907fc908ee68b1e7b8e71286a518",
         "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
        {64, "7160b8fb5e9e4023d549c3971fbaeead",
         "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
        {65, "70bd662e7aefbda85a0f7244167b7897",
         "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
        {119, "e84905d4214f4d1ca56c2cdcc152b143",
         "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
    };
    for (const auto& c : cases) {
        std::string data;
        for (size_t i = 0; i < c.length; ++i)
            data += static_cast<char>((i * 7 + 3) & 0xff);
        EXPECT_EQ(md5Hex(data), c.md5) << c.length;
        EXPECT_EQ(sha256Hex(data), c.sha256) << c.length;
    }
}

TEST(DigestChallenge, ReadsTheRfcChallenges) {
    auto sha = parseDigestChallenge(rfcChallenge("SHA-256"));
    ASSERT_TRUE(sha);
    EXPECT_EQ(sha->realm, "http-auth@example.org");
    EXPECT_EQ(sha->nonce, kNonce);
    EXPECT_EQ(sha->opaque, kOpaque);
    EXPECT_EQ(sha->algorithm, DigestAlgorithm::Sha256);
    EXPECT_TRUE(sha->qopAuth);
    EXPECT_FALSE(sha->stale);
    EXPECT_FALSE(sha->userhash);
    auto md5 = parseDigestChallenge(rfcChallenge("MD5"));
    ASSERT_TRUE(md5);
    EXPECT_EQ(md5->algorithm, DigestAlgorithm::Md5);
}

TEST(DigestChallenge, AcceptsEveryWrittenFormOfTheSameChallenge) {
    struct Case {
        const char* line;
        DigestAlgorithm algorithm;
        bool qop;
        const char* realm;
    } cases[] = {
        {"dIGEST REALM=r, Nonce=n, ALGORITHM=sha-256-SESS, QOP=AUTH", DigestAlgorithm::Sha256Sess,
         true, "r"},
        {"Digest realm = \"a \\\"b\\\" \\\\c\" , nonce=\"n\"", DigestAlgorithm::Md5, false,
         "a \"b\" \\c"},
        {"Digest realm=\"r\",,, ,nonce=\"n\",, qop=\"auth-int,\tauth\",", DigestAlgorithm::Md5,
         true, "r"},
        {"Digest realm=\"r\xc3\xa9\", nonce=\"n\", domain=\"/a /b\", charset=UTF-8\r\n",
         DigestAlgorithm::Md5, false, "r\xc3\xa9"},
        // Several challenges on one line: the first Digest one that can be answered wins.
        {"Basic realm=\"b\", Digest realm=\"x\", nonce=\"n\", algorithm=SHA-512-256, "
         "Negotiate YII+/w==, Digest realm=\"y\", nonce=\"n\", algorithm=MD5-sess, qop=auth, "
         "Digest realm=\"z\", nonce=\"n\"",
         DigestAlgorithm::Md5Sess, true, "y"},
    };
    for (const auto& c : cases) {
        auto parsed = parseDigestChallenge(c.line);
        ASSERT_TRUE(parsed) << c.line;
        EXPECT_EQ(parsed->algorithm, c.algorithm) << c.line;
        EXPECT_EQ(parsed->qopAuth, c.qop) << c.line;
        EXPECT_EQ(parsed->realm, c.realm) << c.line;
        EXPECT_EQ(parsed->nonce, "n") << c.line;
    }
    auto flags = parseDigestChallenge("Digest realm=r, nonce=n, opaque=\"\", stale=TRUE, "
                                      "userhash=true, qop=auth");
    ASSERT_TRUE(flags);
    EXPECT_TRUE(flags->stale);
    EXPECT_TRUE(flags->userhash);
    EXPECT_EQ(flags->opaque, ""); // present though empty, so it must be echoed
    EXPECT_EQ(parseDigestChallenge("Digest realm=r, nonce=n")->opaque, std::nullopt);
}

TEST(DigestChallenge, RefusesWhatCannotBeAnswered) {
    const char* lines[] = {
        "",
        "Basic realm=\"r\"",
        "Bearer realm=\"r\", nonce=\"n\"",
        "Digest",
        "Digest nonce=\"n\"",
        "Digest realm=\"r\"",
        "Digest realm=\"r\", nonce=\"n\", algorithm=SHA-512-256",
        "Digest realm=\"r\", nonce=\"n\", algorithm=\"\"",
        "Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"",
        "Digest realm=\"r\", nonce=\"n\", qop=\"\"",
        "Digest realm=\"r\", nonce=\"n\", qop=\"authx, xauth\"",
        // The session key needs the client nonce, which goes out only with qop.
        "Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256-sess",
        "Digest realm=\"r\", nonce=\"n\", realm=\"other\"",
        "Digest cmVhbG09InIiLCBub25jZT0ibiI=",
        "realm=\"r\", nonce=\"n\"",
    };
    for (const char* line : lines)
        EXPECT_EQ(parseDigestChallenge(line), std::nullopt) << line;
}

TEST(DigestChallenge, SurvivesHostileLines) {
    using namespace std::string_literals;
    const std::string ok = "Digest realm=\"r\", nonce=\"n\"";
    const std::string refused[] = {
        "Digest realm=\"r, nonce=\"n",
        "Digest realm=\"r\", nonce=\"n\\",
        "Digest realm=\"r\", nonce",
        "Digest realm=\"r\", nonce=",
        "Digest realm \"r\", nonce \"n\"",
        "Digest realm=\"r\" nonce=\"n\"",
        "Digest=x, realm=\"r\", nonce=\"n\"",
        "Digest realm=\"r\0\", nonce=\"n\""s,
        "Digest realm=\"r\x7f\", nonce=\"n\"",
        "Digest realm=r\0, nonce=n"s,
        // Line breaks that are no folding would let a value end this header and start another.
        "Digest realm=\"r\r\nX-Evil: 1\", nonce=\"n\"",
        "Digest realm=\"r\", nonce=\"n\"\r\nX-Evil: 1",
        "Digest realm=\"r\",\nnonce=\"n\"",
        "Digest realm=\"r\", nonce=\"n\", opaque=\"" + std::string(kMaxDigestValueBytes + 1, 'o') +
            "\"",
        "Digest realm=\"r\", nonce=" + std::string(kMaxDigestValueBytes + 1, 'n'),
        "Digest realm=\"r\", nonce=\"n\", " + std::string(kMaxDigestValueBytes + 1, 'x') + "=1",
    };
    for (const auto& line : refused)
        EXPECT_EQ(parseDigestChallenge(line), std::nullopt) << line;

    // At the bounds, and with many empty elements that cost nothing to keep.
    EXPECT_TRUE(
        parseDigestChallenge(ok + ", opaque=\"" + std::string(kMaxDigestValueBytes, 'o') + "\""));
    std::string params = ok;
    for (size_t i = 3; i < kMaxDigestElements; ++i)
        params += ", p" + std::to_string(i) + "=v";
    EXPECT_TRUE(parseDigestChallenge(params));
    EXPECT_EQ(parseDigestChallenge(params + ", one=more"), std::nullopt);
    EXPECT_TRUE(parseDigestChallenge("Digest realm=\"r\"" + std::string(100000, ',') + "nonce=n"));
    EXPECT_EQ(parseDigestChallenge(std::string(100000, ',')), std::nullopt);
}

TEST(DigestAuthorization, MatchesTheRfcExamples) {
    const std::string expected =
        "Digest username=\"Mufasa\", realm=\"http-auth@example.org\", uri=\"/dir/index.html\", "
        "algorithm=ALG, nonce=\"7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v\", nc=00000001, "
        "cnonce=\"f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ\", qop=auth, response=\"RESPONSE\", "
        "opaque=\"FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS\"";
    auto fill = [&](const std::string& alg, const std::string& response) {
        std::string s = expected;
        s.replace(s.find("ALG"), 3, alg);
        s.replace(s.find("RESPONSE"), 8, response);
        return s;
    };
    EXPECT_EQ(mufasa(*parseDigestChallenge(rfcChallenge("MD5"))),
              fill("MD5", "8ca523f5e9506fed4657c9700eebdbec"));
    EXPECT_EQ(mufasa(*parseDigestChallenge(rfcChallenge("SHA-256"))),
              fill("SHA-256", "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"));

    // RFC 2617 section 3.5.
    DigestChallenge old;
    old.realm = "testrealm@host.com";
    old.nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    old.qopAuth = true;
    EXPECT_EQ(responseOf(digestAuthorization(old, "Mufasa", "Circle Of Life", "GET",
                                             "/dir/index.html", "0a4f113b", 1)),
              "6629fae49393a05397450978507c4ef1");
}

TEST(DigestAuthorization, SessionLegacyAndCountForms) {
    EXPECT_EQ(responseOf(mufasa(rfcAnswerable(DigestAlgorithm::Md5Sess))),
              "e783283f46242139c486a698fec7211d");
    EXPECT_EQ(responseOf(mufasa(rfcAnswerable(DigestAlgorithm::Sha256Sess))),
              "2fd51b3a77ad75bad6afad6003e818d767133c46d9e2749e7f5232ae1ea3efd7");
    std::string counted =
        mufasa(rfcAnswerable(DigestAlgorithm::Md5), "Mufasa", "/dir/index.html", 0x1a2b3c4d);
    EXPECT_NE(counted.find(", nc=1a2b3c4d,"), std::string::npos) << counted;
    EXPECT_EQ(responseOf(counted), "82ff30e52999d8c1e09b8a9e259a9d6a");

    // RFC 2069: without qop no count, client nonce or qop goes out, and none enters the hash.
    DigestChallenge legacy = rfcAnswerable(DigestAlgorithm::Md5, false);
    legacy.opaque.reset();
    EXPECT_EQ(mufasa(legacy), "Digest username=\"Mufasa\", realm=\"http-auth@example.org\", "
                              "uri=\"/dir/index.html\", algorithm=MD5, nonce=\"" +
                                  std::string(kNonce) +
                                  "\", response=\"7b2cc3b30e75b4777ea31027084363fd\"");
    // An empty opaque was still sent, and the server expects it back.
    legacy.opaque = "";
    std::string echoed = mufasa(legacy);
    EXPECT_EQ(echoed.substr(echoed.size() - 11), ", opaque=\"\"") << echoed;
}

TEST(DigestAuthorization, HashedUserNameKeepsTheResponse) {
    DigestChallenge c = rfcAnswerable(DigestAlgorithm::Sha256);
    c.userhash = true;
    std::string header = mufasa(c);
    EXPECT_EQ(header.rfind("Digest username=\"a947aad205e80e429958a387394944c6b496301e79f89d35a4cc"
                           "23b6ee12b5b6\", ",
                           0),
              0u)
        << header;
    EXPECT_EQ(header.find("Mufasa"), std::string::npos);
    EXPECT_EQ(responseOf(header),
              "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    EXPECT_EQ(header.substr(header.size() - 15), ", userhash=true");
}

TEST(DigestAuthorization, EchoedValuesCannotBreakTheHeader) {
    // The realm is hashed as the server meant it and quoted again on the way back.
    auto c = parseDigestChallenge(R"(Digest realm="a \"quoted\" \\ realm", nonce=")" +
                                  std::string(kNonce) + "\", qop=auth");
    ASSERT_TRUE(c);
    std::string header = mufasa(*c, "Mu\"fa\\sa");
    EXPECT_NE(header.find(R"(username="Mu\"fa\\sa", realm="a \"quoted\" \\ realm", )"),
              std::string::npos)
        << header;
    EXPECT_EQ(responseOf(mufasa(*c)), "715b4330a42e88805c76c5c940944672");

    // A user name no quoted string can carry goes percent-encoded; the hash still uses it as is.
    std::string odd = mufasa(rfcAnswerable(DigestAlgorithm::Md5), "Mu\r\nX: 1\x7f\xc3\xa4");
    EXPECT_EQ(odd.rfind("Digest username*=UTF-8''Mu%0D%0AX%3A%201%7F%C3%A4, realm=", 0), 0u) << odd;
    EXPECT_EQ(responseOf(odd), "a05b140778d2dd7d6ea7d2673f5018f1");

    // What the caller supplies must not hold line breaks either.
    EXPECT_THROW(mufasa(rfcAnswerable(DigestAlgorithm::Md5), "Mufasa", "/a\r\nX: 1"), Error);
    DigestChallenge forged = rfcAnswerable(DigestAlgorithm::Md5);
    forged.nonce += "\n";
    EXPECT_THROW(mufasa(forged), Error);
    forged = rfcAnswerable(DigestAlgorithm::Md5);
    forged.opaque = std::string("o\0", 2);
    EXPECT_THROW(mufasa(forged), Error);
    EXPECT_THROW(mufasa(rfcAnswerable(DigestAlgorithm::Sha256Sess, false)), Error);
    EXPECT_THROW(
        digestAuthorization(rfcAnswerable(DigestAlgorithm::Md5), "u", "p", "GET", "/", "", 1),
        Error);
}

TEST(DigestAuthorization, ClientNoncesAreFreshHex) {
    std::string a = makeCnonce(), b = makeCnonce();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos) << a;
    EXPECT_NE(a, b);
}
