// The rules that keep a long watch healthy, with time given by the test: the rhythm and back-off
// of a link, the limits of one transfer, and the state that survives a restart.
#include "core/watch/LinkSchedule.h"
#include "core/watch/LinkStateFile.h"
#include "core/watch/TransferGuard.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using Steady = std::chrono::steady_clock;
const Steady::time_point kT0{};

double secondsAfterStart(Steady::time_point t) {
    return std::chrono::duration<double>(t - kT0).count();
}

} // namespace

TEST(LinkSchedule, KeepsTheRhythmAndBacksOffWhileFailing) {
    LinkSchedule s(10s, kT0);
    // On time and overrunning: the rhythm holds, an overrun starts the next at once.
    s.succeeded(kT0 + 2s);
    EXPECT_EQ(secondsAfterStart(s.due()), 10);
    s.succeeded(kT0 + 25s);
    EXPECT_EQ(secondsAfterStart(s.due()), 25);
    // Failures double the interval each time up to 30 minutes; a success brings it back.
    std::vector<double> waits;
    for (int i = 0; i < 10; ++i) {
        const auto before = s.due();
        s.failed(before + 1s);
        waits.push_back(std::chrono::duration<double>(s.due() - before).count());
    }
    EXPECT_EQ(waits, (std::vector<double>{20, 40, 80, 160, 320, 640, 1280, 1800, 1800, 1800}));
    EXPECT_EQ(s.failuresInARow(), 10);
    const auto before = s.due();
    s.succeeded(before + 1s);
    EXPECT_EQ(std::chrono::duration<double>(s.due() - before).count(), 10);
    EXPECT_EQ(s.failuresInARow(), 0);
    // A link slower than the ceiling keeps its own interval; 0 s counts as 1 s.
    LinkSchedule hourly(3600s, kT0);
    hourly.failed(kT0);
    EXPECT_EQ(hourly.currentInterval(), 3600s);
    LinkSchedule everyTick(0s, kT0);
    EXPECT_EQ(everyTick.currentInterval(), 1s);
}

TEST(LinkSchedule, ALostStreamReconnectsAfterOneSecondDoublingToAMinute) {
    LinkSchedule s(5s, kT0);
    s.succeeded(kT0 + 1s);
    std::vector<double> pauses;
    auto failedAt = kT0 + 100s;
    for (int i = 0; i < 9; ++i) {
        s.streamLost(failedAt);
        pauses.push_back(std::chrono::duration<double>(s.due() - failedAt).count());
        failedAt = s.due() + 3s; // the reconnect itself took a while
    }
    EXPECT_EQ(pauses, (std::vector<double>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    // Back on the stream, the link's own rhythm again.
    const auto before = s.due();
    s.succeeded(before + 1s);
    EXPECT_EQ(std::chrono::duration<double>(s.due() - before).count(), 5);
}

TEST(TransferGuard, DeadlinesSilenceAndTrickles) {
    EXPECT_EQ(fetchDeadline(5s, 60s, std::nullopt), 10s);
    EXPECT_EQ(fetchDeadline(30s, 60s, std::nullopt), 30s);
    EXPECT_EQ(fetchDeadline(600s, 60s, std::nullopt), 60s);
    EXPECT_EQ(fetchDeadline(600s, 60s, 7s), 7s);

    const TransferLimits limits{30s, 20s, 1024, 10s};
    struct Step {
        double at;     // seconds after the start
        int64_t bytes; // of the body so far
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string reason; // of the last step; the ones before go on
    } cases[] = {
        {"a fast transfer", {{1, 50000}, {2, 400000}, {2.5, 500000}}, ""},
        {"nothing at all", {{5, 0}, {19.9, 0}, {20, 0}}, "Timed out after 20 s without data"},
        // One byte every 5 s: never silent long enough for the time-out, far below the rate.
        {"a trickle",
         {{1, 1}, {6, 2}, {10.9, 3}, {11, 3}},
         "Too slow: 2 bytes in the last 10 s (at least 1 KiB/s expected)"},
        {"a steady slow camera",
         {{1, 20000}, {11, 31000}, {21, 42000}, {30, 51000}},
         "Gave up after 30 s (51000 of 900000 bytes)"},
    };
    for (const auto& c : cases) {
        TransferGuard guard(limits, kT0);
        std::string reason;
        // Checked every quarter second, as the pump does, with the bytes of the last step.
        int64_t bytes = 0;
        size_t next = 0;
        for (double t = 0; next < c.steps.size(); t += 0.25) {
            while (next < c.steps.size() && c.steps[next].at <= t + 1e-9)
                bytes = c.steps[next++].bytes;
            reason = guard.check(kT0 + std::chrono::duration_cast<Steady::duration>(
                                           std::chrono::duration<double>(t)),
                                 bytes, 900000);
            if (!reason.empty())
                break;
        }
        EXPECT_EQ(reason, c.reason) << c.what;
        EXPECT_EQ(next, c.steps.size()) << c.what << ": ended too early";
    }
    TransferGuard noLength({3s, 60s, 0, 10s}, kT0);
    EXPECT_EQ(noLength.check(kT0 + 3s, 12, std::nullopt), "Gave up after 3 s (12 bytes)");
}

TEST(LinkStateFile, KeepsTheLastPictureOfEachLinkAcrossRestarts) {
    TempDir dir("state");
    const std::string& root = dir.path();
    const LinkState state = {{"Cams/North", {"20261209-071341.jpg", {1, 0xffffffffffffffffu}}},
                             {"Cams/South", {"20261209-071342-2.png", {42, 7}}}};
    writeLinkState(root, state);
    const LinkState back = readLinkState(root);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back.at("Cams/North").file, "20261209-071341.jpg");
    EXPECT_EQ(back.at("Cams/North").digest, (PictureDigest{1, 0xffffffffffffffffu}));
    EXPECT_EQ(back.at("Cams/South").digest, (PictureDigest{42, 7}));

    // Damage costs only the damaged lines; a wrong header or no file is an empty state.
    writeFile(linkStateFile(root), "kestrix-state 1\nCams/North\t20261209-071341.jpg\t0000000000"
                                   "000001\tzz\nA\tnot-a-picture.txt\t0000000000000001\t00000000"
                                   "00000002\nB\t20261209-071341.jpg\t0000000000000003\t000000000"
                                   "0000004\n");
    EXPECT_EQ(readLinkState(root).size(), 1u);
    writeFile(linkStateFile(root), "something else\n");
    EXPECT_TRUE(readLinkState(root).empty());
    fs::remove(linkStateFile(root));
    EXPECT_TRUE(readLinkState(root).empty());

    // After a restart: the state's digest while its picture is still the newest; the newest
    // picture's own digest when the state is older (a watch killed before it wrote it).
    const std::string folder = root + "/Cams/North";
    fs::create_directories(folder);
    writeFile(folder + "/20261209-071341.jpg", "first");
    writeFile(folder + "/20261209-071341-2.jpg", "second");
    writeFile(folder + "/20261209-071340-9.jpg", "older");
    const SavedPicture saved{"20261209-071341-2.jpg", {5, 6}};
    EXPECT_EQ(recoverLastPicture(root, "Cams/North", saved)->digest, (PictureDigest{5, 6}));
    const auto recovered =
        recoverLastPicture(root, "Cams/North", SavedPicture{"20261209-071341.jpg", {5, 6}});
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->file, "20261209-071341-2.jpg");
    EXPECT_EQ(recovered->digest, bytesDigest("second"));
    EXPECT_EQ(recoverLastPicture(root, "Cams/North", std::nullopt)->digest, bytesDigest("second"));
    EXPECT_FALSE(recoverLastPicture(root, "Cams/Empty", std::nullopt));
}
