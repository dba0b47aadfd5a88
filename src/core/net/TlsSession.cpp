// Pinned fingerprints as users write them, and the sessions made by the TLS module.
#include "core/net/TlsSession.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/RuntimeModule.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kestrix {

namespace {

constexpr RuntimeModule kTlsModule{"libkestrix_tls.so", "kestrixTlsProvider", "KESTRIX_TLS_MODULE",
                                   "Secure (https) addresses", "libssl3"};

const TlsProvider& tlsProvider() {
    // Loaded once; a failed load is tried again by the next connection.
    static const TlsProvider* const provider = [] {
        const auto entry = reinterpret_cast<TlsModuleEntry>(loadModuleEntry(kTlsModule));
        const TlsProvider* answer = entry(kTlsModuleInterface);
        if (answer == nullptr)
            throwModuleUnusable(kTlsModule, "it belongs to another build of Kestrix");
        return answer;
    }();
    return *provider;
}

// "sha256 Fingerprint=AB:CD:...", as `openssl x509 -noout -fingerprint -sha256` prints it: the
// label separates fingerprints like a comma.
std::string withoutFingerprintLabels(std::string_view text) {
    constexpr std::string_view kLabel = "sha256 fingerprint=";
    std::string out;
    for (size_t i = 0; i < text.size();) {
        std::string candidate(text.substr(i, kLabel.size()));
        for (char& c : candidate)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (candidate == kLabel) {
            out += ',';
            i += kLabel.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

} // namespace

std::vector<std::string> parseFingerprints(std::string_view text) {
    const std::string unlabelled = withoutFingerprintLabels(text);
    text = unlabelled;
    std::vector<std::string> pins;
    std::string current;
    auto finish = [&] {
        if (current.empty())
            return;
        if (current.size() != 64)
            throw Error("Invalid certificate fingerprint: " + current);
        pins.push_back(current);
        current.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            current += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (c == ':') {
            continue;
        } else if (c == ' ' || c == '\t') {
            // A blank inside a fingerprint joins its byte pairs; one after a whole one ends it.
            if (current.size() == 64)
                finish();
        } else if (c == ',' || c == ';' || c == '\n' || c == '\r') {
            finish();
        } else {
            throw Error("Invalid certificate fingerprint: " + std::string(text));
        }
    }
    finish();
    return pins;
}

std::shared_ptr<TlsContext> makeTlsContext(const std::string& certificateFile) {
    // OpenSSL would only name a library error code for a file it cannot open.
    if (!certificateFile.empty()) {
        const int fd = ::open(certificateFile.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw Error("Cannot read " + certificateFile + ": " + systemErrorText(errno));
        ::close(fd);
    }
    return tlsProvider().context(certificateFile);
}

std::unique_ptr<TlsSession> makeTlsSession(std::shared_ptr<TlsContext> context, int socket,
                                           const std::string& host, std::vector<std::string> pins) {
    return tlsProvider().session(std::move(context), socket, host, std::move(pins));
}

} // namespace kestrix
