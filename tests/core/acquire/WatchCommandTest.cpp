#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::string bmpBody(uint8_t shade) {
    Bitmap b(6, 4);
    for (int y = 0; y < 4; ++y)
        std::fill(b.scanLine(y), b.scanLine(y) + 18, shade);
    return writeBmp(b);
}

// An animation of 13 frames of 64 x 48 that differs from every other `seed`.
std::string animationBody(int seed) {
    GifBuilder gif(64, 48, {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 255, 255}});
    for (int frame = 0; frame < 13; ++frame) {
        std::vector<uint8_t> pixels(64 * 48);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<uint8_t>((i / 8 + static_cast<size_t>(seed * 13 + frame)) % 4);
        gif.pixels(0, 0, 64, 48, pixels);
    }
    return gif.done();
}

std::string probeFrames(const std::string& movie) {
    return runCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                      "stream=nb_read_frames -of csv=p=0 '" +
                      movie + "' 2>/dev/null")
        .out;
}

} // namespace

// One fetch per tick (interval 0): new, duplicate, two failures, new; the watch stops after two
// captured frames and has written both.
TEST(WatchCommand, FetchesLogsAndSavesCapturedFrames) {
    ScriptedServer server;
    server.respond([](int i, const std::string&) {
        switch (i) {
        case 0:
        case 1:
            return Reply(httpResponse("200 OK", bmpBody(10)));
        case 2:
            return Reply(httpResponse("200 OK", "not an image"));
        case 3:
            // A camera's "offline" picture behind an error status is not captured.
            return Reply(httpResponse("404 Not Found", bmpBody(77)));
        default:
            return Reply(httpResponse("200 OK", bmpBody(99)));
        }
    });
    TempDir dir;
    const CommandResult r =
        runCommand(std::string(KESTRIX_CLI) + " watch " + server.url("/cam.bmp") +
                   " --interval 0 --count 2 " + "--save-dir " + dir.file("frames") + " --frames " +
                   dir.file("all.ifrm") + " --gif " + dir.file("all.gif") + " --avi " +
                   dir.file("all.avi") + " --mp4 " + dir.file("all.mp4") + " --fps 2");
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(r.out);
    std::vector<std::string> outcome;
    for (std::string line; std::getline(lines, line);)
        outcome.push_back(line.substr(20)); // after "yyyy-mm-dd hh:nn:ss "
    const std::string size = std::to_string(bmpBody(10).size());
    EXPECT_EQ(outcome,
              (std::vector<std::string>{"New " + size + " 6x4", "Duplicate " + size + " 6x4",
                                        "Bitmap image is not valid 12",
                                        "HTTP 404 Not Found " + size, "New " + size + " 6x4"}));
    Bitmap second;
    readBmp(readFile(dir.file("frames/frame-000002.bmp")), second);
    EXPECT_EQ(second.scanLine(0)[0], 99);
    EXPECT_TRUE(std::filesystem::exists(dir.file("frames/frame-000001.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("frames/frame-000003.bmp")));
    // The outputs written at the end hold both captured frames.
    EXPECT_EQ(runCommand(std::string(KESTRIX_CLI) + " frames info " + dir.file("all.ifrm")).out,
              "2\n6 x 4 24\n6 x 4 24\n");
    EXPECT_EQ(runCommand(std::string(KESTRIX_CLI) + " identify " + dir.file("all.gif")).out,
              "Gif 6x4 2\n");
    EXPECT_NE(readFile(dir.file("all.gif")).find(std::string("\x21\xF9\x04\x00\x32\x00", 6)),
              std::string::npos); // 2 FPS: 500 ms, 50 hundredths
    const CommandResult probe = runCommand("ffprobe -v error -count_frames -select_streams v:0 "
                                           "-show_entries stream=nb_read_frames,r_frame_rate "
                                           "-of csv=p=0 " +
                                           dir.file("all.avi"));
    EXPECT_EQ(probe.out, "2/1,2\n");
    EXPECT_EQ(probeFrames(dir.file("all.mp4")), "2\n");
}

// Movies grow while the watch runs: killed outright, the MP4 keeps every complete fragment of
// ten frames; stopped by SIGTERM, both movies are finished with every frame.
TEST(WatchCommand, MoviesAreWrittenAsFramesArrive) {
    for (const char* signal : {"KILL", "TERM"}) {
        SCOPED_TRACE(signal);
        ScriptedServer server;
        server.respond([](int i, const std::string&) {
            return Reply(httpResponse("200 OK", animationBody(i)));
        });
        TempDir dir;
        // Two fetches bring 26 frames; the third line shows the second fetch was written.
        const std::string script =
            ": > " + dir.file("log") + "; " + std::string(KESTRIX_CLI) + " watch " +
            server.url("/anim.gif") + " --interval 0 --mp4 " + dir.file("live.mp4") + " --avi " +
            dir.file("live.avi") + " > " + dir.file("log") + " 2>&1 & pid=$!; n=0; " +
            "while [ \"$(wc -l < " + dir.file("log") +
            ")\" -lt 3 ] && [ $n -lt 200 ]; do sleep 0.1; n=$((n+1)); done; " + "kill -" + signal +
            " $pid; wait $pid; echo $?";
        const CommandResult r = runCommand(script);
        EXPECT_EQ(r.out, std::string(signal) == "KILL" ? "137\n" : "0\n")
            << readFile(dir.file("log"));
        const std::string frames = probeFrames(dir.file("live.mp4"));
        if (std::string(signal) == "KILL") {
            EXPECT_GE(std::atoi(frames.c_str()), 20) << frames;
        } else {
            EXPECT_GE(std::atoi(frames.c_str()), 26) << frames;
            EXPECT_EQ(probeFrames(dir.file("live.avi")), frames);
        }
    }
}

// With --conditional an unchanged image is answered 304 and logged as a duplicate of no bytes;
// without it the server is never asked that way.
TEST(WatchCommand, ConditionalRequestsTurnUnchangedImagesIntoDuplicates) {
    for (const bool conditional : {true, false}) {
        ScriptedServer server;
        server.respond([](int i, const std::string& request) {
            if (i < 2 && request.find("If-None-Match: \"a\"") != std::string::npos)
                return Reply(httpResponse("304 Not Modified"));
            return Reply(httpResponse("200 OK", bmpBody(i < 2 ? 10 : 20), {"ETag: \"a\""}));
        });
        const CommandResult r =
            runCommand(std::string(KESTRIX_CLI) + " watch " + server.url("/cam.bmp") +
                       " --interval 0 --count 2" + (conditional ? " --conditional" : ""));
        ASSERT_EQ(r.status, 0) << r.out;
        std::istringstream lines(r.out);
        std::vector<std::string> outcome;
        for (std::string line; std::getline(lines, line);)
            outcome.push_back(line.substr(20));
        const std::string size = std::to_string(bmpBody(10).size());
        EXPECT_EQ(outcome, (std::vector<std::string>{"New " + size + " 6x4",
                                                     conditional ? "Duplicate 0 6x4"
                                                                 : "Duplicate " + size + " 6x4",
                                                     "New " + size + " 6x4"}))
            << conditional;
    }
}
