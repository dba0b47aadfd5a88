// When a watch may fetch: daily ranges of local time (a range may pass midnight), the daylight
// at a place (sunrise to sunset), or the time that is in both. Outside them nothing is fetched.
// Local time comes from a function that gives the UTC offset at an instant, the machine's zone
// unless a test or a caller passes another.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// Seconds since local midnight; `end` below `start` passes midnight, 86400 is the midnight that
// ends the day.
struct HourRange {
    int start = 0;
    int end = 0;
};

// Degrees, north and east positive.
struct Place {
    double latitude = 0;
    double longitude = 0;
};

// Seconds east of UTC of local time at an instant.
using UtcOffset = std::function<long(std::time_t)>;
long machineUtcOffset(std::time_t t);

// "07:00-12:00,13:30-19:00"; errors read after the option's name ("takes HH:MM-HH:MM ...").
std::vector<HourRange> parseHourRanges(std::string_view text);
// "51.48,-0.0015".
Place parseDaylightPlace(std::string_view text);

class CaptureHours {
public:
    // Always open.
    CaptureHours() = default;
    CaptureHours(std::vector<HourRange> ranges, std::optional<Place> daylight,
                 UtcOffset offset = machineUtcOffset);
    // Each entry of `ranges` may hold several, separated by commas; an empty `daylight` means
    // none. Errors name the option: "--hours takes HH:MM-HH:MM ranges, not 7-19".
    static CaptureHours parse(const std::vector<std::string>& ranges, const std::string& daylight,
                              UtcOffset offset = machineUtcOffset);

    bool limited() const { return !ranges_.empty() || daylight_.has_value(); }
    bool open(std::time_t t) const;
    // The first second from `t` on that is open; none when nothing opens within a year and a
    // month (the ranges fall only in a polar night, or in hours the place never has sun).
    std::optional<std::time_t> nextOpening(std::time_t t) const;

private:
    bool inRanges(std::time_t t) const;
    bool inDaylight(std::time_t t) const;
    // Instants at which a range or the daylight may begin, from days around `day` (UTC).
    void addOpeningsOfDay(long long day, std::vector<std::time_t>& out) const;

    std::vector<HourRange> ranges_;
    std::optional<Place> daylight_;
    UtcOffset offset_ = machineUtcOffset;
};

} // namespace kestrix
