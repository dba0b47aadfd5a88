#include "core/watch/SunTimes.h"

#include "core/util/DateTime.h"

#include <cmath>
#include <numbers>

namespace kestrix {

namespace {

constexpr double kJulianDayOfUnixEpoch = 2440587.5;
constexpr double kJulianDayOfJ2000 = 2451545.0;
// The sun's centre this far from the zenith is its upper edge on the horizon, after refraction.
constexpr double kHorizonZenith = 90.833;

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

double degrees(double radians) {
    return radians * 180 / std::numbers::pi;
}

struct SunPosition {
    double declination;    // degrees
    double equationOfTime; // minutes that apparent solar time runs ahead of mean time
};

SunPosition sunAt(double julianDay) {
    const double t = (julianDay - kJulianDayOfJ2000) / 36525; // Julian centuries since J2000
    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = radians(meanAnomaly);
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * m) * (0.019993 - 0.000101 * t) + std::sin(3 * m) * 0.000289;
    const double omega = radians(125.04 - 1934.136 * t);
    const double apparentLongitude = meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega);
    const double meanObliquity =
        23 + (26 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60) / 60;
    const double obliquity = radians(meanObliquity + 0.00256 * std::cos(omega));
    const double declination =
        degrees(std::asin(std::sin(obliquity) * std::sin(radians(apparentLongitude))));
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l0 = radians(meanLongitude);
    const double e = eccentricity;
    const double equation = y * std::sin(2 * l0) - 2 * e * std::sin(m) +
                            4 * e * y * std::sin(m) * std::cos(2 * l0) -
                            0.5 * y * y * std::sin(4 * l0) - 1.25 * e * e * std::sin(2 * m);
    return {declination, 4 * degrees(equation)};
}

// The cosine of the hour angle at which the sun stands on the horizon; above 1 it stays below
// all day, below -1 above.
double horizonHourAngleCosine(double latitude, double declination) {
    const double phi = radians(latitude);
    const double delta = radians(declination);
    return std::cos(radians(kHorizonZenith)) / (std::cos(phi) * std::cos(delta)) -
           std::tan(phi) * std::tan(delta);
}

} // namespace

SunTimes sunTimes(double latitude, double longitude, int year, int month, int day) {
    const auto unixDay = daysFromCivil(year, month, day) - daysFromCivil(1970, 1, 1);
    const double julianMidnight = kJulianDayOfUnixEpoch + static_cast<double>(unixDay);
    auto at = [&](double minutes) { return sunAt(julianMidnight + minutes / 1440); };
    auto instant = [&](double minutes) {
        return static_cast<std::time_t>(unixDay * 86400 + std::llround(minutes * 60));
    };
    // Minutes after UTC midnight. Each time is worked out again with the sun where it stands at
    // the first answer, as NOAA's calculator does: the declination moves in half a day.
    const double meanNoon = 720 - 4 * longitude;
    const double noon = meanNoon - at(meanNoon - at(meanNoon).equationOfTime).equationOfTime;
    SunTimes times;
    times.solarNoon = instant(noon);
    const double cosine = horizonHourAngleCosine(latitude, at(noon).declination);
    times.allNight = cosine > 1;
    times.allDay = cosine < -1;
    if (times.allDay || times.allNight)
        return times;
    auto event = [&](double side) {
        const double first = noon + side * 4 * degrees(std::acos(cosine));
        const SunPosition sun = at(first);
        const double again = horizonHourAngleCosine(latitude, sun.declination);
        if (std::abs(again) > 1)
            return first;
        return meanNoon - sun.equationOfTime + side * 4 * degrees(std::acos(again));
    };
    times.sunrise = instant(event(-1));
    times.sunset = instant(event(1));
    return times;
}

} // namespace kestrix
