// Camera streams as a user meets them: `fetch` of an RTSP camera writes its picture as a JPEG,
// and a watch of a link file that mixes a still, an MJPEG stream, RTSP and HLS archives the
// pictures of each.
#include "StreamTestSupport.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/image/ImageFile.h"
#include "core/watch/PictureArchive.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedServer.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

std::string cli() {
    return KESTRIX_CLI;
}

std::string linkItem(const std::string& name, const std::string& url) {
    return "<URLItem URLName=\"" + name + "\" URLAddress=\"" + url +
           "\" URLDelay=\"2\" Selected=\"no\"/>\n";
}

std::vector<std::string> picturesOf(const std::string& folder) {
    std::vector<std::string> names;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (isArchivePictureName(entry.path().filename().string()))
                names.push_back(entry.path().string());
    return names;
}

} // namespace

TEST(StreamCli, FetchWritesAnRtspCamerasPictureAsJpeg) {
    const RtspTestServer cameras;
    TempDir dir("streamcli");
    const std::string out = dir.file("cam.jpg");
    const std::string address = cameras.url("basic", "still.h264", "kestrix:s3cret");
    const CommandResult r = runCommand(cli() + " fetch " + address + " -o " + out + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string jpeg = readFile(out);
    ASSERT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
    Bitmap picture;
    decodeImage(jpeg, out, picture, nullptr);
    EXPECT_GT(psnr(picture, barsBytes("smpte-rp-219", 320, 240)), 30);

    const CommandResult refused =
        runCommand(cli() + " fetch " + cameras.url("basic", "still.h264") + " 2>&1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "RTSP: 401 Unauthorized\n");
}

TEST(StreamCli, AWatchOfStillsMjpegRtspAndHlsArchivesEach) {
    const RtspTestServer cameras;
    const HlsTestServer playlists;
    ScriptedServer web;
    web.respond([](int i, const std::string& request) {
        const std::string bmp = writeBmp(greyBitmap(static_cast<uint8_t>(i), 16, 12));
        if (request.find("GET /still.bmp ") == 0)
            return Reply(httpResponse("200 OK", bmp));
        // An MJPEG camera: a BMP part would be no JPEG, so the stream sends a real one.
        Bitmap frame = greyBitmap(static_cast<uint8_t>(40 + i), 16, 12);
        std::string jpeg;
        {
            TempDir tmp("mjpeg");
            saveImageFile(frame, tmp.file("f.jpg"));
            jpeg = readFile(tmp.file("f.jpg"));
        }
        return Reply(
                   "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=cam\r\n\r\n"
                   "--cam\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                   std::to_string(jpeg.size()) + "\r\n\r\n" + jpeg + "\r\n")
            .thenStall();
    });
    TempDir dir("streamcli");
    writeFile(dir.file("cams.klnx"),
              "<ImageAddressXML KSX=\"1.0\">\n" + linkItem("Still", web.url("/still.bmp")) +
                  linkItem("Board", web.url("/stream")) +
                  linkItem("Rtsp", cameras.url("open", "still.h265")) +
                  linkItem("Hls", playlists.url("http", "still.m3u8")) + "</ImageAddressXML>\n");
    const CommandResult r = runCommand(
        cli() + " watch --links " + dir.file("cams.klnx") + " --save-dir " + dir.file("archive") +
        " --json > " + dir.file("log") + " 2>&1 & pid=$!; sleep 7; kill -TERM $pid; wait $pid");
    EXPECT_EQ(r.status, 0) << readFile(dir.file("log"));
    const std::string log = readFile(dir.file("log"));
    for (const char* link : {"Still", "Board", "Rtsp", "Hls"}) {
        const auto pictures = picturesOf(dir.file(std::string("archive/") + link));
        ASSERT_FALSE(pictures.empty()) << link << "\n" << log;
        const std::string expected = std::string(link) == "Still" ? ".bmp" : ".jpg";
        EXPECT_EQ(fs::path(pictures[0]).extension(), expected) << link;
    }
    for (const char* link : {"Rtsp", "Hls"}) {
        Bitmap picture;
        const std::string file = picturesOf(dir.file(std::string("archive/") + link))[0];
        decodeImage(readFile(file), file, picture, nullptr);
        EXPECT_GT(psnr(picture, barsBytes("smpte-rp-219", 320, 240)), 30) << link;
    }
    EXPECT_EQ(log.find("\"error\""), std::string::npos) << log;
}
