// Many camera streams kept open at once, as a watch of many RTSP links keeps them: the share of
// one core the process uses and its peak memory while every session answers latest() on its
// interval (key frames only once the interval reaches the stream's key-frame distance).
//   bench_stream_sessions SESSIONS SECONDS INTERVAL_S URL...   (sessions spread over the URLs)
#include "core/stream/CameraStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace kestrix;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A line of /proc/self/status, such as "VmHWM" (peak resident memory) or "Threads".
std::string status(const std::string& key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + ":", 0) == 0)
            return line.substr(key.size() + 1);
    return "?";
}

double seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SESSIONS SECONDS INTERVAL_S URL...\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const double duration = std::atof(argv[2]);
    const auto interval = std::chrono::duration<double>(std::atof(argv[3]));
    std::vector<std::string> urls(argv + 4, argv + argc);
    try {
        std::vector<std::unique_ptr<StreamSession>> sessions;
        sessions.reserve(static_cast<size_t>(count));
        const Clock::time_point opening = Clock::now();
        for (int i = 0; i < count; ++i)
            sessions.push_back(openStreamSession(urls[i % urls.size()], {}));
        const std::string connected = status("VmRSS");
        for (const auto& session : sessions)
            session->latest(true);
        std::printf("%d sessions open with a first picture in %.2f s; RSS%s connected,%s with "
                    "pictures\n",
                    count, seconds(Clock::now() - opening), connected.c_str(),
                    status("VmRSS").c_str());

        const double cpuStart = cpuSeconds();
        const Clock::time_point start = Clock::now();
        int pictures = 0;
        int repeats = 0;
        double slowest = 0;
        for (int round = 1; seconds(Clock::now() - start) < duration; ++round) {
            std::this_thread::sleep_until(
                start + std::chrono::duration_cast<Clock::duration>(interval * round));
            for (const auto& session : sessions) {
                const bool keyFramesOnly = interval >= session->keyFrameDistance();
                const Clock::time_point asked = Clock::now();
                const StreamPicture answer = session->latest(keyFramesOnly);
                slowest = std::max(slowest, seconds(Clock::now() - asked));
                (answer.repeat ? repeats : pictures) += 1;
            }
        }
        const double wall = seconds(Clock::now() - start);
        std::printf("%.0f s: %d new pictures, %d repeats, slowest latest() %.0f ms\n", wall,
                    pictures, repeats, slowest * 1000);
        std::printf("CPU %.1f %% of one core, RSS%s at the end, peak%s, threads%s\n",
                    100 * (cpuSeconds() - cpuStart) / wall, status("VmRSS").c_str(),
                    status("VmHWM").c_str(), status("Threads").c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
