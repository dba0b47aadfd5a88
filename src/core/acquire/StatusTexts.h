// The texts of the status bar and of the time data fields.
#pragma once

#include "core/util/DateTime.h"
#include "core/util/FormatSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {

// Minutes and seconds of the time-of-day part of a span: 0:07, 12:34, 75:02.
std::string formatAge(double spanDays);
// ". " repeated (n mod 10) times.
std::string loadingDots(int32_t n);
// Up to 1048576 the count in decimal; above it mebibytes with three decimals and " m".
std::string byteCountText(int64_t n, const FormatSettings& fs);
// "Loading Data " + ticks + " " + dots.
std::string loadingText(int32_t loadTicks);
// "Timed out after N s without data": how the watchers report a transfer given up for silence.
std::string timedOutText(int seconds);
// H:MM:SS without a leading zero hour (7:05:09, 14:05:09).
std::string utcTimeText(DateTime utc);

// A span as hours (only when not 0), minutes and seconds: 01:15, 1:02:05, 00:00.
std::string formatSpan(double spanDays);
// formatSpan of the absolute span, or "" for none.
std::string spanText(std::optional<double> spanDays);
// Frames loaded from a frames file or a GIF have no time (0). Intervals involving one are none
// and left out of the average.
// Mean absolute interval between neighbouring timestamps, in days; 0 for fewer than two, none
// when no neighbouring pair has both times.
std::optional<double> averageInterval(const std::vector<DateTime>& times);
// The interval shown for frame i: to the previous frame, else to the next, else 0.
std::optional<double> frameInterval(const std::vector<DateTime>& times, size_t i);

// Milliseconds between frames at `fps`, rounded to the nearest, ties to even.
int playbackDelayMs(double fps);

} // namespace kestrix
