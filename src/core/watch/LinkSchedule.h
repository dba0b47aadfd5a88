// When a watched link is fetched next. A link keeps its rhythm: each fetch is due one interval
// after the one before, and one that overran starts at once. A link that fails backs off: its
// interval doubles with every failure in a row, up to 30 minutes (a longer interval of its own
// stays), and the first success brings the rhythm back, so that dead cameras cost little. A stream
// kept open that was lost is opened again sooner: 1 s after the failure, doubling up to a minute.
#pragma once

#include <chrono>

namespace kestrix {

class LinkSchedule {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kLongestBackOff{30 * 60};
    static constexpr std::chrono::seconds kLongestReconnect{60};

    // `interval` below one second counts as one second.
    LinkSchedule(std::chrono::seconds interval, Clock::time_point firstDue);

    Clock::time_point due() const { return due_; }
    int failuresInARow() const { return failures_; }
    // The interval the next fetch waits, backed off after failures.
    std::chrono::seconds currentInterval() const;

    // The fetch that was due has ended at `now`.
    void succeeded(Clock::time_point now);
    void failed(Clock::time_point now);
    // The fetch failed because the stream kept open was lost: the next one reconnects after the
    // stream's pause (1 s, doubling with each failure in a row, up to kLongestReconnect).
    void streamLost(Clock::time_point now);
    // A link held back outside its capture hours: its rhythm starts again at `due`.
    void resumeAt(Clock::time_point due) { due_ = due; }

private:
    void advance(Clock::time_point now);

    std::chrono::seconds interval_;
    Clock::time_point due_;
    int failures_ = 0;
};

} // namespace kestrix
