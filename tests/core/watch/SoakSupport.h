// What the soak test of the watcher stands on: child processes that die with the test (the watcher,
// the camera fleet of tests/support/fleet_server.py, the slow-loris attacker), a timed client for
// the status page, readings of a process's memory and descriptors from /proc, and small readers of
// the watcher's JSON log and the fleet's log.
#pragma once

#include "core/util/AtomicFile.h"
#include "core/watch/PictureArchive.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace kestrix::test {

// Seconds on CLOCK_MONOTONIC, the clock the fleet's log uses (Python's time.monotonic).
inline double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A program run as a child of the test. It is killed with SIGKILL when this object goes, and by
// the kernel when the test process dies, so that no camera or watcher outlives a failed test.
// Standard input is a pipe the test may write to (closing it ends the fleet's servers); standard
// output goes to a file or, with `outputPipe`, to a pipe the test reads lines from.
class ChildProcess {
public:
    struct Options {
        std::string stdoutFile; // empty: a pipe, see readLine
        std::string stderrFile = "/dev/null";
    };

    ChildProcess(const std::vector<std::string>& args, const Options& options) {
        int input[2], output[2] = {-1, -1};
        if (pipe2(input, O_CLOEXEC) != 0 ||
            (options.stdoutFile.empty() && pipe2(output, O_CLOEXEC) != 0))
            throw std::runtime_error("pipe failed");
        const int out = options.stdoutFile.empty()
                            ? output[1]
                            : ::open(options.stdoutFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err =
            ::open(options.stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec: the test has other threads.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(input[0], 0);
            dup2(out, 1);
            dup2(err, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(input[0]);
        ::close(err);
        if (options.stdoutFile.empty())
            output_ = output[0];
        ::close(out);
        input_ = input[1];
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
    }
    ~ChildProcess() {
        if (input_ >= 0)
            ::close(input_);
        if (output_ >= 0)
            ::close(output_);
        if (running()) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !status_; }

    void signal(int number) {
        if (running())
            ::kill(pid_, number);
    }
    // The exit status (as waitpid gives it) once the child has ended within `limit`.
    std::optional<int> waitFor(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (running()) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_ || (done < 0 && errno == ECHILD))
                status_ = status;
            else if (std::chrono::steady_clock::now() > end)
                return std::nullopt;
            else
                usleep(10000);
        }
        return status_;
    }
    void writeLine(const std::string& line) {
        const std::string text = line + "\n";
        if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot write to the child");
    }
    // One line of the child's output pipe, or nothing within `limit`.
    std::optional<std::string> readLine(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        std::string line;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{output_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char c = 0;
            if (::read(output_, &c, 1) != 1)
                return std::nullopt;
            if (c == '\n')
                return line;
            line += c;
        }
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::optional<int> status_;
};

// A camera server of fleet_server.py, listening once the constructor returns.
class FleetServer {
public:
    FleetServer(const std::string& log, const std::string& served, const std::string& errors,
                int port = 0, int generation = 0)
        : child_({"/usr/bin/python3", std::string(KESTRIX_TEST_SUPPORT) + "/fleet_server.py",
                  "serve", "--log", log, "--served", served, "--port", std::to_string(port),
                  "--generation", std::to_string(generation)},
                 {"", errors}) {
        const std::optional<std::string> ready = child_.readLine(std::chrono::seconds(20));
        if (!ready || ready->rfind("ready ", 0) != 0)
            throw std::runtime_error("the camera fleet did not start; see " + errors);
        port_ = std::stoi(ready->substr(6));
    }
    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    void command(const std::string& line) { child_.writeLine(line); }
    ChildProcess& process() { return child_; }

private:
    ChildProcess child_;
    int port_ = 0;
};

inline int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(a.sin_port);
}

struct PageAnswer {
    int status = 0; // 0: no answer within the limit
    double ms = 0;
    std::string body;
};

// GET `path` from 127.0.0.1:`port` as a browser would, with everything (connect included) within
// `limit`.
inline PageAnswer timedPageGet(int port, const std::string& path, std::chrono::milliseconds limit) {
    PageAnswer answer;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + limit;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const auto waitFor = [&](short events) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, events, 0};
        return left.count() > 0 && poll(&p, 1, static_cast<int>(left.count())) > 0;
    };
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 || errno == EINPROGRESS) {
        const std::string request =
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (waitFor(POLLOUT) && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                                    static_cast<ssize_t>(request.size())) {
            char buffer[16384];
            while (waitFor(POLLIN)) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                reply.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    ::close(fd);
    answer.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const size_t bodyStart = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.", 0) == 0 && bodyStart != std::string::npos &&
        std::chrono::steady_clock::now() <= end) {
        answer.status = std::atoi(reply.c_str() + 9);
        answer.body = reply.substr(bodyStart + 4);
    }
    return answer;
}

// A process's memory and descriptors as /proc shows them now; zeros once it is gone.
struct ProcessReading {
    int64_t rssKiB = 0;
    int64_t peakRssKiB = 0;
    int descriptors = 0;
};

inline ProcessReading readProcess(pid_t pid) {
    ProcessReading r;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            r.rssKiB = std::atoll(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            r.peakRssKiB = std::atoll(line.c_str() + 6);
    }
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end;
         !ec && it != end; it.increment(ec))
        ++r.descriptors;
    return r;
}

// The value of `field` in one line of the watcher's JSON log: a string unescaped, or a number as
// written; nothing when the line has no such field. Enough JSON for what the log writes.
inline std::optional<std::string> jsonField(const std::string& line, const std::string& field) {
    const std::string key = "\"" + field + "\":";
    const size_t at = line.find(key);
    if (at == std::string::npos)
        return std::nullopt;
    size_t i = at + key.size();
    std::string value;
    if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                if (e == 'u' && i + 4 < line.size()) {
                    value += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
                    i += 4;
                } else {
                    value += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                }
            } else {
                value += line[i];
            }
        }
        return value;
    }
    while (i < line.size() && line[i] != ',' && line[i] != '}')
        value += line[i++];
    return value;
}

inline std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// "h07" from "/pic/h07.jpg?every=3".
inline std::string cameraOfPath(const std::string& path) {
    const size_t slash = path.rfind('/', path.find('?'));
    return path.substr(slash + 1, path.find('.', slash) - slash - 1);
}

// What the fleet's logs (fleet_server.py serve --log) say: when each camera was asked, and when
// each of its pictures was first sent whole.
struct FleetLog {
    std::map<std::string, std::vector<double>> requests;        // by camera, in order
    std::map<std::string, std::map<int64_t, double>> firstSent; // camera, serial: when
};

inline FleetLog readFleetLog(const std::vector<std::string>& files) {
    FleetLog log;
    for (const std::string& file : files) {
        for (const std::string& line : fileLines(file)) {
            std::istringstream words(line);
            double time = 0;
            std::string event, path;
            words >> time >> event >> path;
            if (event == "req") {
                log.requests[cameraOfPath(path)].push_back(time);
            } else if (event == "sent") {
                int status = 0;
                int64_t serial = -1;
                words >> status >> serial;
                auto& first = log.firstSent[cameraOfPath(path)];
                if (!first.count(serial))
                    first[serial] = time;
            }
        }
    }
    for (auto& [camera, times] : log.requests)
        std::sort(times.begin(), times.end());
    return log;
}

// Every distinct picture each camera sent, by its bytes.
using ServedPictures = std::map<std::string, std::unordered_map<std::string, int64_t>>;

inline ServedPictures readServed(const std::string& folder) {
    ServedPictures served;
    for (const auto& camera : std::filesystem::directory_iterator(folder))
        for (const auto& file : std::filesystem::directory_iterator(camera.path()))
            served[camera.path().filename().string()][readFile(file.path().string())] =
                std::stoll(file.path().stem().string());
    return served;
}

// The watcher's JSON log: per link the files of its "new" lines, its errors and its duplicates;
// retention's lines; other events; and any line that is none of those.
struct WatchLog {
    std::map<std::string, std::vector<std::string>> newFiles; // by link
    std::map<std::string, std::vector<std::string>> errors;
    std::map<std::string, int> duplicates;
    std::vector<std::string> retentionLines;
    std::vector<std::string> events; // other notices of the watch, such as a camera going down
    uint64_t deletedFiles = 0;
    std::vector<std::string> unreadable;
};

inline WatchLog readWatchLog(const std::string& file) {
    WatchLog log;
    for (const std::string& line : fileLines(file)) {
        if (line.empty())
            continue;
        if (line.find("\"retention\":{") != std::string::npos) {
            log.retentionLines.push_back(line);
            log.deletedFiles += std::stoull(jsonField(line, "deleted_files").value_or("0"));
            continue;
        }
        const bool whole = line.front() == '{' && line.back() == '}';
        if (whole && line.find("\"event\":") != std::string::npos) {
            log.events.push_back(line);
            continue;
        }
        const auto link = jsonField(line, "link");
        const std::string status = jsonField(line, "status").value_or("");
        if (whole && link && status == "new")
            log.newFiles[*link].push_back(jsonField(line, "file").value_or(""));
        else if (whole && link && status == "duplicate")
            ++log.duplicates[*link];
        else if (whole && link && status == "error")
            log.errors[*link].push_back(jsonField(line, "error").value_or(""));
        else
            log.unreadable.push_back(line);
    }
    return log;
}

// The pictures of an archive whose links all lie at its top (DIR/<link>/<picture>), by link, names
// sorted (that is by time), with their bytes; and the temporary files found anywhere in it, which
// a watch that writes every file whole or not at all never leaves.
struct Archive {
    std::map<std::string, std::vector<std::string>> pictures;
    std::map<std::string, std::string> bytesOf; // by "link/name"
    std::vector<std::string> strays;
    uint64_t bytes = 0;
    size_t count() const { return bytesOf.size(); }
};

inline Archive readArchive(const std::string& root) {
    namespace fs = std::filesystem;
    Archive archive;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        const fs::path relative = fs::relative(entry.path(), root);
        if (!entry.is_regular_file())
            continue;
        if (isAtomicTemporaryName(name)) {
            archive.strays.push_back(relative.string());
        } else if (std::distance(relative.begin(), relative.end()) == 2 &&
                   relative.begin()->string().front() != '.' && isArchivePictureName(name)) {
            const std::string link = relative.begin()->string();
            archive.pictures[link].push_back(name);
            archive.bytesOf[link + "/" + name] = readFile(entry.path().string());
            archive.bytes += entry.file_size();
        }
    }
    for (auto& entry : archive.pictures)
        std::sort(entry.second.begin(), entry.second.end());
    return archive;
}

} // namespace kestrix::test
