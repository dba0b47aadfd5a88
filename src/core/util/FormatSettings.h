// Locale data that the core formats and parses with. Core functions take it as a parameter; the
// GUI builds one from the system locale, tests and the command line use the fixed English one.
#pragma once

#include <array>
#include <string>

namespace kestrix {

struct EraInfo {
    std::string name;
    int startYear = 1; // first Gregorian year of the era
};

struct FormatSettings {
    char decimalSeparator = '.';
    char thousandSeparator = ',';
    char dateSeparator = '/';
    char timeSeparator = ':';
    std::string shortDateFormat = "m/d/yyyy";
    std::string longDateFormat = "dddd, mmmm d, yyyy";
    std::string shortTimeFormat = "hh:nn";
    std::string longTimeFormat = "hh:nn:ss";
    std::string timeAMString = "AM";
    std::string timePMString = "PM";
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> longMonthNames{"January",   "February", "March",    "April",
                                               "May",       "June",     "July",     "August",
                                               "September", "October",  "November", "December"};
    // Index 0 is Sunday.
    std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> longDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};
    EraInfo era{"A.D.", 1};
};

// The fixed default used by tests and by kestrix-cli.
const FormatSettings& defaultFormatSettings();

} // namespace kestrix
