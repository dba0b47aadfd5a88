// The TLS module: OpenSSL under the socket. The shared context (trust store, TLS 1.2 or newer),
// certificate and name checks with pinned fingerprints, and the non-blocking handshake, reads
// and writes.
#include "core/net/HostLookup.h"
#include "core/net/TlsSession.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>
#include <string_view>

namespace kestrix {

namespace {

// Where a session keeps its pins for the verify callback.
int pinsIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

std::string fingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

// A pinned server certificate is accepted whatever the chain, the name or the dates say.
int verifyCallback(int preverifyOk, X509_STORE_CTX* store) {
    if (preverifyOk == 1)
        return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const auto* pins =
        ssl ? static_cast<const std::vector<std::string>*>(SSL_get_ex_data(ssl, pinsIndex()))
            : nullptr;
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (pins && leaf && !pins->empty() &&
        std::find(pins->begin(), pins->end(), fingerprintOf(leaf)) != pins->end()) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    return 0;
}

// The reason of the first error OpenSSL queued, and the queue emptied.
std::string queuedReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return {};
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(code);
}

int clampedSize(size_t size) {
    return static_cast<int>(std::min<size_t>(size, INT_MAX));
}

// OpenSSL writes to the socket without MSG_NOSIGNAL: a peer that has gone away would raise
// SIGPIPE and end the program. While a guard lives, SIGPIPE is blocked on this thread, and one
// raised meanwhile is taken off the thread's pending signals before it is unblocked.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t pipe_{};
    sigset_t previous_{};
    bool wasPending_ = false;
};

class OpenSslContext final : public TlsContext {
public:
    explicit OpenSslContext(const std::string& certificateFile);
    ~OpenSslContext() override;
    OpenSslContext(const OpenSslContext&) = delete;
    OpenSslContext& operator=(const OpenSslContext&) = delete;

    const std::string& certificateFile() const override { return certificateFile_; }
    SSL_CTX* get() const { return context_; }

private:
    std::string certificateFile_;
    SSL_CTX* context_ = nullptr;
};

class OpenSslSession final : public TlsSession {
public:
    OpenSslSession(std::shared_ptr<TlsContext> context, int socket, const std::string& host,
                   std::vector<std::string> pins);
    ~OpenSslSession() override;
    OpenSslSession(const OpenSslSession&) = delete;
    OpenSslSession& operator=(const OpenSslSession&) = delete;

    Want handshake() override;
    ssize_t read(char* into, size_t size, bool peek, Want& want) override;
    ssize_t write(const char* from, size_t size, Want& want) override;
    void shutdown() override;

private:
    [[noreturn]] void fail(int result) const;

    std::shared_ptr<TlsContext> context_;
    SSL* ssl_ = nullptr;
    std::vector<std::string> pins_;
};

// A folder of certificates named by their subject's hash ("5ad8a5d6.0"), as c_rehash and
// update-ca-certificates make them.
bool hasHashedNames(const char* folder) {
    DIR* dir = ::opendir(folder);
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() == 10 && name.substr(8) == ".0") {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The system's trusted certificates, looked up in their folder by hash as a handshake needs them:
// parsing the whole bundle file costs more than the rest of a fetch of megabytes. A bundle named
// by SSL_CERT_FILE, or a folder without hashed names, is read as OpenSSL reads it by default.
void trustSystemCertificates(SSL_CTX* context) {
    const char* named = std::getenv(X509_get_default_cert_dir_env());
    const char* folder = named ? named : X509_get_default_cert_dir();
    if (!std::getenv(X509_get_default_cert_file_env()) && hasHashedNames(folder) &&
        SSL_CTX_load_verify_dir(context, folder) == 1)
        return;
    SSL_CTX_set_default_verify_paths(context);
}

OpenSslContext::OpenSslContext(const std::string& certificateFile)
    : certificateFile_(certificateFile), context_(SSL_CTX_new(TLS_client_method())) {
    if (!context_)
        throw Error("Secure connection failed: " + queuedReason());
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    // Servers that close without a close-notify are common; a body cut short is caught by its
    // length instead.
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    trustSystemCertificates(context_);
    if (!certificateFile.empty() &&
        SSL_CTX_load_verify_locations(context_, certificateFile.c_str(), nullptr) != 1) {
        const std::string reason = queuedReason();
        SSL_CTX_free(context_);
        throw Error("Secure connection failed: cannot read the certificates in " + certificateFile +
                    (reason.empty() ? "" : " (" + reason + ")"));
    }
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, verifyCallback);
}

OpenSslContext::~OpenSslContext() {
    SSL_CTX_free(context_);
}

OpenSslSession::OpenSslSession(std::shared_ptr<TlsContext> context, int socket,
                               const std::string& host, std::vector<std::string> pins)
    : context_(std::move(context)),
      ssl_(SSL_new(dynamic_cast<const OpenSslContext&>(*context_).get())), pins_(std::move(pins)) {
    if (!ssl_ || SSL_set_fd(ssl_, socket) != 1) {
        SSL_free(ssl_);
        throw Error("Secure connection failed: " + queuedReason());
    }
    SSL_set_connect_state(ssl_);
    SSL_set_ex_data(ssl_, pinsIndex(), &pins_);
    if (parseNumericAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, host.c_str());
        SSL_set1_host(ssl_, host.c_str());
    }
}

OpenSslSession::~OpenSslSession() {
    SSL_free(ssl_);
}

void OpenSslSession::fail(int result) const {
    const long verify = SSL_get_verify_result(ssl_);
    if (verify != X509_V_OK) {
        ERR_clear_error();
        throw Error(std::string("Certificate not trusted: ") +
                    X509_verify_cert_error_string(verify) +
                    (pins_.empty() ? "" : " (no pin matched)"));
    }
    std::string reason = queuedReason();
    if (reason.empty())
        reason = result == 0 || errno == 0 ? "the connection was closed" : std::strerror(errno);
    throw Error("Secure connection failed: " + reason);
}

TlsSession::Want OpenSslSession::handshake() {
    SigpipeGuard guard;
    ERR_clear_error();
    const int result = SSL_connect(ssl_);
    if (result == 1)
        return Want::Nothing;
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
        return Want::Read;
    case SSL_ERROR_WANT_WRITE:
        return Want::Write;
    default:
        fail(result);
    }
}

ssize_t OpenSslSession::read(char* into, size_t size, bool peek, Want& want) {
    SigpipeGuard guard;
    ERR_clear_error();
    errno = 0;
    const int result =
        peek ? SSL_peek(ssl_, into, clampedSize(size)) : SSL_read(ssl_, into, clampedSize(size));
    want = Want::Nothing;
    if (result > 0)
        return result;
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_WANT_READ:
        want = Want::Read;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        want = Want::Write;
        return -1;
    case SSL_ERROR_SYSCALL:
        if (errno == 0) {
            ERR_clear_error();
            return 0;
        }
        [[fallthrough]];
    default:
        fail(result);
    }
}

ssize_t OpenSslSession::write(const char* from, size_t size, Want& want) {
    SigpipeGuard guard;
    ERR_clear_error();
    errno = 0;
    const int result = SSL_write(ssl_, from, clampedSize(size));
    want = Want::Nothing;
    if (result > 0)
        return result;
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
        want = Want::Read;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        want = Want::Write;
        return -1;
    default:
        fail(result);
    }
}

void OpenSslSession::shutdown() {
    SigpipeGuard guard;
    if (SSL_is_init_finished(ssl_))
        SSL_shutdown(ssl_);
    ERR_clear_error();
}

class OpenSslProvider final : public TlsProvider {
public:
    std::shared_ptr<TlsContext> context(const std::string& certificateFile) const override {
        return std::make_shared<OpenSslContext>(certificateFile);
    }
    std::unique_ptr<TlsSession> session(std::shared_ptr<TlsContext> context, int socket,
                                        const std::string& host,
                                        std::vector<std::string> pins) const override {
        return std::make_unique<OpenSslSession>(std::move(context), socket, host, std::move(pins));
    }
};

} // namespace

} // namespace kestrix

extern "C" __attribute__((visibility("default"))) const kestrix::TlsProvider*
kestrixTlsProvider(int interface) {
    static const kestrix::OpenSslProvider provider;
    return interface == kestrix::kTlsModuleInterface ? &provider : nullptr;
}
