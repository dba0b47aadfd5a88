// Debian's Mosquitto broker, started for a test on a free loopback port with a configuration in a
// temporary folder: anonymous, or with a user and password file made by mosquitto_passwd, and
// optionally a second listener speaking TLS with a certificate chain made by `openssl` at start.
// It can be killed and started again on the same port, or paused (SIGSTOP) to play a broker that
// takes messages and acknowledges none. Messages are read back with mosquitto_sub.
#pragma once

#include "support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrix::test {

// A port nobody listens on at this moment, on 127.0.0.1.
inline int freeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(s);
    if (!bound)
        throw std::runtime_error("cannot find a free port on 127.0.0.1");
    return ntohs(address.sin_port);
}

inline bool acceptsConnections(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

// Quotes a word for the shell.
inline std::string shellWord(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct MosquittoOptions {
    std::string user; // with a password file when set
    std::string password;
    bool tls = false; // a second listener with TLS (tlsPort), its CA in caFile()
};

class MosquittoBroker {
public:
    using Options = MosquittoOptions;

    explicit MosquittoBroker(Options options = {}) : options_(std::move(options)), dir_("mqtt") {
        port_ = freeLoopbackPort();
        std::string config = "listener " + std::to_string(port_) + " 127.0.0.1\n";
        if (options_.tls) {
            makeCertificates();
            tlsPort_ = freeLoopbackPort();
            config += "listener " + std::to_string(tlsPort_) + " 127.0.0.1\n" + "cafile " +
                      dir_.file("ca.pem") + "\ncertfile " + dir_.file("server.pem") + "\nkeyfile " +
                      dir_.file("server.key") + "\n";
        }
        if (options_.user.empty()) {
            config += "allow_anonymous true\n";
        } else {
            const std::string file = dir_.file("passwords");
            const CommandResult made =
                runCommand("mosquitto_passwd -c -b " + shellWord(file) + " " +
                           shellWord(options_.user) + " " + shellWord(options_.password) + " 2>&1");
            if (made.status != 0)
                throw std::runtime_error("mosquitto_passwd failed: " + made.out);
            config += "allow_anonymous false\npassword_file " + file + "\n";
        }
        // Retained messages live only as long as the broker: a restart loses them.
        config += "persistence false\nuser root\nlog_dest file " + dir_.file("broker.log") +
                  "\nlog_type error\nlog_type warning\n";
        writeFile(dir_.file("mosquitto.conf"), config);
        start();
    }
    ~MosquittoBroker() { kill(); }
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    int tlsPort() const { return tlsPort_; }
    std::string caFile() const { return dir_.file("ca.pem"); }

    // Starts the broker (again), on the same ports, and waits until it takes connections.
    void start() {
        std::string program = "/usr/sbin/mosquitto";
        std::string flag = "-c";
        std::string config = dir_.file("mosquitto.conf");
        char* argv[] = {program.data(), flag.data(), config.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error("cannot start /usr/sbin/mosquitto");
        for (int i = 0; i < 500; ++i) {
            if (acceptsConnections(port_) && (tlsPort_ == 0 || acceptsConnections(tlsPort_)))
                return;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                throw std::runtime_error("mosquitto ended at start: " +
                                         readFile(dir_.file("broker.log")));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        throw std::runtime_error("mosquitto does not take connections on its port");
    }

    // SIGKILL: the broker ends at once, its clients' connections with it.
    void kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
    }
    void pause() { ::kill(pid_, SIGSTOP); }
    void resume() { ::kill(pid_, SIGCONT); }

    // The retained message of `topic`, or nothing when the broker holds none.
    std::optional<std::string> retained(const std::string& topic) const {
        const CommandResult r = runCommand(sub() + " -N --retained-only -C 1 -W 1 -t " +
                                           shellWord(topic) + " 2>/dev/null");
        if (r.status != 0)
            return std::nullopt;
        return r.out;
    }

    // Waits until `topic` holds `expected` (giving up after 20 s); the last payload seen.
    std::optional<std::string> awaitRetained(const std::string& topic,
                                             const std::string& expected) const {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::optional<std::string> seen;
        while (std::chrono::steady_clock::now() < giveUp) {
            seen = retained(topic);
            if (seen == expected)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return seen;
    }

    // "TOPIC PAYLOAD" lines of the retained messages under `filter`, once `count` have come.
    CommandResult retainedLines(const std::string& filter, int count) const {
        return runCommand(sub() + " -v --retained-only -C " + std::to_string(count) + " -W 5 -t " +
                          shellWord(filter) + " 2>/dev/null");
    }

    // mosquitto_sub with the address and, for a broker with a password, its login.
    std::string sub() const {
        std::string command = "mosquitto_sub -h 127.0.0.1 -p " + std::to_string(port_);
        if (!options_.user.empty())
            command += " -u " + shellWord(options_.user) + " -P " + shellWord(options_.password);
        return command;
    }

private:
    void makeCertificates() {
        const std::string d = shellWord(dir_.path());
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        const CommandResult made = runCommand(
            "cd " + d + " && openssl req -x509" + ec +
            " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Kestrix Test MQTT CA'"
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign"
            " 2>&1 && openssl req" +
            ec +
            " -keyout server.key -out server.csr -subj /CN=localhost 2>&1 && "
            "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > san.ext && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
            "-out server.pem -days 2 -extfile san.ext 2>&1");
        if (made.status != 0)
            throw std::runtime_error("openssl failed: " + made.out);
    }

    Options options_;
    TempDir dir_;
    int port_ = 0;
    int tlsPort_ = 0;
    pid_t pid_ = 0;
};

} // namespace kestrix::test
