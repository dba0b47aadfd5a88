// Cameras up, down and stale: the events a fleet's fetches give, the state kept across
// restarts, and webhooks that receive the events in order, signed, whatever the receiver does.
#include "core/watch/CameraStates.h"

#include "core/net/Hmac.h"
#include "core/watch/Webhooks.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

namespace {

LinkFetchResult outcome(char kind, std::time_t time) {
    LinkFetchResult r;
    r.time = time;
    r.status = kind == 'n'   ? FetchStatus::New
               : kind == 'd' ? FetchStatus::Duplicate
                             : FetchStatus::Error;
    if (kind == 'n')
        r.file = "/archive/Cam/" + std::to_string(time) + ".jpg";
    if (kind == 'e')
        r.error = "10061:Connection refused";
    return r;
}

std::string transitions(CameraTracker& tracker, const std::string& fetches,
                        const CameraRules& rules, std::time_t step) {
    std::string out;
    std::time_t t = 1000;
    for (const char kind : fetches) {
        t += step;
        if (const auto event = tracker.fetched(outcome(kind, t), rules))
            out +=
                std::string(cameraStateName(event->from)) + ">" + cameraStateName(event->to) + " ";
    }
    return out;
}

} // namespace

TEST(CameraStates, FetchesGiveExactlyTheChanges) {
    const CameraRules rules{3, 100s};
    struct Case {
        const char* fetches; // n new, d duplicate, e error; one every 30 s
        const char* events;
    } cases[] = {
        {"nnnnn", ""},
        {"neenn", ""},
        {"neeennn", "up>down down>up "},
        {"neeeeeeen", "up>down down>up "},
        {"nddddn", "up>stale stale>up "},
        {"ndddddeeen", "up>stale stale>down down>up "},
        {"eeed", "up>down down>up "},
    };
    for (const auto& c : cases) {
        CameraTracker tracker("Cams/Cam", "Cams/Cam", {});
        EXPECT_EQ(transitions(tracker, c.fetches, rules, 30), c.events) << c.fetches;
    }
    // What an event tells: the last error and the last new picture.
    CameraTracker tracker("Cams/Cam", "Cams/Cam", {});
    tracker.fetched(outcome('n', 10), rules);
    tracker.fetched(outcome('e', 20), rules);
    tracker.fetched(outcome('e', 30), rules);
    const auto down = tracker.fetched(outcome('e', 40), rules);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->time, 40);
    EXPECT_EQ(down->lastError, "10061:Connection refused");
    EXPECT_EQ(down->lastPicture, "10.jpg");
    EXPECT_EQ(cameraEventJson(*down),
              "{\"link\":\"Cams/Cam\",\"directory\":\"Cams/Cam\",\"from\":\"up\",\"to\":\"down\","
              "\"time\":\"1970-01-01T00:00:40Z\",\"last_error\":\"10061:Connection refused\","
              "\"last_picture\":\"10.jpg\"}");
    // Between fetches a camera that brings nothing new goes stale on time, once.
    CameraTracker quiet("Q", "Q", {});
    quiet.fetched(outcome('n', 1), rules);
    EXPECT_FALSE(quiet.checkStale(100, rules));
    EXPECT_TRUE(quiet.checkStale(101, rules));
    EXPECT_FALSE(quiet.checkStale(200, rules));
}

TEST(CameraStates, StatesAreKeptAcrossRestarts) {
    TempDir dir("cameras");
    const CameraRecords records = {
        {"A/Cam", {CameraState::Down, 100, 50, "50.jpg", "HTTP 500 Internal\tServer Error"}},
        {"B", {CameraState::Stale, 200, 150, "", ""}}};
    writeCameraRecords(dir.path(), records);
    const CameraRecords back = readCameraRecords(dir.path());
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back.at("A/Cam").state, CameraState::Down);
    EXPECT_EQ(back.at("A/Cam").since, 100);
    EXPECT_EQ(back.at("A/Cam").lastPicture, "50.jpg");
    EXPECT_EQ(back.at("A/Cam").lastError, "HTTP 500 Internal Server Error");
    EXPECT_EQ(back.at("B").state, CameraState::Stale);
    writeFile(cameraStateFile(dir.path()), "kestrix-cameras 1\nX\tsleeping\t1\t2\t\t\nY\tup\t1\n");
    EXPECT_TRUE(readCameraRecords(dir.path()).empty());
}

TEST(CameraStates, HmacMatchesRfc4231) {
    EXPECT_EQ(hmacSha256Hex(std::string(20, '\x0b'), "Hi There"),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(hmacSha256Hex("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(hmacSha256Hex(std::string(131, '\xaa'),
                            "Test Using Larger Than Block-Size Key - Hash Key First"),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

// A webhook that fails at first gets every event, in order, once it answers; each body carries
// its signature; the failure is logged once, not at every try.
TEST(Webhooks, EventsArriveInOrderSignedAfterFailures) {
    ScriptedServer receiver;
    std::mutex mutex;
    std::vector<std::string> bodies;
    receiver.respond([&](int i, const std::string& request) {
        if (i < 4)
            return Reply(httpResponse("500 Internal Server Error", "busy"));
        const std::lock_guard<std::mutex> lock(mutex);
        bodies.push_back(request);
        return Reply(httpResponse("204 No Content"));
    });
    WebhookSettings settings;
    settings.urls = {receiver.url("/hook")};
    settings.secret = "s3cret";
    settings.firstRetry = 20ms;
    std::vector<std::string> notices;
    Webhooks hooks(settings, [&](const std::string& n) { notices.push_back(n); });
    for (int i = 0; i < 3; ++i) {
        CameraEvent e{"Cams/Cam", "Cams/Cam", CameraState::Up, CameraState::Down, i, "err", ""};
        if (i % 2)
            std::swap(e.from, e.to);
        hooks.send(e);
    }
    for (int wait = 0; wait < 200; ++wait) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (bodies.size() == 3)
                break;
        }
        std::this_thread::sleep_for(10ms);
    }
    hooks.stop();
    ASSERT_EQ(bodies.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::string& request = bodies[static_cast<size_t>(i)];
        const std::string body = request.substr(request.find("\r\n\r\n") + 4);
        EXPECT_EQ(request.rfind("POST /hook HTTP/1.0\r\n", 0), 0u) << request;
        EXPECT_NE(body.find("\"time\":\"1970-01-01T00:00:0" + std::to_string(i) + "Z\""),
                  std::string::npos)
            << body;
        EXPECT_NE(request.find("\r\nX-Kestrix-Signature-256: sha256=" +
                               hmacSha256Hex("s3cret", body) + "\r\n"),
                  std::string::npos);
        EXPECT_NE(request.find("\r\nContent-Type: application/json\r\n"), std::string::npos);
    }
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].rfind("Webhook " + receiver.url("/hook") + " failing: HTTP 500", 0), 0u);
    EXPECT_EQ(notices[1], "Webhook " + receiver.url("/hook") + " works again");
}
