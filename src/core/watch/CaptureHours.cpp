#include "core/watch/CaptureHours.h"

#include "core/util/DateTime.h"
#include "core/util/Error.h"
#include "core/util/Text.h"
#include "core/watch/SunTimes.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrix {

namespace {

constexpr long long kDay = 86400;
// Long enough for the longest polar night with a month to spare.
constexpr long long kSearchDays = 400;
// Days whose solar noons drift apart by up to half a minute would leave gaps in a polar day.
constexpr std::time_t kPolarDayOverlap = 60;

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// "7:05" or "07:05" as seconds since midnight; "24:00" only where a range ends.
std::optional<int> parseClock(std::string_view text, bool ending) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    if (!std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ':' || (c >= '0' && c <= '9'); }))
        return std::nullopt;
    const int hour = std::stoi(std::string(text.substr(0, colon)));
    const int minute = std::stoi(std::string(text.substr(colon + 1)));
    if (minute > 59 || hour > 24 || (hour == 24 && (minute != 0 || !ending)))
        return std::nullopt;
    return hour * 3600 + minute * 60;
}

HourRange parseHourRange(std::string_view text) {
    const std::string_view range = trimView(text);
    const std::string wanted = "takes HH:MM-HH:MM ranges, not ";
    const size_t dash = range.find('-');
    if (range.empty())
        throw Error(wanted + "an empty one");
    if (dash == std::string_view::npos)
        throw Error(wanted + std::string(range));
    const auto start = parseClock(trimView(range.substr(0, dash)), false);
    const auto end = parseClock(trimView(range.substr(dash + 1)), true);
    if (!start || !end)
        throw Error(wanted + std::string(range));
    if (*start == *end)
        throw Error(wanted + std::string(range) +
                    " (a range that ends where it starts is empty; the whole day is 00:00-24:00)");
    return {*start, *end};
}

std::optional<double> parseDegrees(std::string_view text) {
    text = trimView(text);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The daylight of the sun's day `day` (days since 1970-01-01) as [from, to); empty when the sun
// does not rise.
std::pair<std::time_t, std::time_t> daylightOf(const Place& place, long long day) {
    const DateParts date = decodeDate(static_cast<DateTime>(day + daysFromCivil(1970, 1, 1)));
    const SunTimes sun = sunTimes(place.latitude, place.longitude, date.year, date.month, date.day);
    if (sun.allDay)
        return {sun.solarNoon - kDay / 2 - kPolarDayOverlap,
                sun.solarNoon + kDay / 2 + kPolarDayOverlap};
    if (sun.allNight)
        return {0, 0};
    return {*sun.sunrise, *sun.sunset};
}

} // namespace

long machineUtcOffset(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}

std::vector<HourRange> parseHourRanges(std::string_view text) {
    std::vector<HourRange> ranges;
    for (size_t from = 0;;) {
        const size_t comma = text.find(',', from);
        ranges.push_back(parseHourRange(text.substr(from, comma - from)));
        if (comma == std::string_view::npos)
            return ranges;
        from = comma + 1;
    }
}

Place parseDaylightPlace(std::string_view text) {
    const size_t comma = text.find(',');
    const auto latitude = parseDegrees(text.substr(0, comma));
    const auto longitude =
        comma == std::string_view::npos ? std::nullopt : parseDegrees(text.substr(comma + 1));
    if (!latitude || !longitude || std::abs(*latitude) > 90 || std::abs(*longitude) > 180)
        throw Error("takes LAT,LON in degrees (latitude from -90 to 90, longitude from -180 to "
                    "180), not " +
                    std::string(text));
    return {*latitude, *longitude};
}

CaptureHours::CaptureHours(std::vector<HourRange> ranges, std::optional<Place> daylight,
                           UtcOffset offset)
    : ranges_(std::move(ranges)), daylight_(daylight), offset_(std::move(offset)) {}

CaptureHours CaptureHours::parse(const std::vector<std::string>& ranges,
                                 const std::string& daylight, UtcOffset offset) {
    std::vector<HourRange> all;
    for (const std::string& text : ranges) {
        try {
            const std::vector<HourRange> some = parseHourRanges(text);
            all.insert(all.end(), some.begin(), some.end());
        } catch (const Error& e) {
            throw Error("--hours " + std::string(e.what()));
        }
    }
    std::optional<Place> place;
    try {
        if (!daylight.empty())
            place = parseDaylightPlace(daylight);
    } catch (const Error& e) {
        throw Error("--daylight " + std::string(e.what()));
    }
    return CaptureHours(std::move(all), place, std::move(offset));
}

bool CaptureHours::open(std::time_t t) const {
    return inRanges(t) && inDaylight(t);
}

bool CaptureHours::inRanges(std::time_t t) const {
    if (ranges_.empty())
        return true;
    const long long local = static_cast<long long>(t) + offset_(t);
    const int second = static_cast<int>(local - floorDiv(local, kDay) * kDay);
    return std::any_of(ranges_.begin(), ranges_.end(), [second](const HourRange& r) {
        return r.start < r.end ? second >= r.start && second < r.end
                               : second >= r.start || second < r.end;
    });
}

bool CaptureHours::inDaylight(std::time_t t) const {
    if (!daylight_)
        return true;
    // A sun's day runs from solar midnight to solar midnight, up to about 12 hours either side of
    // its UTC date: the days before and after may hold `t`.
    const long long day = floorDiv(t, kDay);
    for (long long d = day - 1; d <= day + 1; ++d) {
        const auto [from, to] = daylightOf(*daylight_, d);
        if (t >= from && t < to)
            return true;
    }
    return false;
}

void CaptureHours::addOpeningsOfDay(long long day, std::vector<std::time_t>& out) const {
    if (daylight_) {
        const auto [from, to] = daylightOf(*daylight_, day);
        if (from < to)
            out.push_back(from);
    }
    if (ranges_.empty())
        return;
    // The local date `day` lies within these two instants. A range starts where the local time
    // passes its start under either offset the day has, or where the clocks jump into it.
    const std::time_t before = day * kDay - kDay;
    const std::time_t after = day * kDay + 2 * kDay;
    const long offsetBefore = offset_(before);
    const long offsetAfter = offset_(after);
    for (const HourRange& range : ranges_) {
        for (const long offset : {offsetBefore, offsetAfter}) {
            const std::time_t at = day * kDay + range.start - offset;
            if (offset_(at) == offset)
                out.push_back(at);
        }
    }
    if (offsetBefore != offsetAfter) {
        std::time_t low = before, high = after;
        while (high - low > 1) {
            const std::time_t middle = low + (high - low) / 2;
            (offset_(middle) == offsetBefore ? low : high) = middle;
        }
        out.push_back(high);
    }
}

std::optional<std::time_t> CaptureHours::nextOpening(std::time_t t) const {
    if (open(t))
        return t;
    // Openings of a day lie between the day before it and the end of the day after: those below
    // the end of `day + 1` are all known once the days up to `day + 3` are listed.
    const long long first = floorDiv(t, kDay);
    std::vector<std::time_t> openings;
    for (long long day = first - 2; day < first + kSearchDays; ++day) {
        openings.clear();
        for (long long d = day; d <= day + 3; ++d)
            addOpeningsOfDay(d, openings);
        std::sort(openings.begin(), openings.end());
        for (const std::time_t at : openings)
            if (at > t && at < (day + 2) * kDay && open(at))
                return at;
    }
    return std::nullopt;
}

} // namespace kestrix
