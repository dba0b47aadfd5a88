#include "core/watch/LinkSchedule.h"

#include <algorithm>

namespace kestrix {

LinkSchedule::LinkSchedule(std::chrono::seconds interval, Clock::time_point firstDue)
    : interval_(std::max(interval, std::chrono::seconds(1))), due_(firstDue) {}

std::chrono::seconds LinkSchedule::currentInterval() const {
    const std::chrono::seconds ceiling = std::max(interval_, kLongestBackOff);
    std::chrono::seconds backedOff = interval_;
    for (int i = 0; i < failures_ && backedOff < ceiling; ++i)
        backedOff *= 2;
    return std::min(backedOff, ceiling);
}

void LinkSchedule::succeeded(Clock::time_point now) {
    failures_ = 0;
    advance(now);
}

void LinkSchedule::failed(Clock::time_point now) {
    ++failures_;
    advance(now);
}

void LinkSchedule::streamLost(Clock::time_point now) {
    ++failures_;
    std::chrono::seconds pause{1};
    for (int i = 1; i < failures_ && pause < kLongestReconnect; ++i)
        pause *= 2;
    due_ = now + std::min(pause, kLongestReconnect);
}

void LinkSchedule::advance(Clock::time_point now) {
    due_ = std::max(due_ + currentInterval(), now);
}

} // namespace kestrix
