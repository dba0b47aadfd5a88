#include "core/watch/TransferGuard.h"

#include "core/acquire/StatusTexts.h"

#include <algorithm>

namespace kestrix {

namespace {

constexpr std::chrono::milliseconds kSampleEvery{250};
constexpr std::chrono::seconds kShortestDeadline{10};

std::string rateText(int64_t bytesPerSecond) {
    if (bytesPerSecond % 1024 == 0)
        return std::to_string(bytesPerSecond / 1024) + " KiB/s";
    return std::to_string(bytesPerSecond) + " bytes/s";
}

} // namespace

std::chrono::seconds fetchDeadline(std::chrono::seconds interval, std::chrono::seconds timeout,
                                   std::optional<std::chrono::seconds> chosen) {
    if (chosen)
        return *chosen;
    return std::min(std::max(interval, kShortestDeadline), timeout);
}

TransferGuard::TransferGuard(const TransferLimits& limits, Clock::time_point start)
    : limits_(limits), start_(start), lastProgress_(start) {}

std::string TransferGuard::check(Clock::time_point now, int64_t bytes,
                                 std::optional<int64_t> length) {
    if (bytes != lastBytes_) {
        lastBytes_ = bytes;
        lastProgress_ = now;
        if (!bodyStart_)
            bodyStart_ = now;
    }
    // No byte at all for the time-out says more than the deadline that falls with it.
    if (now - lastProgress_ >= limits_.silence)
        return timedOutText(static_cast<int>(limits_.silence.count()));
    if (now - start_ >= limits_.deadline) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limits_.deadline);
        return "Gave up after " + std::to_string(seconds.count()) + " s (" + std::to_string(bytes) +
               (length ? " of " + std::to_string(*length) : std::string()) + " bytes)";
    }
    return tooSlow(now, bytes);
}

std::string TransferGuard::tooSlow(Clock::time_point now, int64_t bytes) {
    if (limits_.minBytesPerSecond <= 0 || !bodyStart_)
        return {};
    if (samples_.empty() || now - samples_.back().first >= kSampleEvery)
        samples_.emplace_back(now, bytes);
    while (samples_.size() > 1 && now - samples_[1].first >= limits_.rateWindow)
        samples_.pop_front();
    // A whole window of the body is needed before its rate says anything.
    if (now - *bodyStart_ < limits_.rateWindow || now - samples_.front().first < limits_.rateWindow)
        return {};
    const int64_t received = bytes - samples_.front().second;
    if (received >= limits_.minBytesPerSecond * limits_.rateWindow.count())
        return {};
    return "Too slow: " + std::to_string(received) + " bytes in the last " +
           std::to_string(limits_.rateWindow.count()) + " s (at least " +
           rateText(limits_.minBytesPerSecond) + " expected)";
}

} // namespace kestrix
