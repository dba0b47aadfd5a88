// What links are called on a broker: names a broker takes whatever the link file holds, unique
// and stable ids for Home Assistant, discovery messages that are valid JSON for any link name,
// and the broker addresses users write.
#include "core/watch/MqttTopics.h"

#include "core/util/Error.h"
#include "core/watch/MqttPublisher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <set>

using namespace kestrix;
using namespace kestrix::test;

TEST(MqttTopics, LinkFoldersBecomeTopicLevelsABrokerTakes) {
    const struct {
        std::string directory;
        std::string topic;
    } cases[] = {
        {"Volcanos/Etna", "Volcanos/Etna"},
        {"Z\xC3\xBCrich/See \xF0\x9F\x8C\x8B", "Z\xC3\xBCrich/See \xF0\x9F\x8C\x8B"}, // kept
        {"a+b/c#d", "a_b/c_d"},                                                       // wildcards
        {std::string("nul\0x", 5), "nul_x"},                                          // NUL
        {"tab\tdel\x7F", "tab_del_"},                                                 // C0 and DEL
        {"c1\xC2\x85", "c1_"},                      // U+0085, refused by brokers
        {"bad\xFF\xC3", "bad__"},                   // not UTF-8, and cut short
        {"long\xC0\xAF", "long__"},                 // an overlong '/'
        {"sur\xED\xA0\x80", "sur___"},              // a surrogate
        {"non\xEF\xBF\xBF|\xEF\xB7\x90", "non_|_"}, // non-characters
    };
    for (const auto& c : cases)
        EXPECT_EQ(topicSafeName(c.directory), c.topic) << c.directory;
}

TEST(MqttTopics, PrefixesThatCannotStartTopicsAreRefused) {
    for (const char* good : {"kestrix", "home/cameras", "K\xC3\xA9strix-2", "a$b"})
        EXPECT_EQ(mqttPrefixProblem(good), "") << good;
    for (const char* bad :
         {"", "$SYS", "/kestrix", "kestrix/", "home//cams", "cams/+", "cams/#", "a\x01", "\xFF"})
        EXPECT_NE(mqttPrefixProblem(bad), "") << bad;
    MqttSettings settings;
    settings.prefix = "cams/#";
    EXPECT_THROW(MqttPublisher(settings, {}, nullptr), Error);
}

TEST(MqttTopics, NamesAndIdsAreUniqueAndStable) {
    const std::vector<MqttLink> links = {
        {"Volcanos/Etna", "Volcanos/Etna"},
        {"a+b", "a+b"},
        {"a_b", "a_b"},
        {"a#b", "a#b"},
        {"Ω", "\xCE\xA9"},
        {"omega", "omega"},
    };
    const std::vector<MqttLinkTopics> topics = mqttLinkTopics(links, "home/kestrix");
    ASSERT_EQ(topics.size(), links.size());
    EXPECT_EQ(topics[0].base, "home/kestrix/Volcanos/Etna");
    EXPECT_EQ(topics[1].base, "home/kestrix/a_b");
    EXPECT_EQ(topics[2].base, "home/kestrix/a_b-2");
    EXPECT_EQ(topics[3].base, "home/kestrix/a_b-3");
    std::set<std::string> ids;
    for (const MqttLinkTopics& t : topics) {
        EXPECT_TRUE(ids.insert(t.objectId).second) << t.objectId;
        EXPECT_EQ(t.objectId.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-"),
                  std::string::npos)
            << t.objectId;
    }
    EXPECT_EQ(topics[0].objectId.rfind("volcanos_etna_", 0), 0u) << topics[0].objectId;
    // The same link file gives the same ids in every run, so Home Assistant keeps its entities.
    const std::vector<MqttLinkTopics> again = mqttLinkTopics(links, "home/kestrix");
    for (size_t i = 0; i < topics.size(); ++i)
        EXPECT_EQ(again[i].objectId, topics[i].objectId);
    EXPECT_EQ(discoveryId("--Étang  du Nord--"), "tang_du_nord");
    EXPECT_EQ(discoveryId("\xCE\xA9"), "camera");
    EXPECT_EQ(discoveryId(std::string(100, 'x')).size(), 40u);
}

TEST(MqttTopics, DiscoveryIsValidJsonForAnyLinkName) {
    TempDir dir("mqtt-json");
    const MqttLinkTopics link =
        mqttLinkTopics({{"Say \"hi\"\\ \xFF\x01", "Say _hi_ _"}}, "kestrix").front();
    const DiscoverySettings settings{"homeassistant", "kestrix", "kestrix/status"};
    std::string lines;
    for (const bool pictures : {true, false})
        for (const DiscoveryMessage& m : discoveryMessages(link, settings, pictures))
            lines += m.topic + " " + (m.payload.empty() ? "-" : m.payload) + "\n";
    writeFile(dir.file("configs"), lines);
    writeFile(dir.file("check.py"), R"(
import json, sys
for line in open(sys.argv[1], encoding='utf-8'):
    topic, payload = line.rstrip('\n').split(' ', 1)
    if payload == '-':
        print(topic, 'removed'); continue
    c = json.loads(payload)
    print(topic, c['name'], c['unique_id'], c.get('state_topic', c.get('topic')),
          c.get('device_class', '-'), c['availability_topic'], c['device']['identifiers'][0],
          ascii(c['device']['name']))
)");
    const CommandResult parsed = runCommand("/usr/bin/python3 " + dir.file("check.py") + " " +
                                            dir.file("configs") + " 2>&1");
    ASSERT_EQ(parsed.status, 0) << parsed.out;
    const std::string id = "kestrix_" + link.objectId;
    const std::string device = " kestrix/status " + id + " 'Say \"hi\"\\\\ \\ufffd\\x01'\n";
    const std::string prefix = "homeassistant/";
    const std::string tail = "/kestrix/" + link.objectId + "/config ";
    EXPECT_EQ(parsed.out,
              prefix + "binary_sensor" + tail + "Connection " + id + "_connection " + link.base +
                  "/state connectivity" + device + //
                  prefix + "sensor" + tail + "Last new picture " + id + "_last_new " + link.base +
                  "/last_new timestamp" + device + //
                  prefix + "camera" + tail + "Picture " + id + "_picture " + link.base +
                  "/picture -" + device + //
                  prefix + "binary_sensor" + tail + "Connection " + id + "_connection " +
                  link.base + "/state connectivity" + device + //
                  prefix + "sensor" + tail + "Last new picture " + id + "_last_new " + link.base +
                  "/last_new timestamp" + device + //
                  prefix + "camera" + tail + "removed\n");
    // The connectivity sensor is on for "up" only: stale and down are both off.
    const std::string config = discoveryMessages(link, settings, false).front().payload;
    EXPECT_NE(config.find(R"("value_template":"{{ 'ON' if value == 'up' else 'OFF' }}")"),
              std::string::npos)
        << config;
}

TEST(MqttTopics, BrokerAddressesAsUsersWriteThem) {
    const struct {
        const char* text;
        const char* host; // null: refused
        int port;         // 0: none given
    } cases[] = {
        {"broker", "broker", 0},
        {"broker.lan:1884", "broker.lan", 1884},
        {"192.0.2.7:8883", "192.0.2.7", 8883},
        {"[2001:db8::7]:8883", "2001:db8::7", 8883},
        {"[::1]", "::1", 0},
        {"2001:db8::7", "2001:db8::7", 0},
        {"", nullptr, 0},
        {":1883", nullptr, 0},
        {"broker:", nullptr, 0},
        {"broker:0", nullptr, 0},
        {"broker:65536", nullptr, 0},
        {"broker:12x", nullptr, 0},
        {"[::1]x", nullptr, 0},
        {"[::1", nullptr, 0},
        {"bro ker", nullptr, 0},
        {"broker\n:1883", nullptr, 0},
    };
    for (const auto& c : cases) {
        const std::optional<MqttBroker> broker = parseMqttBroker(c.text);
        if (c.host == nullptr) {
            EXPECT_FALSE(broker) << c.text;
            continue;
        }
        ASSERT_TRUE(broker) << c.text;
        EXPECT_EQ(broker->host, c.host);
        EXPECT_EQ(broker->port.value_or(0), c.port) << c.text;
    }
}
