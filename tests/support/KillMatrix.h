// Kills a save at each of its steps: the save runs in a child process that SIGKILLs itself at its
// first, then second, ... file step (every write piece, link and rename of the crash-safe writers),
// until one run gets through every step. After each killed run the test looks at what was left.
#pragma once

#include "core/util/AtomicFile.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrix::test {

inline int& stepsBeforeKill() {
    static int steps = 0;
    return steps;
}

inline void killAtCountedStep() {
    if (--stepsBeforeKill() == 0)
        ::raise(SIGKILL);
}

// Answers the number of steps of a whole save; `afterKill(step)` runs after the run killed at
// `step`. A save that fails in any other way fails the test.
inline int killAtEveryStep(const std::function<void()>& save,
                           const std::function<void(int step)>& afterKill) {
    constexpr int kMaxSteps = 2000;
    for (int step = 1; step <= kMaxSteps; ++step) {
        const pid_t pid = fork();
        if (pid == 0) {
            // The child has only the thread that forked; parallel work must not wait for others.
            setenv("KESTRIX_THREADS", "1", 1);
            stepsBeforeKill() = step;
            setFileStepHook(killAtCountedStep);
            try {
                save();
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return step - 1;
        if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) {
            ADD_FAILURE() << "the save failed at step " << step;
            return step;
        }
        afterKill(step);
    }
    ADD_FAILURE() << "the save never ended";
    return kMaxSteps;
}

} // namespace kestrix::test
