#include "cli/ConnectionArgs.h"

namespace kestrix::cli {

namespace {

// Mistakes in a pin or a header value are found before anything is sent, as usage errors.
const CLI::Validator kFingerprint(
    [](const std::string& text) {
        try {
            if (parseFingerprints(text).empty())
                return std::string("is not a SHA-256 fingerprint");
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string();
    },
    "SHA256");

const CLI::Validator kNoControlBytes(
    [](const std::string& text) {
        HeaderInfo info;
        info.localMailAddress = text;
        try {
            refuseControlBytes(info);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string();
    },
    "TEXT");

} // namespace

void addConnectionOptions(CLI::App& command, ConnectionArgs& into, bool conditional) {
    command.add_flag("--https", into.https, "Allow https addresses (without it they fail)");
    command.add_option("--ca-file", into.caFile,
                       "Also trust the certificates in this PEM file, in addition to the "
                       "system's trust store");
    command
        .add_option("--pin", into.pins,
                    "Also accept a server certificate with this SHA-256 fingerprint, whatever "
                    "the trust store, its name or its dates say (AB:CD:..., or the line "
                    "'openssl x509 -noout -fingerprint -sha256' prints; may be repeated)")
        ->allow_extra_args(false)
        ->check(kFingerprint);
    command
        .add_option("--user-agent", into.userAgent,
                    "User-Agent header to send instead of the program's own")
        ->check(kNoControlBytes);
    command
        .add_option("--rtsp-transport", into.rtspTransport,
                    "How an rtsp:// camera sends its video: tcp (inside the RTSP connection) or "
                    "udp")
        ->default_val("tcp")
        ->check(CLI::IsMember({"tcp", "udp"}));
    command
        .add_option("--stream-quality", into.streamQuality,
                    "JPEG quality (1..100) of the picture an RTSP or HLS camera gives, as it is "
                    "written and archived")
        ->default_val(90)
        ->check(CLI::Range(1, 100));
    if (conditional)
        command.add_flag("--conditional", into.conditional,
                         "Ask with If-None-Match/If-Modified-Since; a 304 answer counts as a "
                         "repeated picture");
}

std::string joinedPins(const ConnectionArgs& args) {
    std::string text;
    for (const std::string& pin : args.pins)
        text += (text.empty() ? "" : ",") + pin;
    return text;
}

ConnectionOptions connectionOptions(const ConnectionArgs& args) {
    ConnectionOptions o;
    o.tls.allowHttps = args.https;
    o.streams.rtspOverUdp = args.rtspTransport == "udp";
    o.streams.jpegQuality = args.streamQuality;
    o.tls.httpsOffMessage = "Secure (https) addresses are off: add --https to fetch them";
    o.tls.certificateFile = args.caFile;
    o.tls.pins = parseFingerprints(joinedPins(args));
    o.conditional = args.conditional;
    o.userAgent = args.userAgent;
    return o;
}

} // namespace kestrix::cli
