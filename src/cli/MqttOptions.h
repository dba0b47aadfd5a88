// The options of watch --links that publish the cameras on an MQTT broker (Home Assistant's, or
// any other): --mqtt HOST[:PORT] and what goes with it.
#pragma once

#include "cli/CliCommand.h"
#include "core/watch/MqttPublisher.h"

#include <string>

namespace kestrix::cli {

struct MqttOptions {
    std::string broker; // HOST[:PORT] as written; "": no MQTT
    std::string user;
    std::string password; // also from KESTRIX_MQTT_PASSWORD
    bool tls = false;
    std::string prefix = "kestrix";
    bool pictures = false;
};

// Values that cannot be used are usage errors.
void addMqttOptions(CLI::App& command, MqttOptions& o);

// The publisher's settings: the port defaults to 1883, or 8883 with --mqtt-tls; `caFile` is the
// watch's --ca-file. A watch of one shard of several (`shardText` K/N, N > 1) says it is online
// on PREFIX/status/K, so that shards sharing a broker do not take each other's cameras offline.
// Raises "--mqtt-password needs --mqtt-user".
MqttSettings mqttSettings(const MqttOptions& o, const std::string& caFile,
                          const std::string& saveDir, const std::string& shardText);

} // namespace kestrix::cli
