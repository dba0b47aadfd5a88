#include "core/acquire/StatusTexts.h"

#include "core/util/Text.h"

#include <cmath>
#include <cstdio>

namespace kestrix {

namespace {

// Whole seconds of the time-of-day part of a span (whole days and fractions dropped).
int64_t daySeconds(double spanDays) {
    const TimeParts t = decodeTime(spanDays);
    return t.hour * 3600 + t.minute * 60 + t.second;
}

} // namespace

std::string formatAge(double spanDays) {
    const int64_t s = daySeconds(spanDays);
    return strPrintf("%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
}

std::string loadingDots(int32_t n) {
    std::string dots;
    const int32_t count = n % 10 < 0 ? -(n % 10) : n % 10;
    for (int32_t i = 0; i < count; ++i)
        dots += ". ";
    return dots;
}

std::string byteCountText(int64_t n, const FormatSettings& fs) {
    if (n <= 1048576)
        return std::to_string(n);
    return floatToStrFixed(static_cast<double>(n) / 1048576.0, 3, fs) + " m";
}

std::string loadingText(int32_t loadTicks) {
    return "Loading Data " + std::to_string(loadTicks) + " " + loadingDots(loadTicks);
}

std::string timedOutText(int seconds) {
    return "Timed out after " + std::to_string(seconds) + " s without data";
}

std::string utcTimeText(DateTime utc) {
    const TimeParts t = decodeTime(utc);
    return strPrintf("%d:%02d:%02d", t.hour, t.minute, t.second);
}

std::string formatSpan(double spanDays) {
    const TimeParts t = decodeTime(spanDays);
    std::string text = t.hour != 0 ? std::to_string(t.hour) + ":" : "";
    return text + strPrintf("%02d:%02d", t.minute, t.second);
}

std::string spanText(std::optional<double> spanDays) {
    return spanDays ? formatSpan(std::fabs(*spanDays)) : "";
}

std::optional<double> averageInterval(const std::vector<DateTime>& times) {
    if (times.size() < 2)
        return 0.0;
    double sum = 0;
    int pairs = 0;
    for (size_t k = 0; k + 1 < times.size(); ++k)
        if (times[k] != 0 && times[k + 1] != 0) {
            sum += std::fabs(times[k + 1] - times[k]);
            ++pairs;
        }
    if (pairs == 0)
        return std::nullopt;
    return sum / pairs;
}

std::optional<double> frameInterval(const std::vector<DateTime>& times, size_t i) {
    size_t from = i;
    size_t to = i;
    if (i > 0 && i < times.size())
        from = i - 1;
    else if (i + 1 < times.size())
        to = i + 1;
    else
        return 0.0;
    if (times[from] == 0 || times[to] == 0)
        return std::nullopt;
    return times[to] - times[from];
}

int playbackDelayMs(double fps) {
    return static_cast<int>(std::nearbyint(1000.0 / fps));
}

} // namespace kestrix
