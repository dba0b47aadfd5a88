// Sets KESTRIX_THREADS for the life of the object, so that a test can run parallel work on a
// given number of threads and compare the outcomes.
#pragma once

#include <cstdlib>

namespace kestrix::test {

class ThreadsSetting {
public:
    explicit ThreadsSetting(const char* value) { setenv("KESTRIX_THREADS", value, 1); }
    ~ThreadsSetting() { unsetenv("KESTRIX_THREADS"); }
    ThreadsSetting(const ThreadsSetting&) = delete;
    ThreadsSetting& operator=(const ThreadsSetting&) = delete;
};

} // namespace kestrix::test
