// MJPEG streams (multipart/x-mixed-replace): the first picture part is the fetched picture,
// whatever variant of the format a camera writes, and every way a stream can fail ends with its
// own message. Against ffmpeg's own MJPEG server too.
#include "NetTestSupport.h"
#include "core/net/MultipartStream.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace kestrix;
using namespace kestrix::test;

namespace {

const std::string kJpeg1 = std::string("\xFF\xD8\xFF\xE0", 4) + "first picture\r\n--not-it\xFF\xD9";
const std::string kJpeg2 = std::string("\xFF\xD8\xFF\xE0", 4) + "second picture\xFF\xD9";

std::string part(const std::string& boundaryLine, const std::string& body, bool length,
                 const std::string& eol = "\r\n") {
    std::string text = boundaryLine + eol + "Content-Type: image/jpeg" + eol;
    if (length)
        text += "Content-Length: " + std::to_string(body.size()) + eol;
    return text + eol + body + eol;
}

std::string streamHeader(const std::string& typeValue) {
    return "HTTP/1.0 200 OK\r\nContent-Type: " + typeValue + "\r\n\r\n";
}

} // namespace

TEST(MjpegStream, TheBoundaryParameterAsCamerasWriteIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"multipart/x-mixed-replace; boundary=frame", "frame"},
        {"multipart/x-mixed-replace;boundary=\"--myboundary\"", "myboundary"},
        {"Multipart/X-Mixed-Replace ; charset=x; BOUNDARY=--ipcam ; q=1", "ipcam"},
    };
    for (const auto& [type, boundary] : cases)
        EXPECT_EQ(multipartBoundary(type).value_or("(none)"), boundary) << type;
    for (const char* other :
         {"image/jpeg", "multipart/x-mixed-replace", "multipart/mixed; boundary=a",
          "multipart/x-mixed-replace; boundary=\"\"", ""})
        EXPECT_FALSE(multipartBoundary(other)) << other;
}

// Each variant is sent whole and then the connection stalls, as a live stream does: the fetch
// ends with the first picture, not with the stream.
TEST(MjpegStream, TheFirstPicturePartIsTheFetchedPicture) {
    struct Case {
        const char* what;
        std::string typeValue;
        std::string stream;
    } cases[] = {
        {"Content-Length, CR LF, quoted boundary with dashes",
         "multipart/x-mixed-replace; boundary=\"--frame\"",
         part("--frame", kJpeg1, true) + part("--frame", kJpeg2, true)},
        {"no Content-Length, LF alone", "multipart/x-mixed-replace;boundary=ipcam",
         part("--ipcam", kJpeg1, false, "\n") + part("--ipcam", kJpeg2, false, "\n")},
        {"boundary lines without dashes", "multipart/x-mixed-replace; boundary=myboundary",
         part("myboundary", kJpeg1, false) + part("myboundary", kJpeg2, false)},
        {"a text part first", "multipart/x-mixed-replace; boundary=b",
         "--b\r\nContent-Type: text/plain\r\n\r\nhello\r\n" + part("--b", kJpeg1, false) +
             part("--b", kJpeg2, false)},
        {"a preamble before the first boundary", "multipart/x-mixed-replace; boundary=b",
         "This is a stream.\r\n" + part("--b", kJpeg1, true) + "--b\r\n"},
    };
    for (const auto& c : cases) {
        ScriptedServer server;
        server.queue(Reply(streamHeader(c.typeValue) + c.stream).thenStall());
        HttpClient client;
        applyImageFetchSettings(client);
        client.setTimeOut(5000);
        client.get(server.url("/stream"));
        EXPECT_EQ(client.body(), kJpeg1) << c.what;
        EXPECT_FALSE(client.connected()) << c.what;
    }
}

TEST(MjpegStream, StreamsThatFailSayHow) {
    const std::string type = "multipart/x-mixed-replace; boundary=b";
    const std::string endlessPart = "--b\r\nContent-Type: image/jpeg\r\n\r\n\xFF\xD8\xFF";
    struct Case {
        const char* what;
        Reply reply;
        std::string error;
    } cases[] = {
        {"a part cut short", Reply(streamHeader(type) + "--b\r\n\r\n\xFF\xD8\xFF half"),
         "Stream ended before a complete picture"},
        {"a declared part larger than the limit",
         Reply(streamHeader(type) + "--b\r\nContent-Length: 999999999\r\n\r\n\xFF\xD8\xFF"),
         "MJPEG part larger than 67108864 bytes"},
        {"a part that never ends",
         Reply(streamHeader(type) + endlessPart).thenEndless(std::string(65536, 'x')),
         "MJPEG part larger than 67108864 bytes"},
        {"a stream that stalls after its header", Reply(streamHeader(type)).thenStall(),
         "Socket capture aborted"},
    };
    for (auto& c : cases) {
        ScriptedServer server;
        server.queue(c.reply);
        HttpClient client;
        applyImageFetchSettings(client);
        client.setTimeOut(1000);
        EXPECT_EQ(failureOf([&] { client.get(server.url("/stream")); }).text, c.error) << c.what;
        EXPECT_FALSE(client.connected()) << c.what;
    }
}

// ffmpeg's own MJPEG server (-f mpjpeg -listen 1) with a still test pattern: the fetched JPEG is
// the pattern, compared with what ffmpeg itself decodes from a still of it.
TEST(MjpegStream, AnFfmpegStreamGivesItsPicture) {
    TempDir dir("mjpeg");
    const int port = closedPort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/cam.mjpg";
    // ffmpeg's server chunks the stream even for an HTTP/1.0 request, and says it is
    // application/octet-stream unless told.
    std::vector<std::string> args = {"/usr/bin/ffmpeg",
                                     "-loglevel",
                                     "quiet",
                                     "-re",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "smptebars=size=320x240:rate=5",
                                     "-f",
                                     "mpjpeg",
                                     "-q:v",
                                     "2",
                                     "-content_type",
                                     "multipart/x-mixed-replace;boundary=ffmpeg",
                                     "-listen",
                                     "1",
                                     url};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    HttpClient client;
    applyImageFetchSettings(client);
    client.setTimeOut(5000);
    // ffmpeg listens a moment after it starts.
    std::string error = "not tried";
    for (int attempt = 0; attempt < 100 && !error.empty(); ++attempt) {
        error = failureOf([&] { client.get(url); }).text;
        if (error == "(no error)")
            error.clear();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ASSERT_EQ(error, "");
    writeFile(dir.file("got.jpg"), client.body());
    const CommandResult psnr = runCommand(
        "ffmpeg -loglevel error -f lavfi -i smptebars=size=320x240:rate=5 -frames:v 1 -y " +
        dir.file("ref.png") + " && ffmpeg -hide_banner -i " + dir.file("got.jpg") + " -i " +
        dir.file("ref.png") + " -lavfi psnr -f null - 2>&1 | grep -o 'average:[0-9.inf]*'");
    ASSERT_EQ(psnr.status, 0) << psnr.out;
    const double db = std::atof(psnr.out.substr(8).c_str());
    EXPECT_TRUE(psnr.out.find("inf") != std::string::npos || db > 30) << psnr.out;
}

// Kept open, a stream hands over every picture part as it comes, until it ends.
TEST(MjpegStream, AStreamReadPartAfterPartUntilItEnds) {
    const std::string type = "multipart/x-mixed-replace; boundary=b";
    ScriptedServer server;
    server.queue(Reply(streamHeader(type) + "--b\r\nContent-Type: text/plain\r\n\r\nhi\r\n" +
                       part("--b", kJpeg1, true) + part("--b", kJpeg2, false) + "--b\r\n")
                     .drip(7, 1));
    server.queue(httpResponse("404 Not Found", "nothing"));
    server.queue(httpResponse("200 OK", kJpeg1, {"Content-Type: image/jpeg"}));
    HttpClient client;
    applyImageFetchSettings(client);
    client.setTimeOut(2000);
    std::vector<std::string> parts;
    const auto collect = [&](std::string_view p) { parts.emplace_back(p); };
    EXPECT_EQ(failureOf([&] { client.streamParts(server.url("/s"), collect); }).text,
              "Stream ended");
    EXPECT_EQ(parts, (std::vector<std::string>{kJpeg1, kJpeg2}));
    EXPECT_EQ(failureOf([&] { client.streamParts(server.url("/s"), collect); }).text,
              "HTTP 404 Not Found");
    EXPECT_EQ(failureOf([&] { client.streamParts(server.url("/s"), collect); }).text,
              "Not an MJPEG stream");
    EXPECT_EQ(parts.size(), 2u);
}
