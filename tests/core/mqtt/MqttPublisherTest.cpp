// The cameras on a real broker: Debian's Mosquitto, started by each test on a free loopback port,
// read back with mosquitto_sub. Retained states, times and pictures, Home Assistant's discovery,
// availability with the last will of a killed process, logins, TLS, and brokers that go away,
// come back, fall behind or never answer while the watch goes on calling.
#include "core/watch/MqttPublisher.h"

#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/watch/LinkStateFile.h"
#include "support/MosquittoBroker.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

namespace {

class Notices {
public:
    MqttPublisher::Notice sink() {
        return [this](const std::string& line) {
            const std::lock_guard<std::mutex> lock(mutex_);
            lines_ += line + "\n";
        };
    }
    std::string text() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    size_t count(const std::string& part) const {
        const std::string all = text();
        size_t n = 0;
        for (size_t at = all.find(part); at != std::string::npos; at = all.find(part, at + 1))
            ++n;
        return n;
    }

private:
    mutable std::mutex mutex_;
    std::string lines_;
};

MqttSettings settingsFor(const MosquittoBroker& broker, const std::string& prefix = "kestrix") {
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = broker.port();
    s.prefix = prefix;
    s.firstRetry = 20ms;
    s.longestPause = 100ms;
    return s;
}

// Waits until `done` holds, giving up after 20 s.
bool eventually(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

CameraEvent changed(const std::string& directory, CameraState to) {
    CameraEvent event;
    event.link = directory;
    event.directory = directory;
    event.to = to;
    event.time = 1796800421;
    return event;
}

// Smooth colours, which JPEG keeps closely.
Bitmap gradient(int width, int height) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = b.scanLine(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = 128;
        }
    return b;
}

// "component unique_id state-or-picture-topic availability device-id" per retained discovery
// message under homeassistant/, sorted; the JSON is read by Python's parser.
std::string discoveryFound(const MosquittoBroker& broker, int count) {
    TempDir dir("mqtt-discovery");
    const CommandResult lines = broker.retainedLines("homeassistant/#", count);
    writeFile(dir.file("lines"), lines.out);
    writeFile(dir.file("read.py"), R"(
import json, sys
out = []
for line in open(sys.argv[1], encoding='utf-8'):
    topic, payload = line.rstrip('\n').split(' ', 1)
    c = json.loads(payload)
    assert c['device']['manufacturer'] == 'Kestrix'
    out.append(' '.join([topic.split('/')[1], c['unique_id'], c.get('state_topic', c.get('topic')),
                         c['availability_topic'], c['device']['identifiers'][0]]))
print('\n'.join(sorted(out)))
)");
    const CommandResult parsed =
        runCommand("/usr/bin/python3 " + dir.file("read.py") + " " + dir.file("lines") + " 2>&1");
    return parsed.status == 0 ? parsed.out : "python3 failed: " + parsed.out;
}

} // namespace

TEST(MqttPublisher, RetainedStatesTimesAndDiscoveryForEveryLink) {
    MosquittoBroker broker;
    Notices notices;
    const std::vector<MqttLink> links = {{"Volcanos/Etna", "Volcanos/Etna"},
                                         {"Odd/Cam+1", "Odd/Cam+1"}};
    MqttPublisher publisher(settingsFor(broker), links, notices.sink());
    publisher.start();
    EXPECT_EQ(broker.awaitRetained("kestrix/status", "online"), "online");
    EXPECT_EQ(broker.awaitRetained("kestrix/Odd/Cam_1/state", "up"), "up");

    publisher.cameraChanged(changed("Volcanos/Etna", CameraState::Down));
    publisher.newPicture("Odd/Cam+1", 1796800421, "/nowhere/20261209-071341.jpg");
    publisher.newPicture("Not/Watched", 1, "/nowhere/x.jpg");
    EXPECT_EQ(broker.awaitRetained("kestrix/Volcanos/Etna/state", "down"), "down");
    EXPECT_EQ(broker.awaitRetained("kestrix/Odd/Cam_1/last_new", "2026-12-09T07:13:41Z"),
              "2026-12-09T07:13:41Z");
    publisher.cameraChanged(changed("Volcanos/Etna", CameraState::Stale));
    EXPECT_EQ(broker.awaitRetained("kestrix/Volcanos/Etna/state", "stale"), "stale");

    const std::vector<MqttLinkTopics> topics = mqttLinkTopics(links, "kestrix");
    const std::string etna = "kestrix_" + topics[0].objectId;
    const std::string odd = "kestrix_" + topics[1].objectId;
    std::vector<std::string> expected = {
        "binary_sensor " + etna + "_connection kestrix/Volcanos/Etna/state kestrix/status " + etna,
        "sensor " + etna + "_last_new kestrix/Volcanos/Etna/last_new kestrix/status " + etna,
        "binary_sensor " + odd + "_connection kestrix/Odd/Cam_1/state kestrix/status " + odd,
        "sensor " + odd + "_last_new kestrix/Odd/Cam_1/last_new kestrix/status " + odd,
    };
    std::sort(expected.begin(), expected.end());
    std::string joined;
    for (const std::string& line : expected)
        joined += line + "\n";
    EXPECT_EQ(discoveryFound(broker, 4), joined);
    // Without pictures there is no camera entity and no picture.
    EXPECT_FALSE(broker.retained("homeassistant/camera/kestrix/" + topics[1].objectId + "/config"));
    EXPECT_FALSE(broker.retained("kestrix/Odd/Cam_1/picture"));
    EXPECT_EQ(notices.text(),
              "MQTT: connected to 127.0.0.1:" + std::to_string(broker.port()) + "\n");
}

TEST(MqttPublisher, PicturesGoAsJpegWithinTheirLimit) {
    MosquittoBroker broker;
    TempDir dir("mqtt-pictures");
    Notices notices;
    const Bitmap picture = gradient(96, 64);
    saveJpegFile(picture, dir.file("a.jpg"), 85);
    savePngFile(picture, dir.file("b.png"));
    writeFile(dir.file("c.jpg"), "\xFF\xD8\xFF\xE0" + std::string(300000, 'x'));
    writeFile(dir.file("d.jpg"), "not a picture at all");
    MqttSettings settings = settingsFor(broker);
    settings.pictures = true;
    settings.mostPictureBytes = 200000;
    const std::vector<MqttLink> links = {{"A", "A"}, {"B", "B"}, {"C", "C"}, {"D", "D"}};
    MqttPublisher publisher(settings, links, notices.sink());
    publisher.start();
    for (const char* name : {"a.jpg", "b.png", "c.jpg", "d.jpg"})
        publisher.newPicture(std::string(1, static_cast<char>(std::toupper(name[0]))), 100,
                             dir.file(name));

    // A JPEG goes as it was archived.
    const std::string original = readFile(dir.file("a.jpg"));
    EXPECT_TRUE(broker.awaitRetained("kestrix/A/picture", original) == original);
    // A PNG goes as a JPEG of the same picture.
    std::optional<std::string> converted;
    ASSERT_TRUE(
        eventually([&] { return (converted = broker.retained("kestrix/B/picture")).has_value(); }));
    ASSERT_EQ(imageKindFromSignature(*converted), ImageKind::Jpeg);
    Bitmap decoded;
    decodeJpeg(*converted, decoded);
    ASSERT_EQ(decoded.width(), picture.width());
    ASSERT_EQ(decoded.height(), picture.height());
    int worst = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width() * 3; ++x)
            worst = std::max(worst, std::abs(decoded.scanLine(y)[x] - picture.scanLine(y)[x]));
    EXPECT_LE(worst, 12);

    // Too large, and not a picture: nothing goes, and the size is logged once per link.
    ASSERT_TRUE(eventually([&] { return publisher.figures().picturesSkipped >= 2; }));
    publisher.newPicture("C", 101, dir.file("c.jpg"));
    ASSERT_TRUE(eventually([&] { return publisher.figures().picturesSkipped >= 3; }));
    EXPECT_FALSE(broker.retained("kestrix/C/picture"));
    EXPECT_FALSE(broker.retained("kestrix/D/picture"));
    EXPECT_EQ(notices.count("MQTT: pictures of C are larger than 200000 bytes and are not sent"),
              1u)
        << notices.text();
    EXPECT_EQ(notices.count("pictures of"), 1u) << notices.text();

    // Home Assistant's camera shows the picture topic.
    const std::string id = mqttLinkTopics(links, "kestrix")[0].objectId;
    const std::optional<std::string> camera =
        broker.retained("homeassistant/camera/kestrix/" + id + "/config");
    ASSERT_TRUE(camera);
    EXPECT_NE(camera->find("\"topic\":\"kestrix/A/picture\""), std::string::npos) << *camera;
}

TEST(MqttPublisher, AnEarlierRunIsPublishedUntilTheWatchSaysMore) {
    MosquittoBroker broker;
    TempDir save("mqtt-save");
    const std::string name = "20261209-071341.jpg";
    std::filesystem::create_directories(save.file("Volcanos/Etna"));
    saveJpegFile(gradient(32, 32), save.file("Volcanos/Etna/" + name), 90);
    writeLinkState(save.path(), {{"Volcanos/Etna", {name, PictureDigest{}}}});
    writeCameraRecords(save.path(), {{"Volcanos/Etna", {CameraState::Stale, 5, 6, name, ""}},
                                     {"Other", {CameraState::Down, 5, 0, "", "refused"}}});
    MqttSettings settings = settingsFor(broker);
    settings.saveDir = save.path();
    settings.pictures = true;
    MqttPublisher publisher(settings, {{"Volcanos/Etna", "Volcanos/Etna"}, {"Other", "Other"}},
                            nullptr);
    publisher.start();
    EXPECT_EQ(broker.awaitRetained("kestrix/Volcanos/Etna/state", "stale"), "stale");
    EXPECT_EQ(broker.awaitRetained("kestrix/Other/state", "down"), "down");
    EXPECT_EQ(broker.awaitRetained("kestrix/Volcanos/Etna/last_new", "2026-12-09T07:13:41Z"),
              "2026-12-09T07:13:41Z");
    const std::string bytes = readFile(save.file("Volcanos/Etna/" + name));
    EXPECT_TRUE(broker.awaitRetained("kestrix/Volcanos/Etna/picture", bytes) == bytes);
    EXPECT_FALSE(broker.retained("kestrix/Other/last_new"));

    publisher.cameraChanged(changed("Volcanos/Etna", CameraState::Up));
    EXPECT_EQ(broker.awaitRetained("kestrix/Volcanos/Etna/state", "up"), "up");
}

TEST(MqttPublisher, ALoginIsUsedAndARefusalIsLoggedOnce) {
    MosquittoBroker::Options login;
    login.user = "watcher";
    login.password = "s3cret 'pass'";
    MosquittoBroker broker(login);
    MqttSettings right = settingsFor(broker, "right");
    right.user = "watcher";
    right.password = "s3cret 'pass'";
    MqttPublisher allowed(right, {{"A", "A"}}, nullptr);
    allowed.start();
    EXPECT_EQ(broker.awaitRetained("right/A/state", "up"), "up");

    const struct {
        const char* prefix;
        const char* user;
        const char* password;
    } refused[] = {{"wrong", "watcher", "nope"}, {"anonymous", "", ""}};
    for (const auto& r : refused) {
        Notices notices;
        MqttSettings s = settingsFor(broker, r.prefix);
        s.user = r.user;
        s.password = r.password;
        MqttPublisher publisher(s, {{"A", "A"}}, notices.sink());
        publisher.start();
        ASSERT_TRUE(eventually([&] { return publisher.figures().tries >= 4; })) << r.prefix;
        EXPECT_EQ(notices.count("\n"), 1u) << notices.text();
        EXPECT_EQ(notices.count("refused: Connection Refused: not authorised"), 1u)
            << notices.text();
        EXPECT_EQ(publisher.figures().connections, 0u);
        publisher.stop();
        EXPECT_FALSE(broker.retained(std::string(r.prefix) + "/status"));
    }
}

TEST(MqttPublisher, OnlineWhileRunningOfflineAfterAStopOrAKill) {
    MosquittoBroker broker;
    {
        MqttPublisher publisher(settingsFor(broker, "clean"), {{"A", "A"}}, nullptr);
        publisher.start();
        EXPECT_EQ(broker.awaitRetained("clean/status", "online"), "online");
        publisher.stop();
        EXPECT_EQ(broker.retained("clean/status"), "offline");
    }

    // A watch killed outright: the broker publishes the last will.
    const pid_t child = fork();
    if (child == 0) {
        try {
            MqttPublisher publisher(settingsFor(broker, "killed"), {{"A", "A"}}, nullptr);
            publisher.start();
            publisher.cameraChanged(changed("A", CameraState::Down));
            for (;;)
                ::pause();
        } catch (...) {
        }
        _exit(1);
    }
    ASSERT_GT(child, 0);
    EXPECT_EQ(broker.awaitRetained("killed/status", "online"), "online");
    EXPECT_EQ(broker.awaitRetained("killed/A/state", "down"), "down");
    ::kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(broker.awaitRetained("killed/status", "offline"), "offline");
    EXPECT_EQ(broker.retained("killed/A/state"), "down");
}

TEST(MqttPublisher, ABrokerKilledAndStartedAgainGetsEveryValueBack) {
    MosquittoBroker broker;
    Notices notices;
    const std::vector<MqttLink> links = {{"A", "A"}, {"B", "B"}};
    MqttPublisher publisher(settingsFor(broker), links, notices.sink());
    publisher.start();
    publisher.cameraChanged(changed("A", CameraState::Down));
    EXPECT_EQ(broker.awaitRetained("kestrix/A/state", "down"), "down");

    broker.kill();
    ASSERT_TRUE(eventually([&] { return !publisher.figures().connected; }));
    // Changes while the broker is away are kept for it, and the calls return at once.
    publisher.cameraChanged(changed("A", CameraState::Up));
    publisher.cameraChanged(changed("A", CameraState::Stale));
    publisher.newPicture("B", 1796800421, "/nowhere/20261209-071341.jpg");
    ASSERT_TRUE(eventually([&] { return publisher.figures().tries >= 3; }));
    broker.start(); // without persistence: it has lost every retained message

    EXPECT_EQ(broker.awaitRetained("kestrix/A/state", "stale"), "stale");
    EXPECT_EQ(broker.awaitRetained("kestrix/B/state", "up"), "up");
    EXPECT_EQ(broker.awaitRetained("kestrix/B/last_new", "2026-12-09T07:13:41Z"),
              "2026-12-09T07:13:41Z");
    EXPECT_EQ(broker.awaitRetained("kestrix/status", "online"), "online");
    EXPECT_NE(discoveryFound(broker, 4).find("binary_sensor kestrix_"), std::string::npos);
    const std::string where = "127.0.0.1:" + std::to_string(broker.port());
    EXPECT_EQ(notices.text(), "MQTT: connected to " + where + "\nMQTT: lost the broker at " +
                                  where + " (connection lost); connecting again\nMQTT: back on " +
                                  where + "\n");
    EXPECT_EQ(publisher.figures().connections, 2u);
}

TEST(MqttPublisher, BrokersThatNeverAnswerOrRefuseHoldNothingUp) {
    // Accepts connections (the kernel does) and never says a word.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 64), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const struct {
        int port;
        const char* why;
    } brokers[] = {{ntohs(address.sin_port), "(no answer within 100 ms)"},
                   {freeLoopbackPort(), "(Connection refused)"}};
    for (const auto& b : brokers) {
        Notices notices;
        MqttSettings settings;
        settings.host = "127.0.0.1";
        settings.port = b.port;
        settings.pictures = true;
        settings.connectTimeOut = 100ms;
        settings.firstRetry = 10ms;
        settings.longestPause = 20ms;
        MqttPublisher publisher(settings, {{"A", "A"}, {"B", "B"}}, notices.sink());
        publisher.start();
        for (int i = 0; i < 20000; ++i) {
            publisher.cameraChanged(changed(i % 2 ? "A" : "B", static_cast<CameraState>(i % 3)));
            publisher.newPicture("B", i, "/nowhere/20261209-071341.jpg");
        }
        ASSERT_TRUE(eventually([&] { return publisher.figures().tries >= 4; })) << b.why;
        const MqttFigures figures = publisher.figures();
        EXPECT_FALSE(figures.connected);
        EXPECT_EQ(figures.sent, 0u);
        // Every value but the latest of each topic was dropped, none kept in a queue.
        EXPECT_GE(figures.dropped, 20000u * 2 - 4);
        publisher.stop();
        EXPECT_EQ(notices.count("\n"), 1u) << notices.text();
        EXPECT_EQ(notices.count("MQTT: cannot connect to 127.0.0.1:" + std::to_string(b.port) +
                                " " + b.why + "; trying again, with pauses from 10 ms to 20 ms"),
                  1u)
            << notices.text();
    }
    ::close(silent);
}

TEST(MqttPublisher, ABrokerThatFallsBehindGetsOnlyTheLatestValues) {
    MosquittoBroker broker;
    Notices notices;
    MqttSettings settings = settingsFor(broker);
    settings.mostWaiting = 4;
    MqttPublisher publisher(settings, {{"A", "A"}, {"B", "B"}}, notices.sink());
    publisher.start();
    EXPECT_EQ(broker.awaitRetained("kestrix/B/state", "up"), "up");
    // Status, two discoveries of three, two states and two cleared pictures.
    ASSERT_TRUE(eventually([&] { return publisher.figures().sent >= 11; }));

    broker.pause(); // takes what the socket holds, acknowledges nothing
    const CameraState cycle[] = {CameraState::Down, CameraState::Stale, CameraState::Up};
    for (int i = 0; i < 5000 && notices.count("behind") == 0; ++i) {
        publisher.cameraChanged(changed("A", cycle[i % 3]));
        publisher.cameraChanged(changed("B", cycle[(i + 1) % 3]));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(notices.count("behind"), 1u) << notices.text();
    for (int i = 0; i < 100; ++i) {
        publisher.cameraChanged(changed("A", cycle[i % 3]));
        publisher.cameraChanged(changed("B", cycle[(i + 1) % 3]));
    }
    publisher.cameraChanged(changed("A", CameraState::Stale));
    publisher.cameraChanged(changed("B", CameraState::Down));
    EXPECT_LE(publisher.figures().peakWaiting, settings.mostWaiting + 2);
    EXPECT_GE(publisher.figures().dropped, 100u);
    broker.resume();

    EXPECT_EQ(broker.awaitRetained("kestrix/A/state", "stale"), "stale");
    EXPECT_EQ(broker.awaitRetained("kestrix/B/state", "down"), "down");
    ASSERT_TRUE(eventually([&] { return notices.count("caught up") == 1; })) << notices.text();
    EXPECT_EQ(notices.count("behind"), 1u) << notices.text();
    EXPECT_EQ(publisher.figures().connections, 1u);
}

TEST(MqttPublisher, TlsTrustsTheWatchsCertificateFileBesideTheSystemStore) {
    MosquittoBroker::Options options;
    options.tls = true;
    MosquittoBroker broker(options);
    // The certificate names 127.0.0.1 too, which libmosquitto checks like a host name.
    MqttSettings trusted = settingsFor(broker, "trusted");
    trusted.port = broker.tlsPort();
    trusted.tls = true;
    trusted.certificateFile = broker.caFile();
    MqttPublisher publisher(trusted, {{"A", "A"}}, nullptr);
    publisher.start();
    EXPECT_EQ(broker.awaitRetained("trusted/status", "online"), "online");
    EXPECT_EQ(broker.awaitRetained("trusted/A/state", "up"), "up");

    // The test's own authority is in no system store: without the file the broker is refused.
    Notices notices;
    MqttSettings untrusted = trusted;
    untrusted.prefix = "untrusted";
    untrusted.certificateFile.clear();
    MqttPublisher refused(untrusted, {{"A", "A"}}, notices.sink());
    refused.start();
    ASSERT_TRUE(eventually([&] { return refused.figures().tries >= 3; }));
    refused.stop();
    EXPECT_EQ(notices.count("\n"), 1u) << notices.text();
    EXPECT_EQ(notices.count("MQTT: cannot connect to 127.0.0.1:" +
                            std::to_string(broker.tlsPort()) + " (secure connection failed"),
              1u)
        << notices.text();
    EXPECT_FALSE(broker.retained("untrusted/status"));
}
