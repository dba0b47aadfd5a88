// Digest authentication: a bounded reader for WWW-Authenticate lines, the RFC 7616 response
// computation, and self-contained MD5 (RFC 1321) and SHA-256 (FIPS 180-4) so that this module
// needs no crypto library.
#include "core/net/DigestAuth.h"

#include "core/util/Error.h"
#include "core/util/Text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

namespace kestrix {

namespace {

// ---- Hashes ----

uint32_t rotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

uint32_t rotateRight(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

struct Md5Engine {
    static constexpr bool kBigEndian = false;
    std::array<uint32_t, 4> state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

    void block(const unsigned char* p) {
        static constexpr uint32_t kSine[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
            0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
            0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
            0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
            0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
            0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
            0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
            0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
            0xeb86d391};
        static constexpr int kShift[4][4] = {
            {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
        uint32_t m[16];
        for (int i = 0; i < 16; ++i)
            m[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
                   uint32_t(p[4 * i + 3]) << 24;
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            switch (i / 16) {
            case 0:
                f = (b & c) | (~b & d);
                g = i;
                break;
            case 1:
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
                break;
            }
            uint32_t rotated = rotateLeft(a + f + kSine[i] + m[g], kShift[i / 16][i % 4]);
            a = d;
            d = c;
            c = b;
            b += rotated;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
};

struct Sha256Engine {
    static constexpr bool kBigEndian = true;
    std::array<uint32_t, 8> state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

    void block(const unsigned char* p) {
        static constexpr uint32_t kRound[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
            0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
            0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
            0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
            0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
            0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
            0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
            0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
            0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 |
                   uint32_t(p[4 * i + 2]) << 8 | uint32_t(p[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t sum1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
            uint32_t choice = (e & f) ^ (~e & g);
            uint32_t t1 = h + sum1 + choice + kRound[i] + w[i];
            uint32_t sum0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
            uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            uint32_t t2 = sum0 + majority;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
};

constexpr char kHexDigits[] = "0123456789abcdef";

void appendHexByte(std::string& out, unsigned char byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 15];
}

// Both hashes pad the same way (a 1 bit, zeros, the bit length in the last 8 bytes of a 64-byte
// block) and differ only in byte order.
template <class Engine> std::string hashHex(std::string_view data) {
    Engine engine;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    size_t whole = data.size() / 64 * 64;
    for (size_t at = 0; at < whole; at += 64)
        engine.block(bytes + at);

    unsigned char tail[128] = {};
    size_t rest = data.size() - whole;
    if (rest > 0)
        std::memcpy(tail, bytes + whole, rest);
    tail[rest] = 0x80;
    size_t tailSize = rest < 56 ? 64 : 128;
    uint64_t bits = uint64_t(data.size()) * 8;
    for (int i = 0; i < 8; ++i) {
        int shift = Engine::kBigEndian ? 56 - 8 * i : 8 * i;
        tail[tailSize - 8 + size_t(i)] = static_cast<unsigned char>(bits >> shift);
    }
    for (size_t at = 0; at < tailSize; at += 64)
        engine.block(tail + at);

    std::string hex;
    for (uint32_t word : engine.state)
        for (int i = 0; i < 4; ++i) {
            int shift = Engine::kBigEndian ? 24 - 8 * i : 8 * i;
            appendHexByte(hex, static_cast<unsigned char>(word >> shift));
        }
    return hex;
}

// ---- Reading WWW-Authenticate ----

bool isTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool isToken68Char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("-._~+/", c) != nullptr);
}

// What a quoted string may carry: tab, space, visible ASCII and any byte from 0x80 up. The other
// control characters could end the header line or smuggle in another.
bool isQuotable(char c) {
    auto u = static_cast<unsigned char>(c);
    return u == '\t' || (u >= 0x20 && u != 0x7f);
}

struct RawChallenge {
    std::string_view scheme;
    bool token68 = false;
    std::vector<std::pair<std::string, std::string>> params; // names in lower case
};

// A cursor over the line. Every read either consumes input or fails, so no loop can stall.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool atEnd() const { return at_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[at_]; }
    size_t position() const { return at_; }
    void seek(size_t at) { at_ = at; }
    void advance() { ++at_; }

    // Spaces and tabs, a folded line break (one followed by a space or tab), and a line break
    // that ends the text. Returns whether anything was skipped.
    bool skipWhitespace() {
        size_t start = at_;
        while (!atEnd()) {
            char c = text_[at_];
            if (c == ' ' || c == '\t') {
                ++at_;
                continue;
            }
            size_t next = at_;
            if (c == '\r' && next + 1 < text_.size() && text_[next + 1] == '\n')
                next += 2;
            else if (c == '\r' || c == '\n')
                next += 1;
            else
                break;
            if (next < text_.size() && text_[next] != ' ' && text_[next] != '\t')
                break;
            at_ = next;
        }
        return at_ != start;
    }

    // After optional whitespace: the end of the text or a comma (not consumed).
    bool atElementEnd() {
        skipWhitespace();
        return atEnd() || peek() == ',';
    }

    std::string_view token() {
        size_t start = at_;
        while (!atEnd() && isTokenChar(text_[at_]))
            ++at_;
        return text_.substr(start, at_ - start);
    }

    // A token68 that fills its element; otherwise the cursor is left where it was.
    bool token68() {
        size_t start = at_;
        while (!atEnd() && isToken68Char(text_[at_]))
            ++at_;
        bool any = at_ != start;
        while (any && !atEnd() && text_[at_] == '=')
            ++at_;
        if (any && atElementEnd())
            return true;
        at_ = start;
        return false;
    }

    // A token or a quoted string with its backslash escapes undone, of at most `limit` bytes.
    std::optional<std::string> value(size_t limit) {
        if (peek() != '"') {
            std::string_view t = token();
            if (t.empty() || t.size() > limit)
                return std::nullopt;
            return std::string(t);
        }
        ++at_;
        std::string out;
        while (!atEnd()) {
            char c = text_[at_++];
            if (c == '"')
                return out;
            if (c == '\\') {
                if (atEnd())
                    return std::nullopt;
                c = text_[at_++];
            }
            if (!isQuotable(c) || out.size() >= limit)
                return std::nullopt;
            out += c;
        }
        return std::nullopt;
    }

private:
    std::string_view text_;
    size_t at_ = 0;
};

// Reads "name = value" into `challenge`; false when malformed or over a bound.
bool readParam(Cursor& in, std::string_view name, RawChallenge& challenge) {
    if (name.empty() || name.size() > kMaxDigestValueBytes)
        return false;
    in.skipWhitespace();
    if (in.peek() != '=')
        return false;
    in.advance();
    in.skipWhitespace();
    std::optional<std::string> value = in.value(kMaxDigestValueBytes);
    if (!value || !in.atElementEnd())
        return false;
    challenge.params.emplace_back(toLowerAscii(name), std::move(*value));
    return true;
}

// The whole line as challenges, or nullopt when it does not follow the grammar of RFC 9110
// section 11.6.1 or passes a bound.
std::optional<std::vector<RawChallenge>> readChallenges(std::string_view text) {
    Cursor in(text);
    std::vector<RawChallenge> challenges;
    size_t elements = 0;
    while (true) {
        in.skipWhitespace();
        if (in.atEnd())
            return challenges;
        if (in.peek() == ',') { // empty list elements are allowed and ignored
            in.advance();
            continue;
        }
        std::string_view name = in.token();
        if (name.empty() || ++elements > kMaxDigestElements)
            return std::nullopt;
        size_t afterName = in.position();
        in.skipWhitespace();
        // After a comma, "name =" continues the current challenge; anything else starts one.
        if (in.peek() == '=' && !challenges.empty() && !challenges.back().token68) {
            in.seek(afterName);
            if (!readParam(in, name, challenges.back()))
                return std::nullopt;
            continue;
        }
        in.seek(afterName);
        if (name.size() > kMaxDigestValueBytes)
            return std::nullopt;
        challenges.push_back({name, false, {}});
        if (in.atElementEnd())
            continue;
        in.seek(afterName);
        if (!in.skipWhitespace())
            return std::nullopt; // the scheme must be set apart from what follows it
        if (in.token68()) {
            challenges.back().token68 = true;
            continue;
        }
        std::string_view first = in.token();
        if (++elements > kMaxDigestElements || !readParam(in, first, challenges.back()))
            return std::nullopt;
    }
}

std::optional<DigestAlgorithm> algorithmNamed(std::string_view name) {
    for (auto a : {DigestAlgorithm::Md5, DigestAlgorithm::Md5Sess, DigestAlgorithm::Sha256,
                   DigestAlgorithm::Sha256Sess})
        if (equalsIgnoreCase(name, digestAlgorithmName(a)))
            return a;
    return std::nullopt;
}

bool isSession(DigestAlgorithm a) {
    return a == DigestAlgorithm::Md5Sess || a == DigestAlgorithm::Sha256Sess;
}

bool listHasAuth(std::string_view list) {
    while (true) {
        size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (equalsIgnoreCase(item, "auth"))
            return true;
        if (comma == std::string_view::npos)
            return false;
        list.remove_prefix(comma + 1);
    }
}

std::optional<DigestChallenge> answerable(const RawChallenge& raw) {
    if (!equalsIgnoreCase(raw.scheme, "Digest") || raw.token68)
        return std::nullopt;
    const std::string* realm = nullptr;
    const std::string* nonce = nullptr;
    const std::string* opaque = nullptr;
    const std::string* algorithm = nullptr;
    const std::string* qop = nullptr;
    const std::string* stale = nullptr;
    const std::string* userhash = nullptr;
    std::pair<const char*, const std::string**> known[] = {
        {"realm", &realm}, {"nonce", &nonce}, {"opaque", &opaque},    {"algorithm", &algorithm},
        {"qop", &qop},     {"stale", &stale}, {"userhash", &userhash}};
    for (const auto& [name, value] : raw.params)
        for (auto& [knownName, slot] : known)
            if (name == knownName) {
                // A repeated parameter leaves no way to tell which one the server meant.
                if (*slot != nullptr)
                    return std::nullopt;
                *slot = &value;
            }
    if (realm == nullptr || nonce == nullptr)
        return std::nullopt;
    DigestChallenge c;
    c.realm = *realm;
    c.nonce = *nonce;
    if (opaque != nullptr)
        c.opaque = *opaque;
    if (algorithm != nullptr) {
        std::optional<DigestAlgorithm> a = algorithmNamed(*algorithm);
        if (!a)
            return std::nullopt;
        c.algorithm = *a;
    }
    if (qop != nullptr) {
        if (!listHasAuth(*qop))
            return std::nullopt;
        c.qopAuth = true;
    }
    // A session key is built from the client nonce, which only goes out alongside qop.
    if (isSession(c.algorithm) && !c.qopAuth)
        return std::nullopt;
    c.stale = stale != nullptr && equalsIgnoreCase(*stale, "true");
    c.userhash = userhash != nullptr && equalsIgnoreCase(*userhash, "true");
    return c;
}

// ---- Writing Authorization ----

void appendQuoted(std::string& out, std::string_view value, const char* what) {
    out += '"';
    for (char c : value) {
        if (!isQuotable(c))
            throw Error(std::string("The digest ") + what + " holds a control character");
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
}

// RFC 8187 ext-value: UTF-8'' and every byte outside attr-char as %XX.
void appendExtValue(std::string& out, std::string_view value) {
    out += "UTF-8''";
    for (char c : value) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     (c != '\0' && std::strchr("!#$&+-.^_`|~", c) != nullptr);
        if (plain) {
            out += c;
        } else {
            static constexpr char kUpperHex[] = "0123456789ABCDEF";
            auto u = static_cast<unsigned char>(c);
            out += '%';
            out += kUpperHex[u >> 4];
            out += kUpperHex[u & 15];
        }
    }
}

std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    bool first = true;
    for (std::string_view part : parts) {
        if (!first)
            out += ':';
        out += part;
        first = false;
    }
    return out;
}

} // namespace

std::string_view digestAlgorithmName(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Md5:
        return "MD5";
    case DigestAlgorithm::Md5Sess:
        return "MD5-sess";
    case DigestAlgorithm::Sha256:
        return "SHA-256";
    case DigestAlgorithm::Sha256Sess:
        return "SHA-256-sess";
    }
    return "MD5";
}

std::optional<DigestChallenge> parseDigestChallenge(std::string_view headerValue) {
    std::optional<std::vector<RawChallenge>> challenges = readChallenges(headerValue);
    if (!challenges)
        return std::nullopt;
    // Servers list the challenges they prefer first (RFC 7616 section 3.7).
    for (const RawChallenge& raw : *challenges)
        if (std::optional<DigestChallenge> c = answerable(raw))
            return c;
    return std::nullopt;
}

std::string digestAuthorization(const DigestChallenge& challenge, std::string_view user,
                                std::string_view password, std::string_view method,
                                std::string_view uri, std::string_view cnonce,
                                uint32_t nonceCount) {
    const DigestChallenge& c = challenge;
    bool sha256 =
        c.algorithm == DigestAlgorithm::Sha256 || c.algorithm == DigestAlgorithm::Sha256Sess;
    auto hash = [sha256](std::string_view data) { return sha256 ? sha256Hex(data) : md5Hex(data); };
    if (isSession(c.algorithm) && !c.qopAuth)
        throw Error("A digest session algorithm needs qop \"auth\"");
    if (c.qopAuth && cnonce.empty())
        throw Error("The digest client nonce is empty");

    std::string nc;
    for (int shift = 28; shift >= 0; shift -= 4)
        nc += kHexDigits[(nonceCount >> shift) & 15];

    std::string ha1 = hash(joined({user, c.realm, password}));
    if (isSession(c.algorithm))
        ha1 = hash(joined({ha1, c.nonce, cnonce}));
    std::string ha2 = hash(joined({method, uri}));
    std::string response = c.qopAuth ? hash(joined({ha1, c.nonce, nc, cnonce, "auth", ha2}))
                                     : hash(joined({ha1, c.nonce, ha2}));

    std::string out = "Digest ";
    if (c.userhash) {
        out += "username=\"" + hash(joined({user, c.realm})) + "\"";
    } else if (std::all_of(user.begin(), user.end(), isQuotable)) {
        out += "username=";
        appendQuoted(out, user, "user name");
    } else {
        out += "username*=";
        appendExtValue(out, user);
    }
    out += ", realm=";
    appendQuoted(out, c.realm, "realm");
    out += ", uri=";
    appendQuoted(out, uri, "address");
    out += ", algorithm=";
    out += digestAlgorithmName(c.algorithm);
    out += ", nonce=";
    appendQuoted(out, c.nonce, "nonce");
    if (c.qopAuth) {
        out += ", nc=" + nc + ", cnonce=";
        appendQuoted(out, cnonce, "client nonce");
        out += ", qop=auth";
    }
    out += ", response=\"" + response + "\"";
    if (c.opaque) {
        out += ", opaque=";
        appendQuoted(out, *c.opaque, "opaque value");
    }
    if (c.userhash)
        out += ", userhash=true";
    return out;
}

std::string makeCnonce() {
    std::string out;
    try {
        std::random_device source;
        // One byte a call: the width of result_type is not fixed.
        for (int i = 0; i < 16; ++i)
            appendHexByte(out, static_cast<unsigned char>(source() & 0xff));
    } catch (const std::exception& e) {
        throw Error(std::string("No random source for the digest client nonce: ") + e.what());
    }
    return out;
}

std::string md5Hex(std::string_view data) {
    return hashHex<Md5Engine>(data);
}

std::string sha256Hex(std::string_view data) {
    return hashHex<Sha256Engine>(data);
}

} // namespace kestrix
