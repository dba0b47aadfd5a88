// What a watch's links are called on an MQTT broker, and the discovery messages that make them
// appear in Home Assistant by themselves.
//
// Each link's topics sit under PREFIX/LINK, where LINK is the link's archive folder with its '/'
// kept as topic levels ("Volcanos/Etna" gives kestrix/Volcanos/Etna/state): a subscriber sees the
// link file's folders as the broker's tree. Whatever MQTT forbids or reserves in a topic name
// ('+', '#', control characters, bytes that are not UTF-8, the characters a broker refuses)
// becomes '_'; links whose names would then coincide get "-2", "-3", ... like their folders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// Why `prefix` cannot start the watch's topics ("" when it can): empty, a wildcard, a control
// character, an empty level, a leading '$' (the broker's own topics) or bytes that are not UTF-8.
std::string mqttPrefixProblem(std::string_view prefix);

// A link's folder as topic levels (see above), without the de-duplication.
std::string topicSafeName(std::string_view directory);

// Lower-case ASCII letters, digits and '_' only, as discovery's ids must be: "Volcanos/Etna"
// gives "volcanos_etna"; at most `longest` characters, "camera" when nothing is left.
std::string discoveryId(std::string_view text, size_t longest = 40);

struct MqttLink {
    std::string path;      // "Volcanos/Etna", as the log shows it
    std::string directory; // the archive folder, as the watch names it
};

struct MqttLinkTopics {
    std::string path;
    std::string directory;
    std::string base;     // PREFIX/LINK
    std::string objectId; // unique among the links, stable across runs
};

// Every link's names, in the order given.
std::vector<MqttLinkTopics> mqttLinkTopics(const std::vector<MqttLink>& links,
                                           const std::string& prefix);

struct DiscoverySettings {
    std::string discoveryPrefix = "homeassistant";
    std::string nodeId;      // the watch's: discoveryId(prefix)
    std::string statusTopic; // availability: "online" or "offline"
};

struct DiscoveryMessage {
    std::string topic;   // DISCOVERY/COMPONENT/NODE/OBJECT/config
    std::string payload; // JSON; an empty payload removes the entity
};

// A connectivity binary sensor (on while the camera is up), a timestamp sensor of the last new
// picture and, with `pictures`, a camera showing the picture topic; without, the camera's config
// is an empty payload so that one left by an earlier run with pictures goes away. All three share
// a device named after the link.
std::vector<DiscoveryMessage> discoveryMessages(const MqttLinkTopics& link,
                                                const DiscoverySettings& settings, bool pictures);

} // namespace kestrix
