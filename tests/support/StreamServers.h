// Camera stream servers for tests, each a script of tests/support started on loopback ports:
// GStreamer's RTSP server with test patterns (rtsp_server.py) and HLS playlists made by ffmpeg,
// served over http and https (hls_server.py). Also the frame the cameras encode, converted
// without compression, and the picture checks the tests share.
#pragma once

#include "core/image/Bitmap.h"
#include "support/TempDir.h"

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <map>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestrix::test {

// A script that prints "ready ROLE=PORT ..." when it serves and ends when its input closes.
class ScriptServer {
public:
    explicit ScriptServer(std::vector<std::string> arguments) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        arguments.insert(arguments.begin(), "/usr/bin/python3");
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        input_ = toChild[1];
        if (rc != 0)
            throw std::runtime_error("cannot start " + arguments[1]);
        FILE* out = fdopen(fromChild[0], "r");
        char line[1024] = {};
        const bool ready = out && std::fgets(line, sizeof line, out) != nullptr;
        if (out)
            std::fclose(out);
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (!ready || word != "ready")
            throw std::runtime_error(arguments[1] + " did not start");
        while (words >> word) {
            const size_t equals = word.find('=');
            ports_[word.substr(0, equals)] = std::stoi(word.substr(equals + 1));
        }
    }
    ~ScriptServer() {
        if (pid_ > 0) {
            ::close(input_);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    int port(const std::string& role) const { return ports_.at(role); }

    // A crash: no goodbye to the clients, the kernel just closes the connections.
    void kill() {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        ::close(input_);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::map<std::string, int> ports_;
};

// Roles "open", "basic" and "digest"; paths as rtsp_server.py lists them.
class RtspTestServer : public ScriptServer {
public:
    static constexpr const char* kUser = "kestrix";
    static constexpr const char* kPassword = "s3cret";

    RtspTestServer() : ScriptServer({std::string(KESTRIX_TEST_SUPPORT) + "/rtsp_server.py"}) {}

    std::string url(const std::string& role, const std::string& path,
                    const std::string& login = "") const {
        return "rtsp://" + (login.empty() ? "" : login + "@") +
               "127.0.0.1:" + std::to_string(port(role)) + "/" + path;
    }
};

// The frame the test cameras encode: `videotestsrc pattern=PATTERN` in I420, into `file`.
inline void drawBars(const std::string& pattern, int width, int height, const std::string& file) {
    const CommandResult made =
        runCommand("gst-launch-1.0 -q videotestsrc pattern=" + pattern +
                   " num-buffers=1 ! video/x-raw,width=" + std::to_string(width) + ",height=" +
                   std::to_string(height) + ",format=I420 ! filesink location=" + file + " 2>&1");
    if (made.status != 0)
        throw std::runtime_error("gst-launch-1.0 could not draw the bars: " + made.out);
}

// That frame as rows of blue, green, red, converted by the ffmpeg command with full chroma: what
// a faithful decoder shows. (Compared with the bars drawn in RGB, the 4:2:0 chroma alone costs
// more than 30 dB would allow at this size.)
inline std::string barsBytes(const std::string& pattern, int width, int height) {
    TempDir dir("bars");
    drawBars(pattern, width, height, dir.file("bars.yuv"));
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const CommandResult made = runCommand(
        "ffmpeg -v error -f rawvideo -pix_fmt yuv420p -s " + size + " -i " + dir.file("bars.yuv") +
        " -sws_flags bicubic+accurate_rnd+full_chroma_int -f rawvideo -pix_fmt bgr24 " +
        dir.file("bars.bgr") + " 2>&1");
    if (made.status != 0)
        throw std::runtime_error("ffmpeg could not convert the bars: " + made.out);
    return readFile(dir.file("bars.bgr"));
}

// Roles "http", "https" (the test authority's certificate, rootFile()), "wronghost" (the
// authority's certificate for another name) and "selfsigned".
// Playlists: still.m3u8 (three one-second segments of the RP 219 bars at 320 x 240, H.264) and
// empty.m3u8.
class HlsTestServer {
public:
    HlsTestServer() : dir_("hls") {
        std::filesystem::create_directories(dir_.file("www"));
        std::filesystem::create_directories(dir_.file("certificates"));
        const std::string bars = dir_.file("bars.yuv");
        drawBars("smpte-rp-219", 320, 240, bars);
        const CommandResult made =
            runCommand("ffmpeg -v error -f rawvideo -pix_fmt yuv420p -s 320x240 -framerate 15 "
                       "-stream_loop -1 -i " +
                       bars +
                       " -t 3 -c:v libx264 -preset ultrafast -crf 18 -g 15 "
                       "-f hls -hls_time 1 -hls_playlist_type vod " +
                       dir_.file("www/still.m3u8") + " 2>&1");
        if (made.status != 0)
            throw std::runtime_error("ffmpeg could not make the playlist: " + made.out);
        writeFile(dir_.file("www/empty.m3u8"),
                  "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n");
        server_ = std::make_unique<ScriptServer>(
            std::vector<std::string>{std::string(KESTRIX_TEST_SUPPORT) + "/hls_server.py",
                                     dir_.file("www"), dir_.file("certificates")});
    }

    std::string url(const std::string& role, const std::string& playlist) const {
        return std::string(role == "http" ? "http" : "https") +
               "://localhost:" + std::to_string(server_->port(role)) + "/" + playlist;
    }
    std::string rootFile() const { return dir_.file("certificates/root.pem"); }

private:
    TempDir dir_;
    std::unique_ptr<ScriptServer> server_;
};

// Peak signal-to-noise ratio in dB of a 24-bit picture against packed rows of blue, green, red,
// the reference moved left by `shift` columns (wrapping round); 99 for identical pictures.
inline double psnr(const Bitmap& picture, const std::string& reference, int shift = 0) {
    const int width = picture.width();
    const int height = picture.height();
    if (picture.pixelFormat() != PixelFormat::Bit24 ||
        reference.size() != static_cast<size_t>(width) * height * 3)
        return 0;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = picture.scanLine(y);
        const auto* wanted =
            reinterpret_cast<const uint8_t*>(reference.data()) + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            const int from = (x + shift) % width;
            for (int c = 0; c < 3; ++c) {
                const double d = static_cast<double>(row[x * 3 + c]) - wanted[from * 3 + c];
                sum += d * d;
            }
        }
    }
    const double mean = sum / (static_cast<double>(width) * height * 3);
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

// The shift of a scrolling reference that the picture matches best, and how well.
struct ScrollMatch {
    int shift = 0;
    double psnr = 0;
};

inline ScrollMatch bestScroll(const Bitmap& picture, const std::string& reference) {
    ScrollMatch best;
    for (int shift = 0; shift < picture.width(); ++shift)
        if (const double p = psnr(picture, reference, shift); p > best.psnr)
            best = {shift, p};
    return best;
}

// Open descriptors and threads of this process: nothing a stream used may stay behind.
inline int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

inline int runningThreads() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (readdir(dir) != nullptr)
            ++count;
        closedir(dir);
    }
    return count;
}

} // namespace kestrix::test
