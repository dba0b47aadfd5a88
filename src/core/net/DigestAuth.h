// HTTP Digest access authentication (RFC 7616): reading a server's WWW-Authenticate challenge and
// answering it with an Authorization header value, with the MD5 and SHA-256 hashes it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix {

enum class DigestAlgorithm { Md5, Md5Sess, Sha256, Sha256Sess };

// The name the algorithm has on the wire: "MD5", "MD5-sess", "SHA-256", "SHA-256-sess".
std::string_view digestAlgorithmName(DigestAlgorithm algorithm);

struct DigestChallenge {
    std::string realm;
    std::string nonce;
    // Absent and empty differ: a server that sent opaque="" expects it back.
    std::optional<std::string> opaque;
    DigestAlgorithm algorithm = DigestAlgorithm::Md5;
    // The challenge offered qop "auth". Without it the answer takes the RFC 2069 form.
    bool qopAuth = false;
    // The server refused the last answer only because its nonce had expired, so the same
    // credentials may be tried again without asking the user.
    bool stale = false;
    // The server accepts the user name hashed with the realm in place of the plain name.
    bool userhash = false;
};

// What one WWW-Authenticate line may make the parser hold.
inline constexpr size_t kMaxDigestValueBytes = 1024;
inline constexpr size_t kMaxDigestElements = 64;

// Reads the value of one WWW-Authenticate header line and returns its first Digest challenge that
// can be answered, or nullopt. A line may hold several challenges ("Basic realm=..., Digest ...").
// A Digest challenge can be answered when it has a realm and a nonce, a supported algorithm
// (absent means MD5), and either no qop or a qop list with "auth" (a session algorithm needs
// "auth"). A malformed line, a parameter value over kMaxDigestValueBytes, or more than
// kMaxDigestElements challenges and parameters in all give nullopt.
std::optional<DigestChallenge> parseDigestChallenge(std::string_view headerValue);

// The Authorization header value answering `challenge` for a request of `method` on `uri` (the
// request target as sent in the request line). `cnonce` and `nonceCount` are used only when the
// challenge offered qop "auth"; the count goes out as eight hex digits. A user name that cannot
// go in a quoted string goes as username* (RFC 8187). Raises Error when uri or cnonce, or the
// realm, nonce or opaque of a challenge not made by parseDigestChallenge, hold control characters
// that no quoted string can carry, or when a session algorithm comes without qop "auth".
std::string digestAuthorization(const DigestChallenge& challenge, std::string_view user,
                                std::string_view password, std::string_view method,
                                std::string_view uri, std::string_view cnonce, uint32_t nonceCount);

// A fresh client nonce: 16 random bytes from std::random_device as 32 lower-case hex digits.
std::string makeCnonce();

// Lower-case hex digests.
std::string md5Hex(std::string_view data);
std::string sha256Hex(std::string_view data);

} // namespace kestrix
