// The limits and the arrow step that every number spin box shares, for its value type.
#pragma once

namespace kestrix {

template <typename T> class SpinLimits {
public:
    T minValue() const { return min_; }
    void setMinValue(T value) { min_ = value; }
    T maxValue() const { return max_; }
    void setMaxValue(T value) { max_ = value; }
    bool useLimit() const { return useLimit_; }
    void setUseLimit(bool on) { useLimit_ = on; }
    T increment() const { return increment_; }
    void setIncrement(T step) { increment_ = step; }

    // With the limits on, the maximum is tested first, so a range whose maximum lies below its
    // minimum gives the maximum.
    T clamp(T value) const {
        if (!useLimit_)
            return value;
        if (value >= max_)
            return max_;
        if (value < min_)
            return min_;
        return value;
    }

protected:
    T min_ = 0;
    T max_ = 0;
    T increment_ = 1;
    bool useLimit_ = false;
};

} // namespace kestrix
