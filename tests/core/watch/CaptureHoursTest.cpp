// Capture hours: sunrise and sunset against independent references, the parsing of --hours and
// --daylight, openings over midnight, across days, clock changes and polar nights, and watches
// (of many links and of one address) that fetch nothing outside their hours.
#include "core/watch/CaptureHours.h"

#include "core/image/BmpCodec.h"
#include "core/util/DateTime.h"
#include "core/util/Error.h"
#include "core/watch/SunTimes.h"
#include "core/watch/Watcher.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <mutex>
#include <numbers>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;
using namespace std::chrono_literals;

namespace {

std::time_t utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return static_cast<std::time_t>((daysFromCivil(year, month, day) - daysFromCivil(1970, 1, 1)) *
                                        86400 +
                                    hour * 3600 + minute * 60 + second);
}

std::string utcText(std::optional<std::time_t> t) {
    if (!t)
        return "never";
    std::tm parts{};
    gmtime_r(&*t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

// The message of the error `work` raises.
template <typename Work> std::string errorOf(Work work) {
    try {
        work();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

UtcOffset fixedOffset(long seconds) {
    return [seconds](std::time_t) { return seconds; };
}

// The sunrise and sunset algorithm of the US Naval Observatory's "Almanac for Computers" (1990),
// with the same 90.833 degree zenith: a second method, independent of NOAA's equations, that is
// good to a minute or two away from the polar circles. Hours of UT; none when the sun does not
// cross the horizon that day.
std::optional<double> almanacHours(int year, int month, int day, double latitude, double longitude,
                                   bool rising) {
    constexpr double toRad = std::numbers::pi / 180;
    const auto sinD = [](double d) { return std::sin(d * toRad); };
    const auto cosD = [](double d) { return std::cos(d * toRad); };
    const int n =
        275 * month / 9 - (month + 9) / 12 * (1 + (year - 4 * (year / 4) + 2) / 3) + day - 30;
    const double lngHour = longitude / 15;
    const double t = n + ((rising ? 6 : 18) - lngHour) / 24;
    const double m = 0.9856 * t - 3.289;
    const double l = std::fmod(m + 1.916 * sinD(m) + 0.020 * sinD(2 * m) + 282.634 + 360, 360);
    double ra = std::fmod(std::atan(0.91764 * std::tan(l * toRad)) / toRad + 360, 360);
    ra = (ra + std::floor(l / 90) * 90 - std::floor(ra / 90) * 90) / 15;
    const double sinDec = 0.39782 * sinD(l);
    const double cosDec = std::cos(std::asin(sinDec));
    const double cosH = (cosD(90.833) - sinDec * sinD(latitude)) / (cosDec * cosD(latitude));
    if (std::abs(cosH) > 1)
        return std::nullopt;
    const double h = (rising ? 360 - std::acos(cosH) / toRad : std::acos(cosH) / toRad) / 15;
    return std::fmod(h + ra - 0.06571 * t - 6.622 - lngHour + 48, 24);
}

// Minutes between a time of day in hours and the time of day of `t`, across midnight.
double minutesApart(double hours, std::time_t t) {
    const double minutes = std::fmod(static_cast<double>(t), 86400) / 60 - hours * 60;
    return std::abs(std::remainder(minutes, 1440));
}

struct Site {
    const char* name;
    double latitude, longitude;
};
const Site kGreenwich{"Greenwich", 51.4769, -0.0005};
const Site kSydney{"Sydney", -33.8688, 151.2093};
const Site kTromso{"Tromso", 69.6492, 18.9553};
const Site kMcMurdo{"McMurdo Station", -77.846, 166.676};

Place at(const Site& s) {
    return {s.latitude, s.longitude};
}

} // namespace

// Equinox and solstices at Greenwich, a southern city in summer and winter, the equator, and the
// far east and west of UTC (sunrise on the UTC day before, sunset on the day after).
TEST(CaptureHoursSun, AgreesWithTheAlmanacForComputers) {
    struct Case {
        Site place;
        int year, month, day;
    };
    for (const Case& c : std::vector<Case>{{kGreenwich, 2024, 3, 20},
                                           {kGreenwich, 2024, 6, 20},
                                           {kGreenwich, 2024, 12, 21},
                                           {kSydney, 2024, 12, 21},
                                           {kSydney, 2024, 6, 21},
                                           {{"Quito", -0.1807, -78.4678}, 2025, 2, 14},
                                           {{"Buenos Aires", -34.6037, -58.3816}, 2025, 9, 1},
                                           {{"Tokyo", 35.6762, 139.6503}, 2025, 5, 5},
                                           {{"Honolulu", 21.3069, -157.8583}, 2026, 11, 30}}) {
        const std::string what = std::string(c.place.name) + " " + std::to_string(c.year) + "-" +
                                 std::to_string(c.month) + "-" + std::to_string(c.day);
        const SunTimes sun = sunTimes(c.place.latitude, c.place.longitude, c.year, c.month, c.day);
        ASSERT_TRUE(sun.sunrise && sun.sunset) << what;
        EXPECT_FALSE(sun.allDay || sun.allNight) << what;
        EXPECT_LT(*sun.sunrise, sun.solarNoon) << what;
        EXPECT_LT(sun.solarNoon, *sun.sunset) << what;
        EXPECT_LT(*sun.sunset - *sun.sunrise, 86400) << what;
        for (const bool rising : {true, false}) {
            const auto hours =
                almanacHours(c.year, c.month, c.day, c.place.latitude, c.place.longitude, rising);
            ASSERT_TRUE(hours) << what;
            EXPECT_LE(minutesApart(*hours, rising ? *sun.sunrise : *sun.sunset), 2.0)
                << what << (rising ? " sunrise " : " sunset ")
                << utcText(rising ? sun.sunrise : sun.sunset);
        }
    }
}

// The times published for London on the 2024 solstices, as the Royal Observatory Greenwich and
// the usual sunrise tables give them (16 h 38 min and 7 h 49 min of daylight); quoted from
// memory of those tables, to the minute, so they are held to two minutes.
TEST(CaptureHoursSun, MatchesPublishedTimesForLondon) {
    struct Case {
        int month, day;
        std::time_t sunrise, sunset;
    };
    for (const Case& c : std::vector<Case>{
             {6, 20, utc(2024, 6, 20, 3, 43), utc(2024, 6, 20, 20, 21)},   // 04:43, 21:21 BST
             {12, 21, utc(2024, 12, 21, 8, 4), utc(2024, 12, 21, 15, 53)}, // GMT
         }) {
        const SunTimes sun = sunTimes(51.5074, -0.1278, 2024, c.month, c.day);
        ASSERT_TRUE(sun.sunrise && sun.sunset);
        EXPECT_LE(std::abs(*sun.sunrise - c.sunrise), 120) << utcText(sun.sunrise);
        EXPECT_LE(std::abs(*sun.sunset - c.sunset), 120) << utcText(sun.sunset);
    }
}

// North and south of the polar circles the sun stays up all day in summer and below the horizon
// all day in winter; the almanac agrees that it does not cross the horizon.
TEST(CaptureHoursSun, PolarDayAndPolarNight) {
    struct Case {
        Site place;
        int month;
        bool allDay;
    };
    for (const Case& c : std::vector<Case>{{kTromso, 6, true},
                                           {kTromso, 12, false},
                                           {kMcMurdo, 12, true},
                                           {kMcMurdo, 6, false}}) {
        const SunTimes sun = sunTimes(c.place.latitude, c.place.longitude, 2024, c.month, 21);
        const std::string what = std::string(c.place.name) + " month " + std::to_string(c.month);
        EXPECT_EQ(sun.allDay, c.allDay) << what;
        EXPECT_EQ(sun.allNight, !c.allDay) << what;
        EXPECT_FALSE(sun.sunrise || sun.sunset) << what;
        EXPECT_FALSE(almanacHours(2024, c.month, 21, c.place.latitude, c.place.longitude, true))
            << what;
    }
}

TEST(CaptureHoursParse, RangesAndPlaces) {
    struct Good {
        const char* text;
        std::vector<std::pair<int, int>> ranges;
    };
    for (const Good& g : std::vector<Good>{
             {"07:00-19:00", {{25200, 68400}}},
             {"7:05-9:30", {{25500, 34200}}},
             {"22:00-02:00", {{79200, 7200}}},
             {"00:00-24:00", {{0, 86400}}},
             {"18:00-00:00", {{64800, 0}}},
             {" 07:00 - 12:00 , 13:00-19:00", {{25200, 43200}, {46800, 68400}}},
         }) {
        std::vector<std::pair<int, int>> got;
        for (const HourRange& r : parseHourRanges(g.text))
            got.emplace_back(r.start, r.end);
        EXPECT_EQ(got, g.ranges) << g.text;
    }
    const std::string ranges = "takes HH:MM-HH:MM ranges, not ";
    const std::string place = "takes LAT,LON in degrees (latitude from -90 to 90, longitude from "
                              "-180 to 180), not ";
    for (const auto& [bad, message] : std::vector<std::pair<std::string, std::string>>{
             {"7-19", ranges + "7-19"},
             {"07:00", ranges + "07:00"},
             {"07:00-", ranges + "07:00-"},
             {"25:00-26:00", ranges + "25:00-26:00"},
             {"07:60-08:00", ranges + "07:60-08:00"},
             {"24:00-07:00", ranges + "24:00-07:00"},
             {"07:00-24:01", ranges + "07:00-24:01"},
             {"07:00-19:00-20:00", ranges + "07:00-19:00-20:00"},
             {"07.00-19.00", ranges + "07.00-19.00"},
             {"07:0-19:00", ranges + "07:0-19:00"},
             {"+7:00-19:00", ranges + "+7:00-19:00"},
             {"07:00-19:00, 8-9", ranges + "8-9"},
             {"07:00-19:00,", ranges + "an empty one"},
             {"", ranges + "an empty one"},
             {"07:00-07:00", ranges + "07:00-07:00 (a range that ends where it starts is empty; "
                                      "the whole day is 00:00-24:00)"},
         })
        EXPECT_EQ(errorOf([&text = bad] { parseHourRanges(text); }), message) << bad;

    const Place south = parseDaylightPlace("-33.87,151.21");
    EXPECT_EQ(south.latitude, -33.87);
    EXPECT_EQ(south.longitude, 151.21);
    EXPECT_EQ(parseDaylightPlace(" 90 , -180 ").longitude, -180);
    for (const std::string bad : {"51.48", "51.48;0", "91,0", "0,180.5", "nan,0", "0,inf", "a,b",
                                  "", "51.48,0,3", "51,48,0", "51.48,"})
        EXPECT_EQ(errorOf([&] { parseDaylightPlace(bad); }), place + bad);

    // The whole setting names the option that is wrong; several --hours add up.
    EXPECT_EQ(errorOf([] {
                  CaptureHours::parse({"07:00-19:00", "7-19"}, "");
              }),
              "--hours " + ranges + "7-19");
    EXPECT_EQ(errorOf([] { CaptureHours::parse({}, "91,0"); }), "--daylight " + place + "91,0");
    EXPECT_FALSE(CaptureHours::parse({}, "").limited());
    const CaptureHours two =
        CaptureHours::parse({"07:00-08:00", "20:00-21:00"}, "", fixedOffset(0));
    EXPECT_EQ(two.nextOpening(utc(2025, 1, 15, 9)), utc(2025, 1, 15, 20));
}

// Daily ranges in local time at a fixed UTC offset, east and west of Greenwich.
TEST(CaptureHours, RangesOpenAndReopenAcrossMidnightAndDays) {
    struct Case {
        const char* hours;
        long offset;
        std::time_t at;
        std::optional<std::time_t> next; // equal to `at` when open
    };
    const long cet = 3600;
    const long est = -5 * 3600;
    // 2025-01-15 hh:mm local time.
    const auto local = [](long offset, int day, int hour, int minute, int second = 0) {
        return utc(2025, 1, day, hour, minute, second) - offset;
    };
    for (const Case& c : std::vector<Case>{
             {"07:00-19:00", cet, local(cet, 15, 6, 59, 59), local(cet, 15, 7, 0)},
             {"07:00-19:00", cet, local(cet, 15, 7, 0), local(cet, 15, 7, 0)},
             {"07:00-19:00", cet, local(cet, 15, 18, 59, 59), local(cet, 15, 18, 59, 59)},
             {"07:00-19:00", cet, local(cet, 15, 19, 0), local(cet, 16, 7, 0)},
             {"22:00-02:00", cet, local(cet, 15, 23, 30), local(cet, 15, 23, 30)},
             {"22:00-02:00", cet, local(cet, 16, 1, 59, 59), local(cet, 16, 1, 59, 59)},
             {"22:00-02:00", cet, local(cet, 16, 2, 0), local(cet, 16, 22, 0)},
             {"22:00-02:00", est, local(est, 15, 3, 0), local(est, 15, 22, 0)},
             {"07:00-09:00,17:00-19:00", est, local(est, 15, 10, 0), local(est, 15, 17, 0)},
             {"07:00-09:00,17:00-19:00", est, local(est, 15, 19, 0), local(est, 16, 7, 0)},
             {"00:00-24:00", est, local(est, 15, 0, 0), local(est, 15, 0, 0)},
         }) {
        const CaptureHours hours(parseHourRanges(c.hours), std::nullopt, fixedOffset(c.offset));
        const std::string what = std::string(c.hours) + " at " + utcText(c.at);
        EXPECT_EQ(hours.open(c.at), c.next == c.at) << what;
        EXPECT_EQ(utcText(hours.nextOpening(c.at)), utcText(c.next)) << what;
    }
}

// Daylight alone and with ranges: the intersection opens at the later of the two beginnings;
// hours that fall only in the dark never open.
TEST(CaptureHours, DaylightAndItsIntersectionWithRanges) {
    const auto sunrise = [](const Site& p, int year, int month, int day) {
        return *sunTimes(p.latitude, p.longitude, year, month, day).sunrise;
    };
    struct Case {
        const char* what;
        const char* hours;
        Site place;
        std::time_t at;
        std::optional<std::time_t> next;
    };
    for (const Case& c : std::vector<Case>{
             {"noon", "", kGreenwich, utc(2024, 12, 21, 12), utc(2024, 12, 21, 12)},
             {"evening", "", kGreenwich, utc(2024, 12, 21, 16, 30),
              sunrise(kGreenwich, 2024, 12, 22)},
             {"before sunrise inside the range", "07:00-09:00", kGreenwich,
              utc(2024, 12, 21, 7, 30), sunrise(kGreenwich, 2024, 12, 21)},
             {"after the range", "07:00-09:00", kGreenwich, utc(2024, 12, 21, 9, 30),
              sunrise(kGreenwich, 2024, 12, 22)},
             {"sun up before the range", "12:00-13:00", kGreenwich, utc(2024, 6, 20, 20),
              utc(2024, 6, 21, 12)},
             {"a range only in the dark", "00:00-01:00", kGreenwich, utc(2024, 6, 20, 12),
              std::nullopt},
             {"Sydney morning, the UTC evening before", "", kSydney, utc(2024, 12, 20, 20),
              utc(2024, 12, 20, 20)},
             {"Sydney night", "", kSydney, utc(2024, 12, 21, 10), sunrise(kSydney, 2024, 12, 22)},
             {"midnight sun", "", kTromso, utc(2024, 6, 21, 23), utc(2024, 6, 21, 23)},
         }) {
        const std::vector<HourRange> ranges =
            *c.hours ? parseHourRanges(c.hours) : std::vector<HourRange>{};
        const CaptureHours hours(ranges, at(c.place), fixedOffset(0));
        EXPECT_EQ(hours.open(c.at), c.next == c.at) << c.what;
        EXPECT_EQ(utcText(hours.nextOpening(c.at)), utcText(c.next)) << c.what;
    }
    // The sun comes back to Tromso in the middle of January; the opening found is the first
    // second of daylight.
    const CaptureHours tromso({}, at(kTromso), fixedOffset(0));
    const auto back = tromso.nextOpening(utc(2024, 12, 21, 12));
    ASSERT_TRUE(back);
    EXPECT_GT(*back, utc(2025, 1, 10));
    EXPECT_LT(*back, utc(2025, 1, 20));
    EXPECT_TRUE(tromso.open(*back));
    EXPECT_FALSE(tromso.open(*back - 1));
}

// When the clocks go forward the local time may jump into a range, and when they go back a
// range's start may come twice: the opening is the first moment the local time is in it.
TEST(CaptureHours, OpeningsAcrossClockChanges) {
    const std::time_t spring = utc(2025, 3, 30, 1);  // 02:00 CET becomes 03:00 CEST
    const std::time_t autumn = utc(2025, 10, 26, 1); // 03:00 CEST becomes 02:00 CET
    const UtcOffset europe = [&](std::time_t t) {
        return (t >= spring && t < autumn) ? 7200L : 3600L;
    };
    const CaptureHours night(parseHourRanges("02:30-03:30"), std::nullopt, europe);
    EXPECT_EQ(utcText(night.nextOpening(utc(2025, 3, 29, 23))), utcText(spring));
    EXPECT_EQ(utcText(night.nextOpening(utc(2025, 10, 25, 23))), utcText(utc(2025, 10, 26, 0, 30)));
    EXPECT_FALSE(night.open(autumn)) << "02:00 CET, the second time";
    EXPECT_EQ(utcText(night.nextOpening(autumn)), utcText(utc(2025, 10, 26, 1, 30)));
    const CaptureHours day(parseHourRanges("07:00-19:00"), std::nullopt, europe);
    EXPECT_EQ(utcText(day.nextOpening(utc(2025, 3, 30, 4))), utcText(utc(2025, 3, 30, 5)));
}

// A watch of links whose hours open two seconds from now and close three seconds later: no
// request comes before or after them (one begun in the last moment may arrive just after), the
// link fetches as soon as they open, and it says so while it waits.
TEST(CaptureHours, WatcherFetchesOnlyWithinItsHours) {
    std::mutex mutex;
    std::vector<std::chrono::system_clock::time_point> requests;
    ScriptedServer server;
    server.respond([&](int i, const std::string&) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(std::chrono::system_clock::now());
        }
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 8, 8))));
    });
    const std::time_t now = std::time(nullptr);
    const std::time_t opening = now + 2, closing = now + 5;
    const CaptureHours hours(
        {{static_cast<int>(opening % 86400), static_cast<int>(closing % 86400)}}, std::nullopt,
        fixedOffset(0));
    TempDir dir("hours");
    WatcherSettings settings;
    settings.saveDir = dir.path();
    settings.hours = hours;
    WatchedLink link;
    link.name = link.path = link.directory = "Cam";
    link.address = server.url("/cam.bmp");
    link.interval = 1;
    Watcher watcher({link}, settings);
    watcher.start();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(watcher.snapshot().links.at(0).status, "outside hours");
    while (std::time(nullptr) < closing + 2)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(watcher.snapshot().links.at(0).status, "outside hours");
    watcher.stop();

    const std::lock_guard<std::mutex> lock(mutex);
    ASSERT_FALSE(requests.empty()) << "the link fetches once its hours open";
    for (const auto& request : requests) {
        EXPECT_GE(request, std::chrono::system_clock::from_time_t(opening));
        EXPECT_LT(request, std::chrono::system_clock::from_time_t(closing) + 500ms);
    }
}

// The watch of one address: closed hours fetch nothing and say until when; open hours fetch.
TEST(CaptureHours, SingleAddressWatchFetchesOnlyWithinItsHours) {
    ScriptedServer server;
    server.respond([](int i, const std::string&) {
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 8, 8))));
    });
    // Ranges of the machine's local time, as the watch reads it.
    const auto range = [](int fromHours, int toHours) {
        const std::time_t now = std::time(nullptr);
        std::string text;
        for (const std::time_t t : {now + fromHours * 3600, now + toHours * 3600}) {
            std::tm local{};
            localtime_r(&t, &local);
            char hhmm[8];
            std::strftime(hhmm, sizeof hhmm, "%H:%M", &local);
            text += (text.empty() ? "" : "-") + std::string(hhmm);
        }
        return text;
    };
    TempDir dir("hours");
    for (const auto& [hours, fetches] :
         std::vector<std::pair<std::string, bool>>{{range(2, 3), false}, {range(-1, 1), true}}) {
        const size_t before = server.requests().size();
        const std::string log = dir.file("watch.log");
        const CommandResult r = runCommand(std::string(KESTRIX_CLI) + " watch " +
                                           server.url("/cam.bmp") + " --interval 0 --hours " +
                                           hours + " > " + log + " 2>&1 & pid=$!; sleep 2.5; " +
                                           "kill -TERM $pid; wait $pid; echo $?; cat " + log);
        EXPECT_EQ(server.requests().size() > before, fetches) << hours << "\n" << r.out;
        EXPECT_EQ(r.out.find("Outside the capture hours until ") != std::string::npos, !fetches)
            << hours << "\n"
            << r.out;
        EXPECT_EQ(r.out.substr(0, 2), "0\n") << r.out;
    }
}

// Bad ranges and places are usage errors, found before anything is watched; hours that never
// open are an error of their own.
TEST(CaptureHours, CommandLineRefusesBadHours) {
    TempDir dir("hours");
    writeFile(dir.file("l.klnx"), "<ImageAddressXML KSX=\"1.0\">\n<URLItem URLName=\"A\" "
                                  "URLAddress=\"http://127.0.0.1:1/a.jpg\" URLDelay=\"5\" "
                                  "Selected=\"no\"/>\n</ImageAddressXML>\n");
    const std::string url = "http://127.0.0.1:1/a.jpg";
    const std::string links = "--links " + dir.file("l.klnx") + " --save-dir " + dir.file("never");
    for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
             {url + " --hours 7-19", "--hours: takes HH:MM-HH:MM ranges, not 7-19"},
             {links + " --hours 07:00-19:00 --hours 07:00-12:00,25:00-26:00",
              "--hours: takes HH:MM-HH:MM ranges, not 25:00-26:00"},
             {url + " --daylight 91,0",
              "--daylight: takes LAT,LON in degrees (latitude from -90 to 90, longitude from -180 "
              "to 180), not 91,0"},
         }) {
        const CommandResult r = runCommand(std::string(KESTRIX_CLI) + " watch " + args + " 2>&1");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "kestrix-cli watch: " + message + " (see 'kestrix-cli watch --help')\n");
    }
    for (const std::string& args : {url, links}) {
        // Midnight to one in UTC, when Greenwich never has the sun.
        const CommandResult r = runCommand("TZ=UTC " + std::string(KESTRIX_CLI) + " watch " + args +
                                           " --hours 00:00-01:00 --daylight 51.48,0 2>&1");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.out, "--hours and --daylight leave no time to fetch in the coming year\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("never")));
}
