// The HTTPS test servers of tests/support/tls_server.py, started for a test: a trusted chain (also
// on [::1] as "good6"), an expired certificate, a wrong name, a missing intermediate, a
// self-signed certificate and a TLS 1.0-only server, each on its own loopback port, with
// certificates made at start.
#pragma once

#include "support/TempDir.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrix::test {

class TlsTestServer {
public:
    TlsTestServer() : dir_("tls") {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::string script = std::string(KESTRIX_TEST_SUPPORT) + "/tls_server.py";
        std::string folder = dir_.path();
        std::string python = "/usr/bin/python3";
        char* argv[] = {python.data(), script.data(), folder.data(), nullptr};
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        input_ = toChild[1];
        if (rc != 0)
            throw std::runtime_error("cannot start the TLS test server");
        FILE* out = fdopen(fromChild[0], "r");
        char line[1024] = {};
        const bool ready = out && std::fgets(line, sizeof line, out) != nullptr;
        if (out)
            std::fclose(out);
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (!ready || word != "ready")
            throw std::runtime_error("the TLS test server did not start");
        while (words >> word) {
            const size_t equals = word.find('=');
            ports_[word.substr(0, equals)] = std::stoi(word.substr(equals + 1));
        }
    }
    ~TlsTestServer() {
        ::close(input_); // the server ends when its input closes
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    // "https://HOST:PORT/PATH" of the server of that role.
    std::string url(const std::string& role, const std::string& path = "/img",
                    const std::string& host = "localhost") const {
        return "https://" + host + ":" + std::to_string(ports_.at(role)) + path;
    }
    int port(const std::string& role) const { return ports_.at(role); }
    std::string rootFile() const { return dir_.file("root.pem"); }
    std::string selfSignedPin() const {
        std::ifstream in(dir_.file("selfsigned.sha256"));
        std::string pin;
        in >> pin;
        return pin;
    }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int input_ = -1;
    std::map<std::string, int> ports_;
};

} // namespace kestrix::test
