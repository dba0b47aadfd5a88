// Decides when one watched transfer has had its share, so that no camera can hold a fetching
// slot for good: a deadline on the whole fetch, the time-out without a byte, and a least rate
// over a sliding window that a trickle of a byte every few seconds cannot meet.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace kestrix {

struct TransferLimits {
    std::chrono::seconds deadline{60}; // the whole fetch, from the start
    std::chrono::seconds silence{60};  // without a byte of the body
    int64_t minBytesPerSecond = 1024;  // over `rateWindow` once the body has begun; 0: none
    std::chrono::seconds rateWindow{10};
};

// The deadline of a link's fetches: `chosen` when given, else the link's interval, at least
// 10 s, at most the time-out.
std::chrono::seconds fetchDeadline(std::chrono::seconds interval, std::chrono::seconds timeout,
                                   std::optional<std::chrono::seconds> chosen);

class TransferGuard {
public:
    using Clock = std::chrono::steady_clock;

    TransferGuard(const TransferLimits& limits, Clock::time_point start);

    // Why the transfer should end at `now`, given the body bytes received so far and the length
    // the response announced; empty while it may go on. Call it often: it keeps its own samples.
    std::string check(Clock::time_point now, int64_t bytes, std::optional<int64_t> length);

private:
    std::string tooSlow(Clock::time_point now, int64_t bytes);

    TransferLimits limits_;
    Clock::time_point start_;
    Clock::time_point lastProgress_;
    int64_t lastBytes_ = 0;
    std::optional<Clock::time_point> bodyStart_;
    // (time, bytes) at most every quarter second over the last window.
    std::deque<std::pair<Clock::time_point, int64_t>> samples_;
};

} // namespace kestrix
