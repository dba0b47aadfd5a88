// One picture from an HLS playlist made by ffmpeg, served over http and https: the pictures are
// the bars that were encoded, certificates are checked (against the system's store or the CA
// file), and what cannot be trusted or has no picture is refused with its message.
#include "StreamTestSupport.h"
#include "core/stream/CameraStream.h"

#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

const HlsTestServer& playlists() {
    static const HlsTestServer server;
    return server;
}

} // namespace

TEST(HlsGrab, PlaylistsOverHttpAndHttpsGiveTheEncodedBars) {
    const HlsTestServer& server = playlists();
    StreamOptions trusted;
    trusted.caFile = server.rootFile();
    for (const auto& [url, options] : {std::pair{server.url("http", "still.m3u8"), StreamOptions{}},
                                       std::pair{server.url("https", "still.m3u8"), trusted}}) {
        const Bitmap picture = grabStreamPicture(url, options);
        ASSERT_EQ(picture.width(), 320) << url;
        ASSERT_EQ(picture.height(), 240) << url;
        EXPECT_GT(psnr(picture, smallBars()), kFaithful) << url;
    }
}

TEST(HlsGrab, UncheckedServersAndPlaylistsWithoutPicturesAreRefused) {
    const HlsTestServer& server = playlists();
    grabStreamPicture(server.url("http", "still.m3u8"), {});
    const int descriptors = openDescriptors();
    const int threads = runningThreads();

    StreamOptions trusted;
    trusted.caFile = server.rootFile();
    StreamOptions pinned = trusted;
    pinned.pinned = true;
    const std::string untrusted = "Cannot open stream: Peer certificate failed verification";
    const struct {
        std::string url;
        StreamOptions options;
        std::string error;
    } cases[] = {
        {server.url("http", "empty.m3u8"), {}, "HLS playlist has no segment"},
        {server.url("http", "gone.m3u8"), {}, "HLS: 404 Not Found"},
        // The system's store does not know the test authority: verification is on by default.
        {server.url("https", "still.m3u8"), {}, untrusted},
        {server.url("selfsigned", "still.m3u8"), {}, untrusted},
        {server.url("selfsigned", "still.m3u8"), trusted, untrusted},
        {server.url("wronghost", "still.m3u8"), trusted,
         "Cannot open stream: The certificate's owner does not match hostname localhost"},
        {server.url("https", "still.m3u8"), pinned,
         "Pinned certificates cannot be checked for HLS streams: use a CA file"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failureOf([&] { grabStreamPicture(c.url, c.options); }).text, c.error) << c.url;

    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(runningThreads(), threads);
}
