#include "core/util/DateTime.h"

#include <cmath>
#include <ctime>

namespace kestrix {

namespace {

// Howard Hinnant's days_from_civil, shifted to the 1899-12-30 epoch.
int64_t daysFromUnixEpoch(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr int64_t kUnixEpochInDays = 25569; // 1970-01-01 as a day count

void civilFromUnixDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// Milliseconds of the day, as the stored fraction gives them.
int64_t msOfDay(DateTime value) {
    double frac = std::fabs(value - std::trunc(value));
    auto ms = static_cast<int64_t>(std::llround(frac * kMsPerDay));
    return ms >= 86400000 ? 86399999 : ms;
}

} // namespace

int64_t daysFromCivil(int year, int month, int day) {
    return daysFromUnixEpoch(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
           kUnixEpochInDays;
}

DateTime encodeDateTime(int year, int month, int day, int hour, int minute, int second,
                        int millisecond) {
    double days = static_cast<double>(daysFromCivil(year, month, day));
    double time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / kMsPerDay;
    // Before the epoch the fraction still counts forward from midnight.
    return days >= 0 ? days + time : days - time;
}

DateParts decodeDate(DateTime value) {
    DateParts p;
    auto days = static_cast<int64_t>(std::trunc(value));
    // A stored time of day that rounds up to the next millisecond midnight stays on its day.
    civilFromUnixDays(days - kUnixEpochInDays, p.year, p.month, p.day);
    int64_t dow = (days - 1) % 7; // 1899-12-30 was a Saturday
    if (dow < 0)
        dow += 7;
    p.dayOfWeek = static_cast<int>(dow);
    return p;
}

TimeParts decodeTime(DateTime value) {
    int64_t ms = msOfDay(value);
    TimeParts t;
    t.hour = static_cast<int>(ms / 3600000);
    t.minute = static_cast<int>(ms / 60000 % 60);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

std::optional<DateTime> parseIsoDateTime(std::string_view text) {
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z'))
        text.remove_suffix(1);
    auto number = [&](size_t at, size_t len) -> int {
        if (at + len > text.size())
            return -1;
        int v = 0;
        for (size_t i = at; i < at + len; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int y = number(0, 4), mo = number(5, 2), d = number(8, 2);
    const int h = number(11, 2), mi = number(14, 2), s = number(17, 2);
    int ms = 0;
    if (text.size() > 19) {
        if (text[19] != '.' || text.size() == 20 || text.size() > 23)
            return std::nullopt;
        ms = number(20, text.size() - 20);
        for (size_t k = text.size() - 20; k < 3; ++k)
            ms *= 10;
    }
    if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        s < 0 || s > 59 || ms < 0)
        return std::nullopt;
    if (decodeDate(encodeDateTime(y, mo, d)).month != mo)
        return std::nullopt; // a day the month does not have
    return encodeDateTime(y, mo, d, h, mi, s, ms);
}

DateTime fromSystemTimeUtc(std::chrono::system_clock::time_point tp) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count();
    return kUnixEpochInDays + static_cast<double>(ms) / kMsPerDay;
}

DateTime fromSystemTimeLocal(std::chrono::system_clock::time_point tp) {
    std::time_t secs = std::chrono::system_clock::to_time_t(tp);
    std::tm local{};
    localtime_r(&secs, &local);
    return fromSystemTimeUtc(tp) + static_cast<double>(local.tm_gmtoff) / kSecondsPerDay;
}

} // namespace kestrix
