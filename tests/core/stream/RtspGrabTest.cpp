// One picture from an RTSP camera (GStreamer's RTSP server on loopback): every codec and
// transport gives the bars the camera drew, and every failure ends with its own message and
// leaves no descriptor or thread behind.
#include "StreamTestSupport.h"
#include "core/stream/CameraStream.h"

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestrix;
using namespace kestrix::test;

namespace {

const RtspTestServer& cameras() {
    static const RtspTestServer server;
    return server;
}

std::string login() {
    return std::string(RtspTestServer::kUser) + ":" + RtspTestServer::kPassword;
}

// A loopback listener that accepts connections (the kernel does) and never says a word.
class SilentListener {
public:
    SilentListener() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(socket_, 8) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no listener");
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(socket_); }
    int port() const { return port_; }

private:
    int socket_;
    int port_ = 0;
};

// A port nothing listens on: one just given back by the kernel.
int closedPort() {
    const SilentListener taken;
    return taken.port();
}

} // namespace

TEST(RtspGrab, EveryCodecAndTransportGivesTheBarsTheCameraSent) {
    const RtspTestServer& server = cameras();
    const struct {
        const char* role;
        const char* path;
        bool withLogin;
        bool udp;
    } cases[] = {
        {"open", "still.h264", false, false},  {"open", "still.h265", false, false},
        {"open", "still.mjpeg", false, false}, {"open", "fresh.h264", false, true},
        {"open", "fresh.h265", false, true},   {"basic", "still.h264", true, false},
        {"digest", "still.h265", true, false},
    };
    // A client that stays on each camera: the grabs over TCP join the shared streams between key
    // frames, as they join a camera's. Those over UDP start theirs (see rtsp_server.py).
    std::vector<std::unique_ptr<StreamSession>> watchers;
    watchers.reserve(std::size(cases));
    for (const auto& c : cases)
        if (!c.udp)
            watchers.push_back(
                openStreamSession(server.url(c.role, c.path, c.withLogin ? login() : ""), {}));
    for (const auto& c : cases) {
        StreamOptions options;
        options.rtspOverUdp = c.udp;
        const std::string url = server.url(c.role, c.path, c.withLogin ? login() : "");
        Bitmap picture;
        ASSERT_EQ(failureOf([&] { picture = grabStreamPicture(url, options); }).text, "(no error)")
            << url << (c.udp ? " over UDP" : "");
        ASSERT_EQ(picture.width(), 320) << url;
        ASSERT_EQ(picture.height(), 240) << url;
        EXPECT_GT(psnr(picture, smallBars()), kFaithful) << url << (c.udp ? " over UDP" : "");
    }
}

TEST(RtspGrab, FailuresEndWithTheirMessageAndLeaveNothingBehind) {
    const RtspTestServer& server = cameras();
    const SilentListener silent;
    grabStreamPicture(server.url("open", "still.h264"), {});
    const int descriptors = openDescriptors();
    const int threads = runningThreads();

    StreamOptions brief;
    brief.timeout = std::chrono::seconds(2);
    const std::string silentUrl = "rtsp://127.0.0.1:" + std::to_string(silent.port()) + "/live";
    const struct {
        std::string url;
        StreamOptions options;
        std::string error;
        ErrorKind kind;
    } cases[] = {
        {server.url("basic", "still.h264", "kestrix:wrong"),
         {},
         "RTSP: 401 Unauthorized",
         ErrorKind::General},
        {server.url("digest", "still.h264", "kestrix:wrong"),
         {},
         "RTSP: 401 Unauthorized",
         ErrorKind::General},
        {server.url("basic", "still.h264"), {}, "RTSP: 401 Unauthorized", ErrorKind::General},
        {server.url("open", "audio"), {}, "RTSP: no video stream", ErrorKind::General},
        {server.url("open", "nothing.h264"), {}, "RTSP: 404 Not Found", ErrorKind::General},
        {silentUrl, brief, "Timed out after 2 s without data", ErrorKind::General},
        {"rtsp://127.0.0.1:" + std::to_string(closedPort()) + "/live",
         {},
         "10061:Connection refused",
         ErrorKind::Socket},
    };
    for (const auto& c : cases) {
        const Failure failure = failureOf([&] { grabStreamPicture(c.url, c.options); });
        EXPECT_EQ(failure.text, c.error) << c.url;
        EXPECT_EQ(failure.kind, c.kind) << c.url;
    }

    // The cancel comes from another thread once the grab is waiting on the silent server.
    std::atomic<bool> cancel{false};
    std::atomic<int> polls{0};
    std::thread canceller([&] {
        while (polls < 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        cancel = true;
    });
    StreamOptions cancellable;
    cancellable.cancelled = [&] {
        ++polls;
        return cancel.load();
    };
    const Failure canceled = failureOf([&] { grabStreamPicture(silentUrl, cancellable); });
    canceller.join();
    EXPECT_EQ(canceled.text, "Stream canceled");
    EXPECT_EQ(canceled.kind, ErrorKind::SocketAbort);

    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(runningThreads(), threads);
}
