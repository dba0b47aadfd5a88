// Sunrise and sunset at a place, by NOAA's solar calculator equations (sun position from the
// Julian century, refraction and the sun's radius folded into a 90.833 degree zenith). Good to
// about a minute away from the polar circles; times are UTC instants.
#pragma once

#include <ctime>
#include <optional>

namespace kestrix {

struct SunTimes {
    // None on a day the sun does not cross the horizon.
    std::optional<std::time_t> sunrise;
    std::optional<std::time_t> sunset;
    std::time_t solarNoon = 0;
    bool allDay = false;   // the sun never sets
    bool allNight = false; // the sun never rises
};

// The day at `latitude`, `longitude` (degrees, north and east positive) whose solar noon falls
// on the given date there: east of Greenwich its sunrise may be the evening before in UTC.
SunTimes sunTimes(double latitude, double longitude, int year, int month, int day);

} // namespace kestrix
