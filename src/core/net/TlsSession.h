// TLS on the client's non-blocking socket, through OpenSSL. The session never waits: each call
// does what it can and says whether it needs the socket readable or writable first, so the
// socket's own poll-and-pump waits (with their cancel and time-out) drive the handshake, the
// reads and the writes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kestrix {

// What the user allows and trusts for https addresses.
struct TlsOptions {
    bool allowHttps = false;
    // A PEM file of further trusted certificates, added to the system's trust store.
    std::string certificateFile;
    // SHA-256 fingerprints of server certificates accepted as they are, as 64 lower-case hex
    // digits each.
    std::vector<std::string> pins;
    // The error of an https address while https is off; each front end says how to allow it.
    std::string httpsOffMessage = "HTTP Secure Socket is not supported";
};

// Fingerprints as users write them: hex digits, with colons and blanks allowed inside one and
// blanks (or commas, or line ends) between them. Raises "Invalid certificate fingerprint: TEXT"
// for anything that is not 32 bytes of hex.
std::vector<std::string> parseFingerprints(std::string_view text);

// The system trust store plus the certificate file: set up once and shared by the sessions.
class TlsContext {
public:
    virtual ~TlsContext() = default;
    virtual const std::string& certificateFile() const = 0;
};

class TlsSession {
public:
    enum class Want { Nothing, Read, Write };

    virtual ~TlsSession() = default;

    // One step of the handshake: Nothing once it is complete. Raises "Certificate not trusted:
    // REASON" or "Secure connection failed: REASON".
    virtual Want handshake() = 0;
    // Up to `size` bytes (left in the session with `peek`): the count, 0 once the server has
    // closed, or -1 with `want` set when the socket must be ready first. Raises on a broken
    // connection.
    virtual ssize_t read(char* into, size_t size, bool peek, Want& want) = 0;
    virtual ssize_t write(const char* from, size_t size, Want& want) = 0;
    // A polite close; never waits.
    virtual void shutdown() = 0;
};

// Both come from the TLS module (OpenSSL), opened at the first secure connection.
// Raises "Secure connection failed: REASON" when the certificate file cannot be read.
std::shared_ptr<TlsContext> makeTlsContext(const std::string& certificateFile);
// `host` is the name (sent as SNI and checked against the certificate) or an IP literal
// (checked against the certificate's addresses, no SNI).
std::unique_ptr<TlsSession> makeTlsSession(std::shared_ptr<TlsContext> context, int socket,
                                           const std::string& host, std::vector<std::string> pins);

// What the TLS module's entry answers.
class TlsProvider {
public:
    virtual std::shared_ptr<TlsContext> context(const std::string& certificateFile) const = 0;
    virtual std::unique_ptr<TlsSession> session(std::shared_ptr<TlsContext> context, int socket,
                                                const std::string& host,
                                                std::vector<std::string> pins) const = 0;

protected:
    ~TlsProvider() = default;
};

// Changes whenever the entry or the classes above change.
constexpr int kTlsModuleInterface = 1;
using TlsModuleEntry = const TlsProvider* (*)(int interface);

} // namespace kestrix
