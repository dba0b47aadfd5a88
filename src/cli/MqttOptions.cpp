#include "cli/MqttOptions.h"

#include "core/util/Error.h"
#include "core/util/Text.h"
#include "core/watch/MqttTopics.h"

namespace kestrix::cli {

namespace {

const CLI::Validator kBroker(
    [](const std::string& text) {
        if (parseMqttBroker(text))
            return std::string();
        return "takes HOST or HOST:PORT (port 1 to 65535), not " + text;
    },
    "HOST[:PORT]");

const CLI::Validator kPrefix(
    [](const std::string& text) {
        const std::string problem = mqttPrefixProblem(text);
        return problem.empty() ? problem : "the prefix " + problem;
    },
    "TOPIC");

} // namespace

void addMqttOptions(CLI::App& command, MqttOptions& o) {
    const std::string only = " (with --links)";
    CLI::Option* mqtt =
        command
            .add_option("--mqtt", o.broker,
                        "Publish each camera's state (up, down, stale) and the time of its last "
                        "new picture, retained, on this MQTT broker (port 1883, 8883 with "
                        "--mqtt-tls), with Home Assistant's discovery so that every camera "
                        "appears there by itself" +
                            only)
            ->check(kBroker);
    command.add_option("--mqtt-user", o.user, "The user name for the MQTT broker" + only)
        ->needs(mqtt);
    command
        .add_option("--mqtt-password", o.password,
                    "The password for the MQTT broker, also read from KESTRIX_MQTT_PASSWORD, "
                    "which other users cannot see in the process list" +
                        only)
        ->envname("KESTRIX_MQTT_PASSWORD");
    command
        .add_flag("--mqtt-tls", o.tls,
                  "Connect to the MQTT broker with TLS, trusting the system's certificates and "
                  "those of --ca-file" +
                      only)
        ->needs(mqtt);
    command
        .add_option("--mqtt-prefix", o.prefix,
                    "The first topic levels: PREFIX/LINK/state, PREFIX/LINK/last_new, "
                    "PREFIX/status, or PREFIX/status/K with --shard K/N (LINK is the link's folder "
                    "under --save-dir, its '/' kept as levels, '+' and '#' made '_')" +
                        only)
        ->default_val("kestrix")
        ->check(kPrefix)
        ->needs(mqtt);
    command
        .add_flag("--mqtt-pictures", o.pictures,
                  "Also publish each camera's latest picture as JPEG on PREFIX/LINK/picture, "
                  "retained, for Home Assistant's camera entity (PNG, GIF and BMP are "
                  "converted). Pictures can be large: every new one goes to the broker and to "
                  "each subscriber, and the broker keeps the latest of every camera" +
                      only)
        ->needs(mqtt);
}

MqttSettings mqttSettings(const MqttOptions& o, const std::string& caFile,
                          const std::string& saveDir, const std::string& shardText) {
    const std::optional<MqttBroker> address = parseMqttBroker(o.broker);
    if (!address)
        throw Error("--mqtt takes HOST or HOST:PORT, not " + o.broker);
    if (!o.password.empty() && o.user.empty())
        throw Error("--mqtt-password needs --mqtt-user");
    MqttSettings s;
    s.host = address->host;
    s.port = address->port.value_or(o.tls ? 8883 : 1883);
    s.user = o.user;
    s.password = o.password;
    s.tls = o.tls;
    s.certificateFile = caFile;
    s.prefix = o.prefix;
    if (const size_t slash = shardText.find('/'); slash != std::string::npos) {
        const auto k = parseInt32(shardText.substr(0, slash));
        const auto n = parseInt32(shardText.substr(slash + 1));
        if (k && n && *n > 1)
            s.statusTopic = o.prefix + "/status/" + std::to_string(*k);
    }
    s.pictures = o.pictures;
    s.saveDir = saveDir;
    return s;
}

} // namespace kestrix::cli
