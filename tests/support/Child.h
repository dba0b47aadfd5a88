// Runs part of a test in a child process with restrictions the test itself must not carry:
// a small file-size limit (a disk that fills up mid-write) or an unprivileged user (a folder
// that cannot be written, even when the tests run as root).
#pragma once

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrix::test {

// Runs `body` in a child; true when it returned true.
inline bool inChild(const std::function<bool()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
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
