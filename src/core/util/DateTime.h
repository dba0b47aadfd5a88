// Date-times as the program stores them: days since 1899-12-30 00:00 as a double, the time of
// day being the fraction. Helpers convert from and to calendar parts and the system clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrix {

using DateTime = double;

constexpr double kMsPerDay = 86400000.0;
constexpr double kSecondsPerDay = 86400.0;

struct DateParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int dayOfWeek = 0; // 0 = Sunday
};

struct TimeParts {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Whole days from 1899-12-30 to the given civil date (proleptic Gregorian).
int64_t daysFromCivil(int year, int month, int day);
DateTime encodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                        int millisecond = 0);
DateParts decodeDate(DateTime value);
// Time of day rounded to the millisecond; negative date-times count the fraction as positive,
// as the stored form does.
TimeParts decodeTime(DateTime value);

// "2026-12-08T14:05:09.250Z" (fraction and "Z" optional) as a date-time; nullopt when the text
// is not such a time.
std::optional<DateTime> parseIsoDateTime(std::string_view text);

DateTime fromSystemTimeUtc(std::chrono::system_clock::time_point tp);
DateTime fromSystemTimeLocal(std::chrono::system_clock::time_point tp);

} // namespace kestrix
