// Debian's nginx on a free loopback port, for behaviour of a real web server that a scripted one
// would only imitate (relative redirects with "absolute_redirect off", its error pages). It runs
// in the foreground as the test's child, with every file it writes in its own temporary folder,
// and is stopped when the object goes.
#pragma once

#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrix::test {

class NginxServer {
public:
    // `serverBlock`: directives inside the server block besides listen and root ("location ...").
    explicit NginxServer(const std::string& serverBlock) : dir_("nginx") {
        std::filesystem::create_directories(dir_.file("root"));
        port_ = freePort();
        std::ofstream(dir_.file("nginx.conf"))
            << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            << "error_log " << dir_.file("error.log") << ";\npid " << dir_.file("nginx.pid")
            << ";\nevents { worker_connections 64; }\nhttp {\n  access_log off;\n"
            << "  client_body_temp_path " << dir_.file("body") << ";\n"
            << "  proxy_temp_path " << dir_.file("proxy") << ";\n"
            << "  fastcgi_temp_path " << dir_.file("fastcgi") << ";\n"
            << "  uwsgi_temp_path " << dir_.file("uwsgi") << ";\n"
            << "  scgi_temp_path " << dir_.file("scgi") << ";\n"
            << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << dir_.file("root")
            << ";\n"
            << serverBlock << "\n  }\n}\n";
        std::vector<std::string> args = {"/usr/sbin/nginx", "-c", dir_.file("nginx.conf"), "-p",
                                         dir_.path()};
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error(
                "cannot start /usr/sbin/nginx (scripts/bootstrap installs it)");
        waitUntilListening();
    }
    ~NginxServer() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // A file served at "/" + name.
    std::string file(const std::string& name) const { return dir_.file("root/" + name); }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    static int freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                           ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        ::close(fd);
        if (!bound)
            throw std::runtime_error("cannot find a free port on 127.0.0.1");
        return ntohs(address.sin_port);
    }

    void waitUntilListening() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<uint16_t>(port_));
            const bool up =
                ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            if (up)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        throw std::runtime_error("nginx did not start; see " + dir_.file("error.log"));
    }

    TempDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

} // namespace kestrix::test
