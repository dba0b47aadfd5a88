// A stream kept open on a camera whose bars scroll left 4 pixels a frame: each answer is the
// newest whole picture (the bars at some scroll, and a new scroll each time), repeats are
// flagged, a cancel leaves the session usable, and a camera that dies ends the session.
#include "StreamTestSupport.h"
#include "core/stream/CameraStream.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;

namespace {

using std::chrono::milliseconds;

const RtspTestServer& sessionCameras() {
    static const RtspTestServer server;
    return server;
}

} // namespace

TEST(StreamSession, EachAnswerIsTheNewestWholePicture) {
    const auto session = openStreamSession(sessionCameras().url("open", "moving.h264"), {});
    int previous = -1;
    for (int call = 0; call < 10; ++call) {
        if (call > 0)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        const StreamPicture answer = session->latest(false);
        EXPECT_FALSE(answer.repeat) << call;
        const ScrollMatch match = bestScroll(answer.picture, movingBars());
        EXPECT_GT(match.psnr, kFaithful) << call;
        EXPECT_NE(match.shift, previous) << call;
        previous = match.shift;
    }
    EXPECT_GT(session->keyFrameDistance().count(), 0);
}

TEST(StreamSession, KeyFramesOnlyAnswersKeyFramesAndFlagsRepeats) {
    const auto session = openStreamSession(sessionCameras().url("open", "moving.h264"), {});
    int repeats = 0;
    int pictures = 0;
    StreamPicture previous = session->latest(true);
    ASSERT_FALSE(previous.repeat);
    ASSERT_GT(bestScroll(previous.picture, movingBars()).psnr, kFaithful);
    // Calls in pairs a second apart: the second of a pair finds no new key frame, unless the
    // first took so long on a busy machine that the next key frame came meanwhile; a few more
    // pairs are tried then.
    for (int call = 1; call < 24 && (call < 8 || repeats < 1 || pictures < 3); ++call) {
        if (call % 2 == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        const StreamPicture answer = session->latest(true);
        if (answer.repeat) {
            ++repeats;
            EXPECT_EQ(answer.picture.pixelBytes(), previous.picture.pixelBytes()) << call;
        } else {
            ++pictures;
            const ScrollMatch match = bestScroll(answer.picture, movingBars());
            EXPECT_GT(match.psnr, kFaithful) << call;
            EXPECT_NE(match.shift, bestScroll(previous.picture, movingBars()).shift) << call;
        }
        previous = answer;
    }
    EXPECT_GE(repeats, 1);
    EXPECT_GE(pictures, 3);
}

TEST(StreamSession, ACancelLeavesItUsableAndALostCameraEndsIt) {
    // What stays open for the process once streams were used: the module, FFmpeg's network.
    failureOf([] { grabStreamPicture("rtsp://127.0.0.1:1/live", {}); });
    smallBars();
    const int descriptors = openDescriptors();
    const int threads = runningThreads();
    {
        RtspTestServer camera;
        std::atomic<bool> cancel{false};
        StreamOptions options;
        options.cancelled = [&] { return cancel.load(); };
        const auto session = openStreamSession(camera.url("open", "still.h264"), options);
        cancel = true;
        const Failure canceled = failureOf([&] { session->latest(false); });
        EXPECT_EQ(canceled.text, "Stream canceled");
        EXPECT_EQ(canceled.kind, ErrorKind::SocketAbort);
        cancel = false;
        EXPECT_GT(psnr(session->latest(false).picture, smallBars()), kFaithful);

        camera.kill();
        Failure lost;
        for (int call = 0; call < 500 && lost.text == "(no error)"; ++call) {
            lost = failureOf([&] { session->latest(false); });
            std::this_thread::sleep_for(milliseconds(10));
        }
        EXPECT_EQ(lost.text, "Stream ended");
        // The session stays finished.
        EXPECT_EQ(failureOf([&] { session->latest(true); }).text, lost.text);
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(runningThreads(), threads);
}
