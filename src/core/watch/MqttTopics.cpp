#include "core/watch/MqttTopics.h"

#include "core/util/JsonText.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace kestrix {

namespace {

// The length of the UTF-8 sequence at `at` when it encodes a character a broker takes in a topic
// name, else 0. Brokers refuse control characters (C0, DEL and C1), surrogates, non-characters
// and every malformed or overlong form. `wellFormed` is the length of a sequence that encodes a
// character the broker refuses (C1, a non-character), which stands for one character.
size_t acceptedSequence(std::string_view text, size_t at, size_t& wellFormed) {
    wellFormed = 0;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at);
    if (first < 0x80)
        return first >= 0x20 && first != 0x7F ? 1 : 0;
    size_t length = 0;
    uint32_t code = 0;
    if ((first & 0xE0) == 0xC0) {
        length = 2;
        code = first & 0x1Fu;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3;
        code = first & 0x0Fu;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4;
        code = first & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    if ((code >= 0x80 && code <= 0x9F) || (code >= 0xFDD0 && code <= 0xFDEF) ||
        (code & 0xFFFE) == 0xFFFE) {
        wellFormed = length;
        return 0;
    }
    return length;
}

uint32_t fnv1a(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The first of NAME, NAME-2, NAME-3, ... not in `taken`, which then holds it.
std::string unique(const std::string& name, std::set<std::string>& taken) {
    std::string candidate = name;
    for (int n = 2; !taken.insert(candidate).second; ++n)
        candidate = name + "-" + std::to_string(n);
    return candidate;
}

std::string deviceJson(const MqttLinkTopics& link, const std::string& id) {
    return "\"device\":{\"identifiers\":[" + jsonString(id) +
           "],\"name\":" + jsonString(link.path) +
           ",\"manufacturer\":\"Kestrix\",\"model\":\"Web camera\"}";
}

std::string availabilityJson(const DiscoverySettings& s) {
    return "\"availability_topic\":" + jsonString(s.statusTopic) +
           ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"";
}

} // namespace

std::string mqttPrefixProblem(std::string_view prefix) {
    if (prefix.empty())
        return "is empty";
    if (prefix.front() == '$')
        return "starts with '$', which brokers keep for their own topics";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos)
        return "has an empty topic level";
    if (topicSafeName(prefix) != prefix)
        return "holds '+', '#', a control character or bytes that are not UTF-8";
    return {};
}

std::string topicSafeName(std::string_view directory) {
    std::string out;
    out.reserve(directory.size());
    for (size_t i = 0; i < directory.size();) {
        size_t refused = 0;
        const size_t length = acceptedSequence(directory, i, refused);
        if (length == 0 || directory[i] == '+' || directory[i] == '#') {
            // One '_' for a character the broker refuses, one for each stray byte.
            out += '_';
            i += std::max<size_t>(refused, 1);
        } else {
            out.append(directory.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string discoveryId(std::string_view text, size_t longest) {
    std::string id;
    for (const char c : text) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alnum)
            id += c;
        else if (c >= 'A' && c <= 'Z')
            id += static_cast<char>(c - 'A' + 'a');
        else if (!id.empty() && id.back() != '_')
            id += '_';
        if (id.size() >= longest)
            break;
    }
    while (!id.empty() && id.back() == '_')
        id.pop_back();
    return id.empty() ? "camera" : id;
}

std::vector<MqttLinkTopics> mqttLinkTopics(const std::vector<MqttLink>& links,
                                           const std::string& prefix) {
    std::vector<MqttLinkTopics> out;
    out.reserve(links.size());
    std::set<std::string> names, ids;
    for (const MqttLink& link : links) {
        const std::string name = unique(topicSafeName(link.directory), names);
        const std::string id = unique(discoveryId(name) + "_" + hex8(fnv1a(name)), ids);
        out.push_back({link.path, link.directory, prefix + "/" + name, id});
    }
    return out;
}

std::vector<DiscoveryMessage> discoveryMessages(const MqttLinkTopics& link,
                                                const DiscoverySettings& s, bool pictures) {
    const std::string device = s.nodeId + "_" + link.objectId;
    const auto topic = [&](const char* component) {
        return s.discoveryPrefix + "/" + component + "/" + s.nodeId + "/" + link.objectId +
               "/config";
    };
    const std::string common = availabilityJson(s) + "," + deviceJson(link, device);
    std::vector<DiscoveryMessage> out;
    out.push_back({topic("binary_sensor"),
                   "{\"name\":\"Connection\",\"unique_id\":" + jsonString(device + "_connection") +
                       ",\"device_class\":\"connectivity\",\"state_topic\":" +
                       jsonString(link.base + "/state") +
                       ",\"value_template\":\"{{ 'ON' if value == 'up' else 'OFF' }}\"," + common +
                       "}"});
    out.push_back({topic("sensor"), "{\"name\":\"Last new picture\",\"unique_id\":" +
                                        jsonString(device + "_last_new") +
                                        ",\"device_class\":\"timestamp\",\"state_topic\":" +
                                        jsonString(link.base + "/last_new") + "," + common + "}"});
    out.push_back({topic("camera"),
                   pictures
                       ? "{\"name\":\"Picture\",\"unique_id\":" + jsonString(device + "_picture") +
                             ",\"topic\":" + jsonString(link.base + "/picture") + "," + common + "}"
                       : std::string()});
    return out;
}

} // namespace kestrix
