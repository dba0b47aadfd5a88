// A minute of `kestrix-cli watch --links` against a fleet of a hundred cameras, a third of them
// hostile (error pages, a login page, cut bodies, a trickle, silence, a redirect loop, an endless
// body, a camera killed and restarted), while slow-loris clients and idle connections wear at its
// status page; then a restart of the watch with a size limit on the archive. It shows what healthy
// work does meanwhile: every picture a camera sent is archived as sent, fetches stay on rhythm,
// the page answers at once, memory and descriptors stay bounded, and a restart archives nothing
// twice. The figures are printed (and recorded as test properties).
#include "core/watch/SoakSupport.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr int kParallel = 16;
constexpr int kTimeout = 12;
// Until every stalled camera has failed once it is not known as failing, and the first fetches
// of the stalled cameras may hold their threads for one deadline.
constexpr double kWarmUp = kTimeout;
// Each fetch of the endless body fills the client's 64 MiB cap, in place: the buffer doubles up to
// the cap, the new one made whole before the old is freed, so 96 MiB are held for a moment, and
// fetches of it on two threads may overlap: about 250 MiB at the peak, all of it returned once
// they fail (the RSS at the end is checked apart). The address sanitizer keeps freed blocks in
// quarantine (256 MiB by default) and its shadow adds an eighth.
constexpr int64_t kPeakRssLimitKiB = (kSanitized ? 700 : 320) * 1024;
// The process's own (standard streams, listener, wake-up, state and archive files, the archive
// scan) and two per fetching thread.
constexpr int kDescriptorLimit = 16 + 2 * kParallel;
constexpr double kPromptMs = 1000;

struct Camera {
    std::string name;
    std::string kind; // the fleet's kind of path; "phoenix" is a picture camera killed mid-run
    std::string ext = "jpg";
    int interval = 5;
    int every = 1;       // a new picture every this many requests
    bool frozen = false; // sends its last picture again from the freeze on
    std::string error;   // what every fetch of a bad camera must log; '#' stands for a number

    bool healthy() const { return kind == "pic" || kind == "gif"; }
    bool archives() const { return healthy() || kind == "phoenix"; }
    std::string path() const {
        return "/" + (kind == "phoenix" ? std::string("pic") : kind) + "/" + name + "." + ext;
    }
};

// 100 cameras. The slow ones come first, so that their first fetch (spread over the interval by
// the position in the file) falls early in the run.
std::vector<Camera> fleetCameras() {
    std::vector<Camera> cams;
    for (int i = 0; i < 2; ++i) {
        cams.push_back({"drip-slow" + std::to_string(i), "drip", "jpg", 30, 1, false,
                        "Too slow: # bytes in the last 10 s (at least 1 KiB/s expected)"});
        cams.push_back({"silent-slow" + std::to_string(i), "silent", "jpg", 30, 1, false,
                        "Timed out after " + std::to_string(kTimeout) + " s without data"});
        cams.push_back({"drip" + std::to_string(i), "drip", "jpg", 5, 1, false,
                        "Gave up after 10 s (# of 10485760 bytes)"});
        cams.push_back({"silent" + std::to_string(i), "silent", "jpg", 5, 1, false,
                        "Gave up after 10 s (0 bytes)"});
    }
    cams.push_back({"huge", "huge", "jpg", 5, 1, false, "Response too large"});
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"e404", "HTTP 404 Not Found"},
        {"e500", "HTTP 500 Internal Server Error"},
        {"login", "Not a picture (text/html, # bytes)"},
        {"cut", "Connection closed after 1000 of 5000 bytes"},
        {"loop", "Too many redirects"}};
    for (const auto& [kind, error] : bad)
        for (int i = 0; i < 5; ++i)
            cams.push_back({kind + std::to_string(i), kind, "jpg", 2 + i % 4, 1, false, error});
    for (int i = 0; i < 64; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "h%02d", i);
        const char* ext = i % 8 == 7 ? "bmp" : i % 8 == 5 ? "png" : "jpg";
        cams.push_back({name, "pic", ext, 2 + i % 4, i % 2 == 0 ? 1 : 3, i < 32, ""});
    }
    cams.push_back({"anim", "gif", "gif", 3, 1, true, ""});
    cams.push_back({"phoenix", "phoenix", "jpg", 2, 1, false, ""});
    return cams;
}

std::string linkFile(const std::vector<Camera>& cams, const FleetServer& fleet,
                     const FleetServer& phoenix) {
    std::string xml = "<ImageAddressXML KSX=\"1.0\">\n";
    for (const Camera& c : cams) {
        std::string url = (c.kind == "phoenix" ? phoenix : fleet).url(c.path());
        if (c.every > 1)
            url += "?every=" + std::to_string(c.every);
        xml += "<URLItem URLName=\"" + c.name + "\" URLAddress=\"" + url + "\" URLDelay=\"" +
               std::to_string(c.interval) + "\" Selected=\"no\"/>\n";
    }
    return xml + "</ImageAddressXML>\n";
}

// The status page asked every 100 ms, alternately for /api/status and /healthz, and the watcher's
// memory and descriptors read every 200 ms, on a thread of their own until `stop`.
class PageAndProcessWatch {
public:
    struct Answer {
        double at;
        std::string path;
        PageAnswer answer;
    };
    struct Seen {
        std::vector<Answer> answers;
        int64_t highestRssKiB = 0;
        int descriptorsQuiet = 0;    // the most while no attacker was about
        int descriptorsAttacked = 0; // the most while attackers were
        int attackers = 0;           // the most attackers allowed for meanwhile
    };

    PageAndProcessWatch(int port, pid_t pid) : port_(port), pid_(pid) {
        thread_ = std::thread([this] { run(); });
    }
    ~PageAndProcessWatch() { stop(); }

    // What was seen, once stopped.
    const Seen& stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return seen_;
    }
    // Page connections attackers may hold from now on (0 once they have all gone).
    void attackers(int connections) { attackers_ = connections; }

private:
    void run() {
        auto nextReading = std::chrono::steady_clock::now();
        for (int i = 0; !stop_; ++i) {
            const std::string path = i % 2 == 0 ? "/api/status" : "/healthz";
            const double at = monotonicSeconds();
            seen_.answers.push_back({at, path, timedPageGet(port_, path, std::chrono::seconds(3))});
            if (std::chrono::steady_clock::now() >= nextReading) {
                nextReading += std::chrono::milliseconds(200);
                const ProcessReading r = readProcess(pid_);
                seen_.highestRssKiB = std::max(seen_.highestRssKiB, r.rssKiB);
                const int allowance = attackers_.load();
                int& highest = allowance > 0 ? seen_.descriptorsAttacked : seen_.descriptorsQuiet;
                highest = std::max(highest, r.descriptors);
                seen_.attackers = std::max(seen_.attackers, allowance);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    int port_;
    pid_t pid_;
    std::atomic<bool> stop_{false};
    std::atomic<int> attackers_{0};
    Seen seen_;
    std::thread thread_;
};

void sleepUntil(double monotonic) {
    const double left = monotonic - monotonicSeconds();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(left));
}

void figure(const std::string& name, const std::string& value) {
    std::printf("[ soak     ] %-44s %s\n", name.c_str(), value.c_str());
    ::testing::Test::RecordProperty(name, value);
}

std::string fixed(double value, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Ends the watch with SIGTERM; answers its exit status and how long it took, in seconds.
std::pair<std::optional<int>, double> stopWatch(ChildProcess& watch) {
    const double start = monotonicSeconds();
    watch.signal(SIGTERM);
    const std::optional<int> status = watch.waitFor(std::chrono::seconds(10));
    return {status, monotonicSeconds() - start};
}

// "127.0.P.2,127.0.P.3,...": `count` loopback addresses.
std::string loopbackAddresses(int prefix, int count) {
    std::string list;
    for (int i = 0; i < count; ++i)
        list += (i ? "," : "") + std::string("127.0.") + std::to_string(prefix) + "." +
                std::to_string(2 + i);
    return list;
}

// Slow-loris heads and idle connections against the page until `seconds` have passed; their
// sources are loopback addresses of their own, ten connections each at most, so that the cap per
// client address lets every attacker in and leaves the prober at 127.0.0.1 alone.
std::unique_ptr<ChildProcess> attackPage(int port, int slow, int idle, double seconds,
                                         const std::string& log) {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{
            "/usr/bin/python3", std::string(KESTRIX_TEST_SUPPORT) + "/fleet_server.py", "loris",
            "--target", "127.0.0.1:" + std::to_string(port), "--slow", std::to_string(slow),
            "--idle", std::to_string(idle), "--every", "3", "--duration", fixed(seconds, 3),
            "--sources", loopbackAddresses(0, 5), "--idle-sources", loopbackAddresses(1, 10),
            "--log", log},
        ChildProcess::Options{"/dev/null", log + ".err"});
}

using Stopped = std::pair<std::optional<int>, double>; // exit status, seconds after SIGTERM

// Everything one run left behind, for the figures and the checks.
struct SoakRun {
    std::vector<Camera> cams;
    double t0 = 0;    // the first watch started (monotonic seconds)
    double stop1 = 0; // and was sent SIGTERM
    std::time_t phoenixKilled = 0, phoenixBack = 0;
    PageAndProcessWatch::Seen seen;
    ProcessReading atEnd; // of the first watch, just before its stop
    Stopped stopped1, stopped2;
    Archive archive1, archive2; // after each watch
    WatchLog log1, log2;
    uint64_t maxBytes = 0; // the second watch's --max-bytes
    FleetLog fleetLog;
    ServedPictures pictures;
    std::string lorisLog;

    const Camera* camera(const std::string& name) const {
        const auto found =
            std::find_if(cams.begin(), cams.end(), [&](const Camera& c) { return c.name == name; });
        return found == cams.end() ? nullptr : &*found;
    }
};

// Runs both watches against the fleet: 43 s, in which the phoenix dies at 12 s and is back at
// 18 s, the page is attacked from 18 s to 36 s (8 slow heads and 40 idle connections, then 50 and
// 100) and the frozen cameras freeze at 36 s; then 10 s with --max-bytes at three quarters of the
// archive.
void runSoak(const TempDir& dir, SoakRun& run) {
    const std::string served = dir.file("served");
    FleetServer fleet(dir.file("fleet.log"), served, dir.file("fleet.err"));
    auto phoenix =
        std::make_unique<FleetServer>(dir.file("phoenix.log"), served, dir.file("phoenix.err"));
    const int phoenixPort = phoenix->port();
    run.cams = fleetCameras();
    ASSERT_EQ(run.cams.size(), 100u);
    writeFile(dir.file("fleet.klnx"), linkFile(run.cams, fleet, *phoenix));

    const int pagePort = freeLoopbackPort();
    const auto watchArgs = [&](const std::vector<std::string>& more) {
        std::vector<std::string> args = {KESTRIX_CLI,
                                         "watch",
                                         "--links",
                                         dir.file("fleet.klnx"),
                                         "--save-dir",
                                         dir.file("archive"),
                                         "--parallel",
                                         std::to_string(kParallel),
                                         "--timeout",
                                         std::to_string(kTimeout),
                                         "--json",
                                         "--serve",
                                         "127.0.0.1:" + std::to_string(pagePort)};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    auto watch = std::make_unique<ChildProcess>(
        watchArgs({}), ChildProcess::Options{dir.file("watch1.log"), dir.file("watch1.err")});
    run.t0 = monotonicSeconds();
    sleepUntil(run.t0 + 1);
    PageAndProcessWatch page(pagePort, watch->pid());

    sleepUntil(run.t0 + 12);
    phoenix->process().signal(SIGKILL);
    phoenix->process().waitFor(std::chrono::seconds(5));
    run.phoenixKilled = std::time(nullptr);
    sleepUntil(run.t0 + 18);
    phoenix = std::make_unique<FleetServer>(dir.file("phoenix.log"), served,
                                            dir.file("phoenix.err"), phoenixPort, 1);
    run.phoenixBack = std::time(nullptr);

    run.lorisLog = dir.file("loris.log");
    page.attackers(8 + 40);
    auto attack = attackPage(pagePort, 8, 40, 8, run.lorisLog);
    sleepUntil(run.t0 + 26);
    attack->waitFor(std::chrono::seconds(3));
    page.attackers(50 + 100 + 48); // the first wave's may linger until the page drops them
    attack = attackPage(pagePort, 50, 100, 10, run.lorisLog);
    sleepUntil(run.t0 + 36);
    attack->waitFor(std::chrono::seconds(3));
    attack.reset();
    std::string freeze = "freeze";
    for (const Camera& c : run.cams)
        if (c.frozen)
            freeze += " " + c.path();
    fleet.command(freeze);
    sleepUntil(run.t0 + 42);
    page.attackers(0); // the attack's last connections are gone by now
    sleepUntil(run.t0 + 43);
    run.seen = page.stop();
    run.atEnd = readProcess(watch->pid());
    run.stop1 = monotonicSeconds();
    run.stopped1 = stopWatch(*watch);
    run.archive1 = readArchive(dir.file("archive"));
    run.log1 = readWatchLog(dir.file("watch1.log"));

    run.maxBytes = run.archive1.bytes * 3 / 4;
    watch = std::make_unique<ChildProcess>(
        watchArgs({"--max-bytes", std::to_string(run.maxBytes)}),
        ChildProcess::Options{dir.file("watch2.log"), dir.file("watch2.err")});
    sleepUntil(monotonicSeconds() + 10);
    run.stopped2 = stopWatch(*watch);
    run.archive2 = readArchive(dir.file("archive"));
    run.log2 = readWatchLog(dir.file("watch2.log"));
    run.fleetLog = readFleetLog({dir.file("fleet.log"), dir.file("phoenix.log")});
    run.pictures = readServed(served);
}

// The gaps between a healthy camera's requests, in the first kWarmUp seconds and after.
struct Rhythm {
    int gaps = 0, late = 0; // late: more than interval + 1 s after the one before
    int warmUpGaps = 0, warmUpLate = 0;
    double latest = 0; // seconds beyond the interval
    std::string latestCamera;

    static double share(int all, int lateOnes) { return all ? 100.0 * (all - lateOnes) / all : 0; }
};

Rhythm rhythmOf(const SoakRun& run) {
    Rhythm r;
    for (const Camera& c : run.cams) {
        const auto found = run.fleetLog.requests.find(c.name);
        if (!c.healthy() || found == run.fleetLog.requests.end())
            continue;
        const std::vector<double>& times = found->second;
        for (size_t i = 1; i < times.size() && times[i] <= run.stop1; ++i) {
            const double lateness = times[i] - times[i - 1] - c.interval;
            if (times[i - 1] < run.t0 + kWarmUp) {
                ++r.warmUpGaps;
                r.warmUpLate += lateness > 1.0 ? 1 : 0;
                continue;
            }
            ++r.gaps;
            r.late += lateness > 1.0 ? 1 : 0;
            if (lateness > r.latest) {
                r.latest = lateness;
                r.latestCamera = c.name;
            }
        }
    }
    return r;
}

struct PageFigures {
    size_t attackedAnswers = 0;
    int failed = 0; // no 200 with the right body within the limit
    double slowestMs = 0, slowestAttackedMs = 0;
    std::string lastFailure;
};

PageFigures pageFiguresOf(const SoakRun& run) {
    PageFigures f;
    for (const auto& a : run.seen.answers) {
        f.slowestMs = std::max(f.slowestMs, a.answer.ms);
        if (a.at >= run.t0 + 18 && a.at < run.t0 + 41) {
            f.slowestAttackedMs = std::max(f.slowestAttackedMs, a.answer.ms);
            ++f.attackedAnswers;
        }
        const bool right = a.path == "/healthz" ? a.answer.body == "ok\n"
                                                : a.answer.body.rfind("{\"links\":[", 0) == 0;
        if (a.answer.status != 200 || !right) {
            ++f.failed;
            f.lastFailure = a.path + " at +" + fixed(a.at - run.t0) +
                            " s: " + std::to_string(a.answer.status) + " " +
                            a.answer.body.substr(0, 200);
        }
    }
    return f;
}

// How the page ended the attackers' connections: "slow 408", "idle -" (closed unanswered), ...
struct AttackFigures {
    std::map<std::string, int> ends;
    // Held longer than 7 s, or timed out (408) before 4.5 s. A head that does arrive whole while
    // the page's threads are all busy is refused at once with a 503, which is in time.
    int outOfTime = 0;
    double shortest = 1e9, longest = 0;

    std::string endsText() const {
        std::string text;
        for (const auto& [what, count] : ends)
            text += what + ": " + std::to_string(count) + "  ";
        return text;
    }
};

AttackFigures attackFiguresOf(const std::string& lorisLog) {
    AttackFigures f;
    for (const std::string& line : fileLines(lorisLog)) {
        std::istringstream words(line);
        std::string kind, status;
        double opened = 0, closed = 0;
        int lines = 0;
        words >> kind >> opened >> closed >> lines >> status;
        ++f.ends[kind + " " + status];
        const double held = closed - opened;
        f.shortest = std::min(f.shortest, held);
        f.longest = std::max(f.longest, held);
        f.outOfTime += held > 7.0 || (status == "408" && held < 4.5) ? 1 : 0;
    }
    return f;
}

// Phase 1 kept no less and no more than the cameras sent: each archived file is one of the
// camera's pictures, none twice, with a "new" line each; and every picture sent is archived, but
// for one sent in the last second before the stop, whose transfer the stop may have cancelled.
void expectEveryPictureKept(const SoakRun& run) {
    for (const Camera& c : run.cams) {
        const auto folder = run.archive1.pictures.find(c.name);
        const std::vector<std::string> files =
            folder == run.archive1.pictures.end() ? std::vector<std::string>{} : folder->second;
        const auto newLines = run.log1.newFiles.find(c.name);
        if (!c.archives()) {
            EXPECT_TRUE(files.empty()) << c.name << " archived " << files.size() << " pictures";
            EXPECT_TRUE(newLines == run.log1.newFiles.end() && !run.log1.duplicates.count(c.name))
                << c.name << " logged a picture";
            continue;
        }
        const auto sentByCamera = run.pictures.find(c.name);
        ASSERT_NE(sentByCamera, run.pictures.end()) << c.name << " never sent a picture";
        const auto& sent = sentByCamera->second;
        std::set<int64_t> archived;
        for (const std::string& name : files) {
            const auto found = sent.find(run.archive1.bytesOf.at(c.name + "/" + name));
            if (found == sent.end()) {
                ADD_FAILURE() << c.name << "/" << name << " is not a picture the camera sent";
                continue;
            }
            EXPECT_TRUE(archived.insert(found->second).second)
                << c.name << "/" << name << " archives picture " << found->second << " again";
            EXPECT_EQ(fs::path(name).extension().string(), "." + c.ext) << c.name << "/" << name;
        }
        EXPECT_EQ(newLines == run.log1.newFiles.end() ? 0 : newLines->second.size(), files.size())
            << c.name << ": one \"new\" line per archived picture";
        const auto& firstSent = run.fleetLog.firstSent.at(c.name);
        for (const auto& [serial, when] : firstSent)
            if (!archived.count(serial) && when < run.stop1 - 1.0)
                ADD_FAILURE() << c.name << " lost picture " << serial << ", sent at +"
                              << fixed(when - run.t0, 2) << " s";
        if (c.kind == "gif") {
            EXPECT_GE(archived.size() + 1, firstSent.size())
                << "the animation archives a new file at each change of its last frame";
        }
        EXPECT_GE(archived.size(), 2u) << c.name;
    }
}

// True when `text` is `pattern` with each '#' standing for one or more digits and commas.
bool matchesWithNumbers(const std::string& text, const std::string& pattern) {
    size_t at = 0;
    for (const char p : pattern) {
        if (p != '#') {
            if (at == text.size() || text[at] != p)
                return false;
            ++at;
            continue;
        }
        const size_t start = at;
        while (at < text.size() &&
               (std::isdigit(static_cast<unsigned char>(text[at])) != 0 || text[at] == ','))
            ++at;
        if (at == start)
            return false;
    }
    return at == text.size();
}

// Bad cameras archive nothing and every fetch of theirs logs what went wrong, in the watcher's
// words; healthy ones never fail; the phoenix is refused while down and archives again once back.
void expectBadCamerasReported(const SoakRun& run) {
    for (const Camera& c : run.cams) {
        if (c.archives())
            continue;
        const auto errors = run.log1.errors.find(c.name);
        ASSERT_NE(errors, run.log1.errors.end()) << c.name << " was never given up";
        for (const std::string& error : errors->second)
            EXPECT_TRUE(matchesWithNumbers(error, c.error))
                << c.name << ": \"" << error << "\", expected \"" << c.error << "\"";
    }
    for (const auto& [link, errors] : run.log1.errors) {
        const Camera* c = run.camera(link);
        EXPECT_TRUE(c && (!c->archives() || c->kind == "phoenix"))
            << link << " failed: " << errors.front();
    }
    const auto phoenixErrors = run.log1.errors.find("phoenix");
    ASSERT_NE(phoenixErrors, run.log1.errors.end()) << "the killed camera was never refused";
    const std::vector<std::string>& errors = phoenixErrors->second;
    EXPECT_NE(std::count(errors.begin(), errors.end(), "10061:Connection refused"), 0)
        << "the killed camera's fetches are refused while it is down";
    EXPECT_LE(errors.size(), 4u) << "it backs off while down";
    const auto& phoenixSent = run.fleetLog.firstSent.at("phoenix");
    // Pictures of the restarted camera have serials from 1,000,000 on.
    EXPECT_TRUE(std::any_of(phoenixSent.begin(), phoenixSent.end(),
                            [](const auto& entry) { return entry.first >= 1000000; }))
        << "the restarted camera (down from " << run.phoenixKilled << " to " << run.phoenixBack
        << ") was fetched again";
}

// The restarted watch archives no picture it had (the frozen cameras send their last again),
// archives what is new, and its retention deletes the oldest pictures, each one reported, and
// leaves the others as they were.
void expectRestartArchivesNothingTwice(const SoakRun& run) {
    for (const Camera& c : run.cams) {
        const auto newLines = run.log2.newFiles.find(c.name);
        const size_t added = newLines == run.log2.newFiles.end() ? 0 : newLines->second.size();
        if (c.frozen) {
            EXPECT_EQ(added, 0u) << c.name << " sent its last picture again";
        } else if (c.archives() && c.every == 1) {
            EXPECT_GE(added, 1u) << c.name << " is watched again";
        }
    }
    for (const auto& [name, bytes] : run.archive2.bytesOf) {
        const auto sent = run.pictures.find(name.substr(0, name.find('/')));
        EXPECT_TRUE(sent != run.pictures.end() && sent->second.count(bytes))
            << name << " is not a picture the camera sent";
    }
    std::vector<std::string> deleted;
    std::string oldestKept = "99999999-999999";
    for (const auto& [name, bytes] : run.archive1.bytesOf) {
        const std::string stamp = name.substr(name.find('/') + 1, 15);
        const auto after = run.archive2.bytesOf.find(name);
        if (after == run.archive2.bytesOf.end()) {
            deleted.push_back(stamp);
        } else {
            oldestKept = std::min(oldestKept, stamp);
            EXPECT_EQ(after->second, bytes) << name << " changed";
        }
    }
    EXPECT_FALSE(run.log2.retentionLines.empty()) << "retention ran at the start and deleted";
    EXPECT_EQ(deleted.size(), run.log2.deletedFiles)
        << "every picture gone was reported by retention";
    for (const std::string& stamp : deleted)
        EXPECT_LE(stamp, oldestKept) << "retention deletes the oldest first";
    for (const auto& [link, files] : run.log2.newFiles)
        for (const std::string& file : files)
            EXPECT_TRUE(fs::exists(file)) << file;
}

void printFigures(const SoakRun& run, const Rhythm& rhythm, const PageFigures& page,
                  const AttackFigures& attack) {
    size_t requests = 0;
    for (const auto& entry : run.fleetLog.requests)
        requests += entry.second.size();
    size_t newAfterRestart = 0;
    for (const auto& entry : run.log2.newFiles)
        newAfterRestart += entry.second.size();
    figure("links / parallel / timeout",
           "100 / " + std::to_string(kParallel) + " / " + std::to_string(kTimeout) + " s");
    figure("requests the fleet saw", std::to_string(requests));
    figure("pictures archived (first watch)", std::to_string(run.archive1.count()) + " (" +
                                                  std::to_string(run.archive1.bytes) + " bytes)");
    figure("healthy fetches on rhythm (<= interval + 1 s)",
           fixed(Rhythm::share(rhythm.gaps, rhythm.late), 2) + " % of " +
               std::to_string(rhythm.gaps) + ", latest +" + fixed(rhythm.latest, 2) + " s (" +
               rhythm.latestCamera + ")");
    figure("  the same in the first " + fixed(kWarmUp, 0) + " s",
           fixed(Rhythm::share(rhythm.warmUpGaps, rhythm.warmUpLate), 2) + " % of " +
               std::to_string(rhythm.warmUpGaps));
    figure("page answers (under attack)", std::to_string(run.seen.answers.size()) + " (" +
                                              std::to_string(page.attackedAnswers) + ")");
    figure("slowest page answer, under attack",
           fixed(page.slowestMs) + " ms, " + fixed(page.slowestAttackedMs) + " ms");
    figure("attack connections the page ended", attack.endsText());
    figure("attack connections held",
           fixed(attack.shortest, 2) + " to " + fixed(attack.longest, 2) + " s");
    figure("watcher RSS: highest seen, peak (VmHWM), end",
           std::to_string(run.seen.highestRssKiB / 1024) + " / " +
               std::to_string(run.atEnd.peakRssKiB / 1024) + " / " +
               std::to_string(run.atEnd.rssKiB / 1024) + " MiB");
    figure("watcher descriptors: quiet, attacked (allowed)",
           std::to_string(run.seen.descriptorsQuiet) + " (" + std::to_string(kDescriptorLimit) +
               "), " + std::to_string(run.seen.descriptorsAttacked) + " (" +
               std::to_string(kDescriptorLimit + run.seen.attackers) + ")");
    figure("stop after SIGTERM, first and second watch",
           fixed(run.stopped1.second, 2) + " s, " + fixed(run.stopped2.second, 2) + " s");
    figure("new pictures after the restart", std::to_string(newAfterRestart));
    figure("other events logged (first, second watch)",
           std::to_string(run.log1.events.size()) + ", " + std::to_string(run.log2.events.size()));
    figure("retention after the restart: deleted, limit",
           std::to_string(run.log2.deletedFiles) + " pictures, " + std::to_string(run.maxBytes) +
               " bytes");
}

void expectCleanStop(const Stopped& stopped, const char* which) {
    ASSERT_TRUE(stopped.first.has_value()) << which << " watch did not stop within 10 s";
    EXPECT_TRUE(WIFEXITED(*stopped.first) && WEXITSTATUS(*stopped.first) == 0)
        << which << " watch ended with status " << *stopped.first;
    EXPECT_LT(stopped.second, kSanitized ? 5.0 : 2.0) << which << " watch took long to stop";
}

} // namespace

TEST(Soak, HostileFleetForAMinuteThenARestart) {
    TempDir dir("soak");
    SoakRun run;
    runSoak(dir, run);
    if (HasFatalFailure())
        return;
    const Rhythm rhythm = rhythmOf(run);
    const PageFigures page = pageFiguresOf(run);
    const AttackFigures attack = attackFiguresOf(run.lorisLog);
    printFigures(run, rhythm, page, attack);

    expectCleanStop(run.stopped1, "the first");
    expectCleanStop(run.stopped2, "the restarted");
    for (const WatchLog* log : {&run.log1, &run.log2})
        EXPECT_TRUE(log->unreadable.empty()) << log->unreadable.front();
    for (const Archive* archive : {&run.archive1, &run.archive2})
        EXPECT_TRUE(archive->strays.empty()) << archive->strays.front();

    expectEveryPictureKept(run);
    expectBadCamerasReported(run);

    // Healthy cameras on rhythm after the warm-up, and the page answered every time, at once,
    // while its attackers were dropped at its 5 s head deadline.
    EXPECT_GE(rhythm.gaps, 400);
    EXPECT_GE(Rhythm::share(rhythm.gaps, rhythm.late), 99.0);
    EXPECT_EQ(page.failed, 0) << page.lastFailure;
    EXPECT_GE(run.seen.answers.size(), 150u);
    EXPECT_LT(page.slowestMs, kPromptMs);
    const auto ended = [&](const std::string& end) {
        return attack.ends.count(end) ? attack.ends.at(end) : 0;
    };
    EXPECT_GE(ended("slow 408") + ended("slow 503"), 8 + 50);
    EXPECT_GE(attack.ends.count("idle -") ? attack.ends.at("idle -") : 0, 40 + 100);
    for (const auto& [end, count] : attack.ends)
        EXPECT_TRUE(end == "slow 408" || end == "slow 503" || end == "idle -") << attack.endsText();
    EXPECT_EQ(attack.outOfTime, 0) << "held " << attack.shortest << " to " << attack.longest;

    // Memory and descriptors bounded, the endless body in play.
    EXPECT_GT(run.atEnd.peakRssKiB, 0);
    EXPECT_LT(run.atEnd.peakRssKiB, kPeakRssLimitKiB);
    EXPECT_LE(run.seen.descriptorsQuiet, kDescriptorLimit);
    EXPECT_LE(run.seen.descriptorsAttacked, kDescriptorLimit + run.seen.attackers);

    expectRestartArchivesNothingTwice(run);
}
