#include "cli/ConnectionArgs.h"

namespace kestrix::cli {

void addConnectionOptions(CLI::App& command, ConnectionArgs& into, bool conditional) {
    command.add_flag("--https", into.https, "Allow https addresses (without it they fail)");
    command.add_option("--ca-file", into.caFile,
                       "Trust the certificates in this PEM file instead of the system's");
    command
        .add_option("--pin", into.pins,
                    "Accept only a server certificate with this SHA-256 fingerprint "
                    "(AB:CD:...; may be repeated)")
        ->allow_extra_args(false);
    command.add_option("--user-agent", into.userAgent,
                       "User-Agent header to send instead of the program's own");
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
    o.tls.certificateFile = args.caFile;
    o.tls.pins = parseFingerprints(joinedPins(args));
    o.conditional = args.conditional;
    o.userAgent = args.userAgent;
    return o;
}

} // namespace kestrix::cli
