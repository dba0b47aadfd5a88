// HttpClient: fetches one address with an HTTP/1.0 GET over AsyncSocket and keeps the response
// body in memory. It parses the address (https when allowed, IPv6 literals, a user and password
// written in it), builds the request header, reads the response header, follows redirects
// (taking a cookie they set along), answers one Digest challenge, and reads the body until the
// server closes, checking it against Content-Length.
#pragma once

#include "core/net/AsyncSocket.h"
#include "core/net/HeaderLines.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// Sent with every request; all empty by default.
struct HeaderInfo {
    std::string localMailAddress; // sent as "User-Agent"
    std::string localProgram;     // sent as "From"
    std::string cookie;
    std::string referer;
    std::string userId;
    std::string password;
};

class HttpClient : public AsyncSocket {
public:
    struct Validators {
        std::string etag;
        std::string lastModified;
    };
    // What a client carries from one Get to the next besides its settings: the validators of
    // conditional requests, a cookie a redirect set, and the host and port an address without
    // them goes to. A client that fetches for many links keeps each link's apart with it.
    struct Memory {
        std::map<std::string, Validators> validators;
        std::string cookie;
        std::string host;
        int port = 0;
    };

    using Event = std::function<void(HttpClient& sender)>;
    using HandledEvent = std::function<void(HttpClient& sender, bool& handled)>;

    // Bounds on what a server may make the client hold or do.
    static constexpr size_t kMaxBodyBytes = size_t{64} << 20;
    static constexpr int kMaxRedirects = 20;
    static constexpr int kMaxHeaderLines = 1000;
    static constexpr size_t kMaxRequestHeaderBytes = 65535;
    static constexpr size_t kMaxPathLength = 256;
    static constexpr size_t kMaxFieldLength = 256;

    // Fetches `address`. Returns when the exchange is over, with the body in Body and the header
    // text in Header; an HTTP error status is no failure. Failures raise, after the connection
    // has been closed. A body shorter than its Content-Length raises "Connection closed after N
    // of M bytes". A multipart/x-mixed-replace answer (an MJPEG stream) gives its first picture
    // part as the body and is closed then.
    void get(const std::string& address);
    // Sends `body` to `address` with a POST (webhooks): the Host, the User-Agent, `fields`
    // ("Name: value"), Content-Type and Content-Length. No redirect is followed. Returns as get.
    void post(const std::string& address, std::string_view body, std::string_view contentType,
              const std::vector<std::string>& fields = {});
    // Reads an MJPEG stream (multipart/x-mixed-replace) part after part, handing each picture
    // part to `each`, until the stream ends ("Stream ended"), fails or is cancelled, which raise
    // as a Get does. An answer that is no stream raises "Not an MJPEG stream".
    using PartSink = std::function<void(std::string_view part)>;
    void streamParts(const std::string& address, const PartSink& each);
    // The last answer's Content-Type.
    const std::string& contentType() const { return contentType_; }

    // Ask only for changes: the ETag and Last-Modified of each address's last 200 response are
    // sent back as If-None-Match and If-Modified-Since; a 304 answer reads no body.
    bool conditional() const { return conditional_; }
    void setConditional(bool on) { conditional_ = on; }
    // The last exchange was a 304 to a conditional request: the image has not changed.
    bool notModified() const { return conditional_ && statusCode_ == 304; }

    const std::string& body() const { return body_; }
    // The length the response's header announced, if it did, and how much of the body being
    // received has arrived (for onPacketRecvd; body() is the last complete one until the end).
    std::optional<int64_t> contentLength() const { return contentLength_; }
    int64_t bodyBytesReceived() const { return static_cast<int64_t>(capture_.size()); }
    // A picture that came another way than HTTP (a camera stream) as the body of a 200 answer
    // without a header, so that it goes on as a fetched still goes.
    void takePictureBody(std::string bytes) {
        body_ = std::move(bytes);
        header_.clear();
        statusCode_ = 200;
        contentLength_.reset();
    }
    // What a camera stream's fetch takes from the client besides its trust: RTP over UDP, and
    // the quality of the JPEG its picture becomes.
    struct StreamSettings {
        bool rtspOverUdp = false;
        int jpegQuality = 90;
    };
    StreamSettings& streamSettings() { return streamSettings_; }
    const StreamSettings& streamSettings() const { return streamSettings_; }
    // Frees the body's memory; a client kept per address holds no picture between fetches.
    void releaseBody() { std::string().swap(body_); }
    // Frees the buffers a large body grew, the received body's included.
    void releaseBuffers() {
        releaseBody();
        std::string().swap(capture_);
    }
    // The memory of the buffers kept for the next body.
    size_t bufferBytes() const { return body_.capacity() + capture_.capacity(); }
    // Installs `memory` and answers what the client remembered until now.
    Memory exchangeMemory(Memory memory);
    const std::string& header() const { return header_; }
    HeaderInfo& headerInfo() { return headerInfo_; }
    const HeaderInfo& headerInfo() const { return headerInfo_; }
    const std::string& proxy() const { return proxy_; }
    void setProxy(std::string proxy) { proxy_ = std::move(proxy); }
    int proxyPort() const { return proxyPort_; }
    void setProxyPort(int port) { proxyPort_ = port; }

    // After each chunk of the body; bytesReceived tells how much has arrived.
    Event onPacketRecvd;
    // The request header is built and no connection is open yet.
    Event onAboutToSend;
    // After the body: a status below 299, or above 399.
    Event onSuccess;
    Event onFailure;
    // Before a redirect is followed; a handled redirect ends Get there.
    HandledEvent onRedirect;
    // After a response with status 401.
    Event onAuthenticationNeeded;

    // The address being fetched (replaced by a redirect) and the state of the last exchange.
    const std::string& url() const { return url_; }
    void setURL(std::string url) { url_ = std::move(url); }
    const std::string& path() const { return path_; }
    int statusCode() const { return statusCode_; }
    const std::string& location() const { return location_; }
    const std::string& setCookie() const { return setCookie_; }
    const HeaderLines& requestHeader() const { return requestHeader_; }

    // Sets Path, Host and Port from URL, and the credentials written in it.
    void parseAddress();
    // The host with an IPv6 address in brackets.
    std::string hostText() const;
    // The Host line's value: hostText, and the port when it is not the scheme's default.
    std::string hostField() const;
    // The address of the last request as a base for relative redirects: scheme, host, port
    // and path, without credentials.
    std::string requestedAddress() const;
    // Fills requestHeader for a GET of URL.
    void buildHeader();

protected:
    void runRequest();
    void sendHeader();
    void readHeader();
    std::string remoteName() const override;
    int remotePort() const override;
    void packetReceived() override;

private:
    // Connect, send, header, body and the outcome, with the connection closed on every path.
    void exchange();
    // The body: to its end, or the first picture of a multipart stream (MJPEG).
    void captureBody();
    void captureChunkedOrParts(const std::optional<std::string>& boundary);
    // Hands each picture part of a multipart body to partSink_ until the body ends.
    void streamEveryPart(const std::string& boundary);
    void reportOutcome();
    // The steps between two exchanges; true when another exchange follows.
    bool prepareRedirect(int& redirects);
    // After a 401: true when a Digest answer to its challenge is to be sent (once per Get).
    bool prepareDigest();
    // Takes or forgets the credentials of the address: they go only to the host and port they
    // were written for.
    void takeCredentials(const std::optional<std::string>& userInfo);
    // "[::1]:8080": the address inside the brackets, and the port after them.
    std::string takeIPv6Literal(const std::string& hostPart);
    // Content-Length, a Digest challenge, ETag and Last-Modified.
    void readOtherField(std::string_view line);
    void rememberValidators();
    std::string origin() const;

    std::string body_;
    std::string capture_;
    std::string header_;
    HeaderInfo headerInfo_;
    std::string proxy_;
    int proxyPort_ = 0;
    std::string url_;
    std::string path_;
    int statusCode_ = 0;
    std::string location_;
    std::string setCookie_;
    HeaderLines requestHeader_;
    std::string requestBody_; // sent after the header: a POST's
    PartSink partSink_;       // set while streamParts reads
    StreamSettings streamSettings_;
    std::optional<int64_t> contentLength_;
    std::string contentType_;
    bool chunked_ = false; // the body comes in chunks, although HTTP/1.0 has none
    std::string decoded_;  // a chunked body without its framing
    std::string wwwAuthenticate_;
    Validators received_;
    std::map<std::string, Validators> validators_;
    bool conditional_ = false;
    // Credentials taken from an address, and the host and port they belong to.
    bool addressCredentials_ = false;
    std::string credentialsOrigin_;
    std::string digestAnswer_;
    bool digestTried_ = false;
    bool followingRedirect_ = false;
};

// The User-Agent value the program sends, with its leading blank.
inline constexpr const char* kImageFetchUserAgent = " Mozilla/3.0 (compatible; Indy Library)";

// What the user may set beyond the documented request: https and its trust, conditional
// requests, and the User-Agent (empty: the program's own).
struct ConnectionOptions {
    TlsOptions tls;
    bool conditional = false;
    std::string userAgent;
    HttpClient::StreamSettings streams;
};

// Applies the options; with the defaults the client sends exactly the documented request.
void applyConnectionOptions(HttpClient& client, const ConnectionOptions& options);

// Configures a client as the program fetches images: default port, no status reports, no
// time-out of its own, no proxy, and the program's User-Agent. The window and the command line
// both use it, so they send the same request.
void applyImageFetchSettings(HttpClient& client);

// "HTTP 404 Not Found": the status line's code and reason, for an answer that is an error.
std::string httpErrorText(const HttpClient& client);

// Raises a clear error when a value of `info` holds a control byte, which would end or split
// the request's lines.
void refuseControlBytes(const HeaderInfo& info);

// Base64 with the standard alphabet and "=" padding, on one line.
std::string encodeBase64(std::string_view bytes);

} // namespace kestrix
