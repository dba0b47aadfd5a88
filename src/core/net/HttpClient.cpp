// The HTTP/1.0 exchange: address parsing, the request header, the response header, redirects
// and cookies.
#include "core/net/HttpClient.h"

#include "core/net/ChunkedBody.h"
#include "core/net/DigestAuth.h"
#include "core/net/MultipartStream.h"
#include "core/net/UrlReference.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

#include <algorithm>
#include <cctype>

namespace kestrix {

namespace {

constexpr int kReportOutcome = 2;

// Field `n` (from 1) of `text` split at `separator`; two separators in a row delimit an empty
// field, and a field beyond the last is empty.
std::string field(std::string_view text, char separator, int n) {
    size_t begin = 0;
    for (int i = 1; i < n; ++i) {
        size_t next = text.find(separator, begin);
        if (next == std::string_view::npos)
            return {};
        begin = next + 1;
    }
    return std::string(text.substr(begin, text.find(separator, begin) - begin));
}

std::string_view withoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// The value of a header line taken at a fixed place after its name, colon and blank.
std::string fieldValue(std::string_view line, size_t from) {
    if (line.size() <= from)
        return {};
    return std::string(withoutLineEnd(line.substr(from)).substr(0, HttpClient::kMaxFieldLength));
}

// Control bytes in an address or a cookie would end or split request lines.
bool hasControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool isEndOfHeader(std::string_view line) {
    return line.empty() || line == "\n" || line == "\r\n";
}

// The statuses whose Location is followed. Other statuses from 299 to 399 end the exchange.
bool isFollowedRedirect(int status) {
    return (status >= 300 && status <= 303) || status == 307 || status == 308;
}

// The responses whose body a Content-Length describes in full.
bool bodyIsExpected(int status) {
    return status >= 200 && status != 204 && status != 304 && !isFollowedRedirect(status);
}

// The value after a header line's name and colon, without surrounding blanks, at most `limit`
// bytes.
std::string headerValue(std::string_view line, size_t limit) {
    line = withoutLineEnd(line);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return {};
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return std::string(value.substr(0, limit));
}

// %XX sequences of a user or password written in an address; anything else stays as written.
std::string percentDecoded(std::string_view text) {
    auto hex = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return std::isdigit(byte) ? byte - '0' : std::tolower(byte) - 'a' + 10;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Answers to challenges and remembered validators are bounded, whatever a server sends.
constexpr size_t kMaxChallengeLength = 4096;
constexpr size_t kMaxRememberedAddresses = 1000;

} // namespace

std::string httpErrorText(const HttpClient& client) {
    const std::string_view header = client.header();
    const std::string_view statusLine = withoutLineEnd(header.substr(0, header.find('\n') + 1));
    std::string text = "HTTP " + std::to_string(client.statusCode());
    // "HTTP/1.1 404 Not Found": the reason is what follows the code; control bytes are left out.
    const size_t codeStart = statusLine.find(' ');
    const size_t reasonStart =
        codeStart == std::string_view::npos ? codeStart : statusLine.find(' ', codeStart + 1);
    if (reasonStart != std::string_view::npos) {
        std::string reason;
        for (const char c : statusLine.substr(reasonStart + 1, 100))
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
                reason += c;
        if (!reason.empty())
            text += " " + reason;
    }
    return text;
}

void refuseControlBytes(const HeaderInfo& info) {
    if (hasControlByte(info.localMailAddress))
        throw Error("The User-Agent contains a control character (such as a line break)");
    if (hasControlByte(info.localProgram) || hasControlByte(info.referer))
        throw Error("A request header contains a control character (such as a line break)");
    if (hasControlByte(info.userId) || hasControlByte(info.password))
        throw Error("The user name or password contains a control character (such as a line "
                    "break)");
}

std::string encodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        size_t count = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

void applyImageFetchSettings(HttpClient& client) {
    client.setPort(0);
    client.setReportLevel(0);
    client.setTimeOut(0);
    client.setProxy({});
    client.setProxyPort(0);
    client.headerInfo().localMailAddress = kImageFetchUserAgent;
}

void applyConnectionOptions(HttpClient& client, const ConnectionOptions& options) {
    client.setTlsOptions(options.tls);
    client.setConditional(options.conditional);
    client.headerInfo().localMailAddress =
        options.userAgent.empty() ? std::string(kImageFetchUserAgent) : options.userAgent;
    client.streamSettings() = options.streams;
}

void HttpClient::get(const std::string& address) {
    url_ = address;
    digestAnswer_.clear();
    digestTried_ = false;
    followingRedirect_ = false;
    runRequest();
}

void HttpClient::post(const std::string& address, std::string_view body,
                      std::string_view contentType, const std::vector<std::string>& fields) {
    url_ = address;
    digestAnswer_.clear();
    followingRedirect_ = false;
    parseAddress();
    refuseControlBytes(headerInfo_);
    requestHeader_.clear();
    requestHeader_.add("POST " + path_ + " HTTP/1.0");
    requestHeader_.add("Host: " + hostField());
    if (!headerInfo_.localMailAddress.empty())
        requestHeader_.setHeader("User-Agent", headerInfo_.localMailAddress);
    for (const std::string& field : fields) {
        if (hasControlByte(field))
            throw Error("A request header contains a control character (such as a line break)");
        requestHeader_.add(field);
    }
    requestHeader_.add("Content-Type: " + std::string(contentType));
    requestHeader_.add("Content-Length: " + std::to_string(body.size()));
    requestBody_ = body;
    try {
        exchange();
    } catch (...) {
        requestBody_.clear();
        throw;
    }
    requestBody_.clear();
}

void HttpClient::runRequest() {
    int redirects = 0;
    do {
        parseAddress();
        buildHeader();
        if (onAboutToSend)
            onAboutToSend(*this);
        exchange();
    } while (prepareRedirect(redirects) || prepareDigest());
}

void HttpClient::exchange() {
    try {
        connect();
        sendHeader();
        statusCode_ = 0;
        readHeader();
        if (notModified()) {
            body_.clear();
        } else {
            captureBody();
            body_.swap(capture_);
        }
        rememberValidators();
        reportOutcome();
    } catch (...) {
        disconnect();
        throw;
    }
    disconnect();
}

void HttpClient::captureBody() {
    // The previous body's buffer takes the next one: a camera's images are of much the same
    // size, so a fetch seldom allocates, and a failed capture leaves Body as it was.
    std::optional<std::string> boundary = multipartBoundary(contentType_);
    if (!bodyIsExpected(statusCode_))
        boundary.reset();
    if (partSink_ && boundary && statusCode_ >= 200 && statusCode_ < 300) {
        streamEveryPart(*boundary);
        return;
    }
    if (boundary || chunked_) {
        captureChunkedOrParts(boundary);
        return;
    }
    const bool sized = contentLength_ && bodyIsExpected(statusCode_) &&
                       *contentLength_ <= static_cast<int64_t>(kMaxBodyBytes);
    captureString(capture_, kMaxBodyBytes, sized ? static_cast<size_t>(*contentLength_) : 0);
    if (contentLength_ && bodyIsExpected(statusCode_) &&
        static_cast<int64_t>(capture_.size()) < *contentLength_)
        throw Error("Connection closed after " + std::to_string(capture_.size()) + " of " +
                    std::to_string(*contentLength_) + " bytes");
}

void HttpClient::captureChunkedOrParts(const std::optional<std::string>& boundary) {
    // Parts before the picture and their headers may add to the part's own limit.
    constexpr size_t kStreamSlack = size_t{1} << 20;
    const size_t limit = kMaxBodyBytes + (boundary ? kStreamSlack : 0);
    std::optional<MultipartFirstPicture> parts;
    if (boundary)
        parts.emplace(*boundary, kMaxBodyBytes);
    ChunkedBody chunks;
    decoded_.clear();
    bool complete = false;
    captureUntil(capture_, limit, [&](std::string& received) {
        std::string* data = &received;
        if (chunked_) {
            complete = chunks.feed(received, decoded_, limit);
            data = &decoded_;
        }
        if (parts)
            complete = parts->complete(*data);
        return complete;
    });
    if (chunked_)
        capture_.swap(decoded_);
    if (!complete)
        throw Error(parts ? "Stream ended before a complete picture"
                          : "Connection closed before the end of the chunked body");
    if (parts) {
        capture_.erase(0, parts->offset());
        capture_.resize(parts->length());
    }
}

void HttpClient::streamEveryPart(const std::string& boundary) {
    constexpr size_t kStreamSlack = size_t{1} << 20;
    const size_t limit = kMaxBodyBytes + kStreamSlack;
    MultipartFirstPicture parts(boundary, kMaxBodyBytes);
    ChunkedBody chunks;
    decoded_.clear();
    captureUntil(capture_, limit, [&](std::string& received) {
        std::string& data = chunked_ ? decoded_ : received;
        if (chunked_)
            chunks.feed(received, decoded_, limit);
        while (parts.complete(data)) {
            partSink_(std::string_view(data).substr(parts.offset(), parts.length()));
            // What was handed on goes, so that a stream of any length holds one part at most.
            data.erase(0, parts.offset() + parts.length());
            parts = MultipartFirstPicture(boundary, kMaxBodyBytes);
        }
        return false;
    });
    throw Error("Stream ended");
}

void HttpClient::streamParts(const std::string& address, const PartSink& each) {
    partSink_ = each;
    try {
        get(address);
    } catch (...) {
        partSink_ = nullptr;
        throw;
    }
    partSink_ = nullptr;
    // A stream only ends by raising: an answer that came to an end was none.
    throw Error(statusCode_ >= 400 ? httpErrorText(*this) : "Not an MJPEG stream");
}

void HttpClient::reportOutcome() {
    if (statusCode_ < 299) {
        if (onSuccess)
            onSuccess(*this);
        report("Transaction Completed", kReportOutcome);
    } else if (statusCode_ > 399) {
        if (onFailure)
            onFailure(*this);
    }
    if (isFollowedRedirect(statusCode_)) {
        if (location_.empty())
            throw Error("Redirect without a Location");
        url_ = resolveReference(requestedAddress(), location_);
    }
}

bool HttpClient::prepareRedirect(int& redirects) {
    // A cookie that could split the request is not sent back.
    if (statusCode_ >= 300 && statusCode_ <= 398 && !setCookie_.empty() &&
        !hasControlByte(setCookie_))
        headerInfo_.cookie = setCookie_;
    if (statusCode_ == 401 && onAuthenticationNeeded)
        onAuthenticationNeeded(*this);
    if (!isFollowedRedirect(statusCode_))
        return false;
    bool handled = false;
    if (onRedirect)
        onRedirect(*this, handled);
    if (handled)
        return false;
    if (++redirects > kMaxRedirects)
        throw Error("Too many redirects");
    // A Digest answer is for one address only.
    digestAnswer_.clear();
    followingRedirect_ = true;
    return true;
}

bool HttpClient::prepareDigest() {
    if (statusCode_ != 401 || digestTried_ || headerInfo_.userId.empty())
        return false;
    const auto challenge = parseDigestChallenge(wwwAuthenticate_);
    if (!challenge)
        return false;
    // One answer only: a second 401 ends the exchange, so a wrong password is not tried again
    // and again against a camera that locks accounts.
    digestTried_ = true;
    digestAnswer_ = digestAuthorization(*challenge, headerInfo_.userId, headerInfo_.password, "GET",
                                        path_, makeCnonce(), 1);
    return true;
}

std::string HttpClient::origin() const {
    return std::string(secure() ? "https://" : "http://") + hostText() + ":" +
           std::to_string(port());
}

void HttpClient::takeCredentials(const std::optional<std::string>& userInfo) {
    if (userInfo) {
        const size_t colon = userInfo->find(':');
        headerInfo_.userId = percentDecoded(userInfo->substr(0, colon));
        headerInfo_.password = colon == std::string::npos
                                   ? std::string()
                                   : percentDecoded(userInfo->substr(colon + 1));
        addressCredentials_ = true;
        credentialsOrigin_ = origin();
        return;
    }
    // Credentials from an earlier address never travel to another host or port, nor to the
    // next address fetched.
    if (addressCredentials_ && (!followingRedirect_ || origin() != credentialsOrigin_)) {
        headerInfo_.userId.clear();
        headerInfo_.password.clear();
        addressCredentials_ = false;
    }
}

void HttpClient::rememberValidators() {
    if (!conditional_ || statusCode_ != 200)
        return;
    if (received_.etag.empty() && received_.lastModified.empty()) {
        validators_.erase(url_);
        return;
    }
    // Addresses with changing macros would otherwise collect without end.
    if (validators_.size() >= kMaxRememberedAddresses && !validators_.count(url_))
        validators_.clear();
    validators_[url_] = received_;
}

HttpClient::Memory HttpClient::exchangeMemory(Memory memory) {
    Memory old{std::move(validators_), std::move(headerInfo_.cookie), host(), port()};
    validators_ = std::move(memory.validators);
    headerInfo_.cookie = std::move(memory.cookie);
    setHost(std::move(memory.host));
    setPort(memory.port);
    return old;
}

std::string HttpClient::hostText() const {
    return host().find(':') != std::string::npos ? "[" + host() + "]" : host();
}

std::string HttpClient::hostField() const {
    return port() == (secure() ? 443 : 80) ? hostText() : hostText() + ":" + std::to_string(port());
}

std::string HttpClient::requestedAddress() const {
    return std::string(secure() ? "https://" : "http://") + hostField() + path_;
}

void HttpClient::parseAddress() {
    if (url_.empty())
        throw Error("Empty URL");
    if (hasControlByte(url_))
        throw Error("Invalid character in URL");
    if (port() == 0)
        setPort(80);

    bool hasAuthority = url_.find("//") != std::string::npos;
    size_t slash = url_.find('/');
    if (hasAuthority) {
        for (int i = 1; i < 3 && slash != std::string::npos; ++i)
            slash = url_.find('/', slash + 1);
        if (slash + 1 == url_.size())
            slash = std::string::npos;
    }
    path_ = slash == std::string::npos ? std::string() : url_.substr(slash, kMaxPathLength);

    size_t colon = url_.find(':');
    setSecure(false);
    if (colon != std::string::npos) {
        std::string scheme = toLowerAscii(url_.substr(0, colon));
        if (scheme == "https") {
            if (!tlsOptions().allowHttps)
                throw Error(tlsOptions().httpsOffMessage);
            setSecure(true);
            setPort(443);
        } else {
            setPort(scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80);
        }
    }

    std::string hostPart;
    if (hasAuthority)
        hostPart = field(url_, '/', 3);
    else if (url_.front() != '/')
        hostPart = field(url_, '/', 1);
    // "user:password@host": the last "@" ends the credentials, which may hold ":" and "@".
    std::optional<std::string> userInfo;
    if (const size_t at = hostPart.rfind('@'); at != std::string::npos) {
        userInfo = hostPart.substr(0, at);
        hostPart.erase(0, at + 1);
    }
    if (!hostPart.empty() && hostPart.front() == '[') {
        hostPart = takeIPv6Literal(hostPart);
    } else if (size_t portColon = hostPart.find(':'); portColon != std::string::npos) {
        setPort(strToInt(field(hostPart, ':', 2)));
        hostPart.resize(portColon);
    }
    if (!hostPart.empty())
        setHost(hostPart);
    takeCredentials(userInfo);

    if (path_.empty()) {
        path_ = "/";
        url_ += "/";
    }
}

void HttpClient::buildHeader() {
    requestHeader_.clear();
    if (proxy_.empty()) {
        requestHeader_.add("GET " + path_ + " HTTP/1.0");
    } else {
        requestHeader_.add("GET " + url_ + " HTTP/1.0");
        requestHeader_.add("Proxy-Connection: Keep-Alive");
        requestHeader_.add("Host: " + hostField());
    }
    requestHeader_.setHeader("Host", hostField());
    requestHeader_.add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    requestHeader_.add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    const HeaderInfo& info = headerInfo_;
    refuseControlBytes(info);
    if (!info.localMailAddress.empty())
        requestHeader_.setHeader("User-Agent", info.localMailAddress);
    if (!info.localProgram.empty())
        requestHeader_.setHeader("From", info.localProgram);
    if (!info.cookie.empty())
        requestHeader_.setHeader("Cookie", info.cookie);
    if (!info.referer.empty())
        requestHeader_.setHeader("Referer", info.referer);
    // A user or a password alone, written in the address ("cam@host", ":pw@host"), is sent as
    // written, as other clients do.
    const bool basic = addressCredentials_ ? !info.userId.empty() || !info.password.empty()
                                           : !info.userId.empty() && !info.password.empty();
    if (basic)
        requestHeader_.setHeader("Authorization",
                                 "Basic " + encodeBase64(info.userId + ":" + info.password));
    if (!digestAnswer_.empty())
        requestHeader_.setHeader("Authorization", digestAnswer_);
    if (conditional_) {
        if (auto known = validators_.find(url_); known != validators_.end()) {
            if (!known->second.etag.empty())
                requestHeader_.setHeader("If-None-Match", known->second.etag);
            if (!known->second.lastModified.empty())
                requestHeader_.setHeader("If-Modified-Since", known->second.lastModified);
        }
    }
    requestHeader_.add("Content-type: application/x-www-form-urlencoded");
}

void HttpClient::sendHeader() {
    std::string text = requestHeader_.text();
    if (text.size() > kMaxRequestHeaderBytes)
        throw Error("Request header too long");
    sendBuffer(text + "\r\n" + requestBody_);
}

void HttpClient::readHeader() {
    setCookie_.clear();
    location_.clear();
    header_.clear();
    contentLength_.reset();
    contentType_.clear();
    chunked_ = false;
    wwwAuthenticate_.clear();
    received_ = {};
    int lines = 0;
    std::string line = readLn();
    if (!line.empty()) {
        // The line end is no part of the number: "HTTP/1.0 302" without a reason is a 302.
        statusCode_ = parseInt32(field(withoutLineEnd(line), ' ', 2)).value_or(0);
        header_ += line;
        ++lines;
    }
    for (;;) {
        line = readLn();
        std::string name = toUpperAscii(field(line, ' ', 1));
        if (name == "SET-COOKIE:")
            setCookie_ = fieldValue(line, 12);
        else if (name == "LOCATION:")
            location_ = fieldValue(line, 10);
        else
            readOtherField(line);
        bool end = isEndOfHeader(line);
        if (!end && ++lines > kMaxHeaderLines)
            throw Error("Header too long");
        header_ += line;
        if (end)
            return;
    }
}

void HttpClient::readOtherField(std::string_view line) {
    const std::string name = toUpperAscii(std::string(line.substr(0, line.find(':'))));
    if (name == "CONTENT-LENGTH") {
        const auto length = parseInt64(headerValue(line, 32));
        contentLength_ = length && *length >= 0 ? length : std::nullopt;
    } else if (name == "TRANSFER-ENCODING") {
        chunked_ =
            findIgnoreCase(headerValue(line, kMaxFieldLength), "chunked") != std::string::npos;
    } else if (name == "CONTENT-TYPE") {
        contentType_ = headerValue(line, kMaxFieldLength);
    } else if (name == "WWW-AUTHENTICATE") {
        std::string value = headerValue(line, kMaxChallengeLength);
        if (wwwAuthenticate_.empty() && parseDigestChallenge(value))
            wwwAuthenticate_ = std::move(value);
    } else if (name == "ETAG") {
        received_.etag = headerValue(line, kMaxFieldLength);
    } else if (name == "LAST-MODIFIED") {
        received_.lastModified = headerValue(line, kMaxFieldLength);
    }
}

std::string HttpClient::takeIPv6Literal(const std::string& hostPart) {
    const size_t close = hostPart.find(']');
    std::string literal =
        hostPart.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (literal.find('%') != std::string::npos)
        throw Error("IPv6 addresses with a zone (" + hostPart + ") are not supported");
    if (close == std::string::npos || literal.find(':') == std::string::npos ||
        !parseNumericAddress(literal))
        throw Error("Invalid IPv6 address: " + hostPart);
    const std::string rest = hostPart.substr(close + 1);
    if (!rest.empty()) {
        if (rest.front() != ':')
            throw Error("Invalid IPv6 address: " + hostPart);
        setPort(strToInt(rest.substr(1)));
    }
    return literal;
}

std::string HttpClient::remoteName() const {
    return proxy_.empty() ? host() : proxy_;
}

int HttpClient::remotePort() const {
    return proxy_.empty() ? port() : proxyPort_;
}

void HttpClient::packetReceived() {
    if (onPacketRecvd)
        onPacketRecvd(*this);
}

} // namespace kestrix
