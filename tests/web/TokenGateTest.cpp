// The token in front of a site served beyond this machine: every way of carrying it, every way of
// not carrying it, what a first visit with ?token= sets, and the tokens --serve-token and
// --serve-token-file accept.
#include "web/TokenGate.h"

#include "core/util/Error.h"
#include "web/ArchiveSiteSupport.h"

#include <gtest/gtest.h>

namespace kestrix::test {
namespace {

const std::string kToken = "s3cret-Token_0123456789";

TEST(TokenGate, EveryRequestCarriesTheToken) {
    WeekArchive week;
    const SiteServer site(week.sources(), kToken);
    const std::string picture = "/pictures/Harbour/20261102-000000.jpg";

    struct Refused {
        const char* name;
        std::string target;
        std::string fields;
    };
    const std::vector<Refused> refused = {
        {"nothing", "/", ""},
        {"nothing, healthz", "/healthz", ""},
        {"nothing, picture", picture, ""},
        {"nothing, traversal", "/pictures/../secret.txt", ""},
        {"wrong query", "/?token=s3cret-Token_0123456780", ""},
        {"prefix", "/?token=s3cret-Token_012345678", ""},
        {"longer", "/?token=" + kToken + "9", ""},
        {"empty query", "/?token=", ""},
        {"other parameter", "/?tokens=" + kToken, ""},
        {"wrong cookie", "/", "Cookie: kestrix_token=nope\r\n"},
        {"other cookie's value", "/", "Cookie: other=" + kToken + "\r\n"},
        {"cookie name as prefix", "/", "Cookie: xkestrix_token=" + kToken + "\r\n"},
        {"basic scheme", "/", "Authorization: Basic " + kToken + "\r\n"},
        {"bearer without token", "/", "Authorization: Bearer \r\n"},
        {"wrong bearer", "/", "Authorization: Bearer " + kToken + "x\r\n"},
    };
    for (const Refused& r : refused) {
        const std::string response = site.get(r.target, r.fields);
        EXPECT_EQ(statusOf(response), 401) << r.name;
        EXPECT_EQ(fieldOf(response, "WWW-Authenticate"), "Bearer realm=\"kestrix\"") << r.name;
        EXPECT_EQ(fieldOf(response, "Set-Cookie"), "(none)") << r.name;
        EXPECT_EQ(response.find(kToken), std::string::npos) << r.name;
    }
    // A second Authorization field is refused by the server before the gate.
    EXPECT_EQ(statusOf(site.get("/", "Authorization: Bearer " + kToken +
                                         "\r\nAuthorization: Bearer x\r\n")),
              400);

    // The first visit: the page, and a cookie for the page's own requests and later visits.
    const std::string first = site.get("/?token=" + kToken);
    EXPECT_EQ(statusOf(first), 200);
    EXPECT_EQ(fieldOf(first, "Set-Cookie"),
              "kestrix_token=" + kToken + "; Path=/; Max-Age=31536000; HttpOnly; SameSite=Strict");
    EXPECT_EQ(fieldOf(first, "Referrer-Policy"), "no-referrer");

    struct Accepted {
        const char* name;
        std::string target;
        std::string fields;
    };
    const std::vector<Accepted> accepted = {
        {"cookie", "/", "Cookie: kestrix_token=" + kToken + "\r\n"},
        {"cookie among others", "/api/links", "Cookie: a=1; kestrix_token=" + kToken + "; b=2\r\n"},
        {"two cookie fields", "/healthz",
         "Cookie: a=1\r\nCookie: kestrix_token=" + kToken + "\r\n"},
        {"stale cookie, right one too", "/",
         "Cookie: kestrix_token=old; kestrix_token=" + kToken + "\r\n"},
        {"bearer", "/api/days?link=Harbour", "Authorization: Bearer " + kToken + "\r\n"},
        {"bearer in other case", "/healthz", "Authorization: bearer " + kToken + "\r\n"},
        {"query beside others", "/api/day?link=Harbour&token=" + kToken + "&day=20261102", ""},
    };
    for (const Accepted& a : accepted) {
        const std::string response = site.get(a.target, a.fields);
        EXPECT_EQ(statusOf(response), 200) << a.name;
        EXPECT_EQ(fieldOf(response, "Set-Cookie"), a.target.find("token=") != std::string::npos
                                                       ? fieldOf(first, "Set-Cookie")
                                                       : "(none)")
            << a.name;
    }
    // What only token holders see stays out of shared caches.
    const std::string shown = site.get(picture, "Authorization: Bearer " + kToken + "\r\n");
    EXPECT_EQ(statusOf(shown), 200);
    EXPECT_EQ(fieldOf(shown, "Cache-Control"), "private, max-age=60");
    // Behind the token, the site's own refusals are unchanged.
    EXPECT_EQ(statusOf(site.get("/pictures/../secret.txt?token=" + kToken)), 404);
}

TEST(TokenGate, TokensFromTheCommandLineOrAFile) {
    TempDir dir("token");
    writeFile(dir.file("token"), "  " + kToken + " \nsecond line\n");
    writeFile(dir.file("empty"), "\n\n");
    EXPECT_EQ(web::serveToken("", ""), "");
    EXPECT_EQ(web::serveToken(kToken, ""), kToken);
    EXPECT_EQ(web::serveToken("", dir.file("token")), kToken);
    const std::string rule = "A serve token takes 16 to 256 letters, digits and -._~+/= (for "
                             "example: openssl rand -hex 16)";
    struct Bad {
        std::string token, file, message;
    };
    for (const Bad& b : std::vector<Bad>{
             {"short-token", "", rule},
             {std::string(257, 'a'), "", rule},
             {"with space in the token", "", rule},
             {"semicolon;kestrix_token=x", "", rule},
             {"quote\"0123456789abcdef", "", rule},
             {kToken, dir.file("token"), "Give --serve-token or --serve-token-file, not both"},
             {"", dir.file("empty"), "No token in " + dir.file("empty")},
             {"", dir.file("missing"),
              "Cannot open file \"" + dir.file("missing") + "\". No such file or directory"}}) {
        try {
            web::serveToken(b.token, b.file);
            ADD_FAILURE() << b.token << " " << b.file << " accepted";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), b.message);
        }
    }
}

} // namespace
} // namespace kestrix::test
