#include "cli/ConnectionArgs.h"

namespace kestrix::cli {

bool takeConnectionArg(const Args& args, size_t& i, ConnectionArgs& into, bool conditional) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--https")
        into.https = true;
    else if (a == "--conditional" && conditional)
        into.conditional = true;
    else if (a == "--ca-file" && hasValue)
        into.caFile = args[++i];
    else if (a == "--pin" && hasValue)
        into.pins.push_back(args[++i]);
    else if (a == "--user-agent" && hasValue)
        into.userAgent = args[++i];
    else
        return false;
    return true;
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
