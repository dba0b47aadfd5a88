#include "core/util/Clock.h"

#include <chrono>

namespace kestrix {

DateTime SystemClock::now() const {
    return fromSystemTimeLocal(std::chrono::system_clock::now());
}

DateTime SystemClock::utcNow() const {
    return fromSystemTimeUtc(std::chrono::system_clock::now());
}

uint64_t SystemClock::milliseconds() const {
    auto d = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

} // namespace kestrix
