// The time sources of the core. Code that reads the time takes a Clock so tests can fix it.
#pragma once

#include "core/util/DateTime.h"

#include <cstdint>

namespace kestrix {

class Clock {
public:
    virtual ~Clock() = default;
    virtual DateTime now() const = 0;          // local time
    virtual DateTime utcNow() const = 0;       // UTC, millisecond resolution
    virtual uint64_t milliseconds() const = 0; // monotonic millisecond counter
};

class SystemClock final : public Clock {
public:
    DateTime now() const override;
    DateTime utcNow() const override;
    uint64_t milliseconds() const override;
};

// A clock that stands still until a test moves it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(DateTime utc = 0, double localOffsetHours = 0)
        : utc_(utc), offsetDays_(localOffsetHours / 24.0) {}
    DateTime now() const override { return utc_ + offsetDays_; }
    DateTime utcNow() const override { return utc_; }
    uint64_t milliseconds() const override { return ms_; }
    void setUtc(DateTime utc) { utc_ = utc; }
    void advanceMs(uint64_t ms) {
        ms_ += ms;
        utc_ += static_cast<double>(ms) / kMsPerDay;
    }

private:
    DateTime utc_;
    double offsetDays_;
    uint64_t ms_ = 0;
};

} // namespace kestrix
