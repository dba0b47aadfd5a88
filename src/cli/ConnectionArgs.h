// The connection options that fetch and watch share: https and its trust, the user agent and
// conditional requests. Without them the program's documented request is sent.
#pragma once

#include "cli/CliCommand.h"
#include "core/net/HttpClient.h"

#include <string>
#include <vector>

namespace kestrix::cli {

struct ConnectionArgs {
    bool https = false;
    std::string caFile;
    std::vector<std::string> pins; // as written
    std::string userAgent;
    bool conditional = false;
    std::string rtspTransport = "tcp";
    int streamQuality = 90;
};

// Adds --https, --ca-file PEM, --pin SHA256 (repeatable), --user-agent TEXT and, with
// `conditional`, --conditional.
void addConnectionOptions(CLI::App& command, ConnectionArgs& into, bool conditional);

// The client options; raises "Invalid certificate fingerprint: TEXT" for an unreadable pin.
ConnectionOptions connectionOptions(const ConnectionArgs& args);

// The pins as the settings file keeps them: separated by blanks.
std::string joinedPins(const ConnectionArgs& args);

} // namespace kestrix::cli
