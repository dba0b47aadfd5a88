// The options of watch --links that tell about cameras: when a camera counts as down or stale,
// and where its changes go (webhooks; MQTT).
#pragma once

#include "cli/CliCommand.h"
#include "core/watch/CameraStates.h"
#include "core/watch/Webhooks.h"

#include <string>
#include <vector>

namespace kestrix::cli {

struct AlertOptions {
    int downAfter = 3;
    std::string staleAfter = "1h";
    std::vector<std::string> webhooks;
    std::string webhookSecret;
};

// Values out of range are usage errors.
void addAlertOptions(CLI::App& command, AlertOptions& o);

CameraRules cameraRules(const AlertOptions& o);
WebhookSettings webhookSettings(const AlertOptions& o, const ConnectionOptions& connection);

} // namespace kestrix::cli
