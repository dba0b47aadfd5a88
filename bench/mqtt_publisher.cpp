// What MQTT costs a watch of many links: the CPU and peak memory of a process that reports LINKS
// cameras (each a new picture every INTERVAL seconds, one fetch in 50 changing the camera's
// state) for SECONDS, with MQTT off, on, on with pictures, and on with pictures that must be
// converted from PNG, against Debian's Mosquitto on a loopback port. Each mode runs in a child
// process of its own, so that its peak memory is its own; the broker's CPU is shown beside it.
//   bench_mqtt_publisher [LINKS [SECONDS [INTERVAL_S]]]      (default 1000 60 60)
#include "core/image/ImageFile.h"
#include "core/watch/MqttPublisher.h"
#include "support/ImageBuilders.h"
#include "support/MosquittoBroker.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestrix;
using namespace kestrix::test;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Kilobytes of a line of /proc/self/status, such as "VmHWM" (peak resident memory).
long statusKb(const std::string& key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    return -1;
}

// CPU seconds a process has used, from /proc/PID/stat.
double processCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

enum class Mode { Off, States, Pictures, PngPictures };
const char* const kModeNames[] = {"off", "on", "pictures", "png pictures"};

struct Result {
    double cpu = 0;
    long peakKb = 0;
    unsigned long long sent = 0, dropped = 0;
};

// The watch's side: every link's fetch on its rhythm, spread over the interval.
Result simulate(Mode mode, int links, int seconds, int interval, const std::string& pictures,
                int port) {
    std::vector<MqttLink> named;
    for (int i = 0; i < links; ++i) {
        const std::string folder = "Bench/cam" + std::to_string(i);
        named.push_back({folder, folder});
    }
    std::unique_ptr<MqttPublisher> publisher;
    if (mode != Mode::Off) {
        MqttSettings settings;
        settings.host = "127.0.0.1";
        settings.port = port;
        settings.pictures = mode != Mode::States;
        publisher = std::make_unique<MqttPublisher>(settings, named, nullptr);
        publisher->start();
    }
    const char* extension = mode == Mode::PngPictures ? ".png" : ".jpg";
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::vector<int> fetches(static_cast<size_t>(links), 0);
    while (Clock::now() < end) {
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        for (int i = 0; i < links; ++i) {
            const double due = interval * (static_cast<double>(i) / links + fetches[i]);
            if (due > now)
                continue;
            const int n = fetches[i]++;
            if (!publisher)
                continue;
            const std::string file = pictures + "/p" + std::to_string((i + n) % 20) + extension;
            publisher->newPicture(named[i].directory, std::time(nullptr), file);
            if ((i + n) % 50 == 0) {
                CameraEvent event;
                event.directory = named[i].directory;
                event.to = n % 2 ? CameraState::Up : CameraState::Down;
                publisher->cameraChanged(event);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Result r;
    if (publisher) {
        publisher->stop();
        const MqttFigures figures = publisher->figures();
        r.sent = figures.sent;
        r.dropped = figures.dropped;
    }
    r.cpu = cpuSeconds();
    r.peakKb = statusKb("VmHWM");
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int links = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    const int interval = argc > 3 ? std::atoi(argv[3]) : 60;
    if (links < 1 || seconds < 1 || interval < 1) {
        std::fprintf(stderr, "usage: %s [LINKS [SECONDS [INTERVAL_S]]]\n", argv[0]);
        return 2;
    }
    // Camera-like pictures of 640 x 480: twenty JPEGs and the same as PNGs.
    TempDir pictures("bench-mqtt");
    for (int i = 0; i < 20; ++i) {
        const Bitmap frame = detailedFrame(640, 480, i);
        saveJpegFile(frame, pictures.file("p" + std::to_string(i) + ".jpg"), 85);
        savePngFile(frame, pictures.file("p" + std::to_string(i) + ".png"));
    }
    MosquittoBroker broker;
    std::printf("%d links, a new picture each every %d s, for %d s (JPEG ~%ld KB, PNG ~%ld KB)\n",
                links, interval, seconds,
                static_cast<long>(readFile(pictures.file("p0.jpg")).size() / 1024),
                static_cast<long>(readFile(pictures.file("p0.png")).size() / 1024));
    std::printf("%-13s %9s %9s %10s %9s %9s %10s\n", "mqtt", "cpu s", "core %", "peak MB", "sent",
                "dropped", "broker s");
    Result off;
    for (const Mode mode : {Mode::Off, Mode::States, Mode::Pictures, Mode::PngPictures}) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        const double brokerBefore = processCpu(broker.pid());
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const Result r =
                simulate(mode, links, seconds, interval, pictures.path(), broker.port());
            (void)!write(fds[1], &r, sizeof r);
            _exit(0);
        }
        close(fds[1]);
        Result r;
        const bool got = read(fds[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (!got) {
            std::fprintf(stderr, "the %s run failed\n", kModeNames[static_cast<int>(mode)]);
            return 1;
        }
        if (mode == Mode::Off)
            off = r;
        std::printf("%-13s %9.2f %9.2f %10.1f %9llu %9llu %10.2f",
                    kModeNames[static_cast<int>(mode)], r.cpu, 100.0 * r.cpu / seconds,
                    r.peakKb / 1024.0, r.sent, r.dropped, processCpu(broker.pid()) - brokerBefore);
        if (mode != Mode::Off)
            std::printf("   (+%.2f%% of a core, +%.1f MB)", 100.0 * (r.cpu - off.cpu) / seconds,
                        (r.peakKb - off.peakKb) / 1024.0);
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
