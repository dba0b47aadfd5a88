// Runs part of a test in a child process with restrictions the test itself must not carry:
// a small file-size limit (a disk that fills up mid-write) or an unprivileged user (a folder
// that cannot be written, even when the tests run as root).
#pragma once

#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrix::test {

// Runs `body` in a child; true when it returned true.
inline bool inChild(const std::function<bool()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        // The child has only the thread that forked; parallel work must not wait for others.
        setenv("KESTRIX_THREADS", "1", 1);
        bool ok = false;
        try {
            ok = body();
        } catch (...) {
            ok = false;
        }
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs `body` in a child and answers the text it returned.
inline std::string textFromChild(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    inChild([&] {
        ::close(fds[0]);
        const std::string text = body();
        return ::write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    });
    ::close(fds[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    return text;
}

// In a child: writes beyond `bytes` fail as on a full disk.
inline void limitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

// In a child: give up root, so that folder permissions apply.
inline void dropPrivileges() {
    if (geteuid() == 0) {
        (void)setgid(65534);
        (void)setuid(65534);
    }
}

} // namespace kestrix::test
