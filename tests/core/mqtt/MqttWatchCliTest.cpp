// A watch of a link file told to publish on a real broker (Mosquitto with a password): each
// camera's state and last new picture are retained there with Home Assistant's discovery, and a
// camera that dies and comes back is "down" and then "up" again.
#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"
#include "support/MosquittoBroker.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

TEST(MqttWatch, CamerasAppearAndADeadOneGoesDownAndComesBack) {
    MosquittoBroker broker(MosquittoOptions{"watch", "s3cret pass", false});
    std::atomic<bool> alive{true};
    ScriptedServer cameras;
    cameras.respond([&alive](int i, const std::string& request) {
        if (request.find("GET /flaky") == 0 && !alive)
            return Reply(httpResponse("503 Service Unavailable", "down for now"));
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 8, 8))));
    });
    TempDir dir("mqtt-watch");
    writeFile(dir.file("links.klnx"),
              "<ImageAddressXML KSX=\"1.0\">\n<URLItem URLName=\"Steady\" URLAddress=\"" +
                  cameras.url("/steady") +
                  "\" URLDelay=\"1\" Selected=\"no\"/>\n<URLItem URLName=\"Flaky\" URLAddress=\"" +
                  cameras.url("/flaky") +
                  "\" URLDelay=\"1\" Selected=\"no\"/>\n</ImageAddressXML>\n");
    const std::string command =
        "KESTRIX_MQTT_PASSWORD='s3cret pass' timeout -s TERM 40 " + std::string(KESTRIX_CLI) +
        " watch --links " + dir.file("links.klnx") + " --save-dir " + dir.file("archive") +
        " --down-after 2 --mqtt 127.0.0.1:" + std::to_string(broker.port()) +
        " --mqtt-user watch > " + dir.file("log") + " 2>&1 & echo $! > " + dir.file("pid");
    ASSERT_EQ(std::system(command.c_str()), 0);

    EXPECT_EQ(broker.awaitRetained("kestrix/Steady/state", "up"), "up");
    EXPECT_EQ(broker.awaitRetained("kestrix/status", "online"), "online");
    std::optional<std::string> lastNew;
    for (int i = 0; i < 200 && !lastNew; ++i)
        lastNew = broker.retained("kestrix/Steady/last_new");
    ASSERT_TRUE(lastNew.has_value());
    EXPECT_TRUE(lastNew->starts_with("20")) << *lastNew;
    // Home Assistant finds both cameras without configuration.
    const CommandResult discovery = broker.retainedLines("homeassistant/#", 2);
    EXPECT_NE(discovery.out.find("Steady"), std::string::npos) << discovery.out;
    EXPECT_NE(discovery.out.find("Flaky"), std::string::npos) << discovery.out;

    alive = false;
    EXPECT_EQ(broker.awaitRetained("kestrix/Flaky/state", "down"), "down");
    alive = true;
    EXPECT_EQ(broker.awaitRetained("kestrix/Flaky/state", "up"), "up");
    EXPECT_EQ(broker.retained("kestrix/Steady/state"), "up");

    ASSERT_EQ(std::system(("kill -TERM $(cat " + dir.file("pid") + ")").c_str()), 0);
    // The watch says goodbye: its status is "offline" once it has stopped.
    EXPECT_EQ(broker.awaitRetained("kestrix/status", "offline"), "offline");
    const std::string log = readFile(dir.file("log"));
    EXPECT_NE(log.find("Flaky is down (was up)"), std::string::npos) << log;
    EXPECT_NE(log.find("Flaky is up (was down)"), std::string::npos) << log;
}
