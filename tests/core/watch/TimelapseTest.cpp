// Timelapses from a watch's archive: which pictures a span and a time of day take, in which
// order, and `kestrix-cli timelapse` run as a script runs it over an archive of two past days of
// two links, its movies and GIFs read back by ffprobe and ffmpeg.
#include "core/watch/Timelapse.h"

#include "core/image/ImageFile.h"
#include "core/movie/MovieTestSupport.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kFirstDay = 1741564800; // 2025-03-10 00:00:00 UTC
constexpr std::time_t kStep = 20 * 60;        // three pictures an hour
constexpr int kPicturesPerDay = 72;

// The process's time zone for one test.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

std::string pictureName(std::time_t time, const std::string& extension, int sequence = 1) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    return std::string(stamp) + (sequence > 1 ? "-" + std::to_string(sequence) : "") + "." +
           extension;
}

// Every picture is one colour that names it: red and green carry its code in steps of 16, far
// apart enough to survive H.264; blue tells the links apart.
Bitmap codedPicture(int code, uint8_t blue, int width, int height) {
    return solidBitmap(blue, static_cast<uint8_t>(code / 16 * 16 + 8),
                       static_cast<uint8_t>(code % 16 * 16 + 8), width, height);
}

int codeOf(const uint8_t* rgb) {
    return (rgb[1] / 16) * 16 + rgb[0] / 16;
}

// The code of every frame of a movie or GIF, read at the frame's centre.
std::vector<int> frameCodes(const std::string& path) {
    auto stream = probeMovie(path);
    const int w = std::stoi(stream["width"]), h = std::stoi(stream["height"]);
    const std::string rgb = decodeMovieRgb(path);
    const size_t frameSize = static_cast<size_t>(w) * h * 3;
    std::vector<int> codes;
    for (size_t at = 0; at + frameSize <= rgb.size(); at += frameSize)
        codes.push_back(codeOf(reinterpret_cast<const uint8_t*>(rgb.data()) + at +
                               (static_cast<size_t>(h / 2) * w + w / 2) * 3));
    return codes;
}

// Two past days of two links, a picture every 20 minutes, picture i coded i. The sizes change
// from picture to picture (the first of every hour is 64x48). "Cams/North" is JPEG and has two
// more pictures in the second of picture 30 (-2 coded 200, -10 coded 201); "Cams/.South" (its
// folder "Cams/_South", as the watch makes names safe) is PNG with one GIF. Beside them lie files
// that are no pictures: an earlier timelapse, a temporary file, a note.
class TimelapseArchive {
public:
    TimelapseArchive() : dir_("timelapse") {
        const int sizes[][2] = {{64, 48}, {80, 60}, {47, 35}};
        for (int i = 0; i < 2 * kPicturesPerDay; ++i) {
            const std::time_t time = kFirstDay + i * kStep;
            const int w = sizes[i % 3][0], h = sizes[i % 3][1];
            put("Cams/North", pictureName(time, "jpg"), codedPicture(i, 64, w, h));
            if (i == 75)
                putGif("Cams/_South", pictureName(time, "gif"), codedPicture(i, 192, w, h));
            else
                put("Cams/_South", pictureName(time, "png"), codedPicture(i, 192, w, h));
        }
        put("Cams/North", pictureName(kFirstDay + 30 * kStep, "jpg", 2),
            codedPicture(200, 64, 64, 48));
        put("Cams/North", pictureName(kFirstDay + 30 * kStep, "jpg", 10),
            codedPicture(201, 64, 64, 48));
        fs::create_directories(dir_.file("Cams/North/timelapse"));
        writeFile(dir_.file("Cams/North/timelapse/20250310.mp4"), "not a picture");
        writeFile(dir_.file("Cams/North/.kestrix-tmp-a1b2c3"), "half a picture");
        writeFile(dir_.file("Cams/North/notes.txt"), "camera moved on the 10th");
    }

    const std::string& path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    CommandResult cli(const std::string& args, const std::string& environment = "") const {
        return runCommand(environment + " " + KESTRIX_CLI + " timelapse --save-dir '" + path() +
                          "' " + args + " 2>&1");
    }

private:
    void put(const std::string& folder, const std::string& name, const Bitmap& picture) {
        fs::create_directories(dir_.file(folder));
        saveImageFile(picture, dir_.file(folder + "/" + name), 95);
    }
    void putGif(const std::string& folder, const std::string& name, const Bitmap& picture) {
        const uint8_t* p = picture.scanLine(0);
        GifBuilder gif(picture.width(), picture.height(), {{p[2], p[1], p[0]}, {0, 0, 0}});
        gif.pixels(
            0, 0, picture.width(), picture.height(),
            std::vector<uint8_t>(static_cast<size_t>(picture.width()) * picture.height(), 0));
        writeFile(dir_.file(folder + "/" + name), gif.done());
    }

    TempDir dir_;
};

std::vector<int> codesFrom(int first, int last) {
    std::vector<int> codes;
    for (int i = first; i <= last; ++i)
        codes.push_back(i);
    return codes;
}

} // namespace

TEST(TimelapseRules, ASpanTakesTheArchivesPicturesInTimeOrder) {
    TempDir dir("span");
    const std::string folder = dir.file("Link");
    fs::create_directories(folder + "/timelapse");
    for (const char* name :
         {"20250310-000000-10.jpg", "20250310-000000.png", "20250310-000000-2.jpg",
          "20250309-235959.bmp", "20250310-010000.gif", "20250311-000000.jpg",
          // Not pictures of the archive, or dates that do not exist:
          "20250310-000001.mp4", "20250230-000000.jpg", "20250310-246000.jpg", "notes.txt",
          ".kestrix-tmp-x1y2z3", "timelapse/20250310.mp4"})
        writeFile(folder + "/" + std::string(name), "x");
    fs::create_symlink(folder + "/20250310-000000.png", folder + "/20250310-020000.png");
    fs::create_directory(folder + "/20250310-030000.jpg");

    std::vector<std::string> names;
    for (const ArchivedPicture& p : picturesBetween(folder, kFirstDay, kFirstDay + 86400))
        names.push_back(fs::path(p.path).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"20250310-000000.png", "20250310-000000-2.jpg",
                                               "20250310-000000-10.jpg", "20250310-010000.gif"}));
    EXPECT_EQ(picturesBetween(folder, kFirstDay + 1, kFirstDay + 3600).size(), 0u)
        << "--to is exclusive";
    EXPECT_EQ(picturesBetween(dir.file("missing"), 0, kFirstDay * 2).size(), 0u);
    EXPECT_EQ(archivePictureTime("20250310-000000-2.jpg"), kFirstDay);
    EXPECT_EQ(archivePictureTime("20250229-000000.jpg"), std::nullopt);
}

TEST(TimelapseRules, TimesAndTimesOfDayAreReadStrictly) {
    const struct {
        const char* text;
        std::optional<std::time_t> utc;
    } times[] = {
        {"2025-03-10", kFirstDay},
        {"2025-03-10T06:20", kFirstDay + 6 * 3600 + 20 * 60},
        {"2025-03-10 06:20:07", kFirstDay + 6 * 3600 + 20 * 60 + 7},
        {"2024-02-29", 1709164800},
        {"2025-02-29", std::nullopt},
        {"2025-13-01", std::nullopt},
        {"2025-03-10T24:00", std::nullopt},
        {"2025-03-10T06:60", std::nullopt},
        {"2025-3-10", std::nullopt},
        {"2025-03-10T06", std::nullopt},
        {"2025-03-10T06:20Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& t : times)
        EXPECT_EQ(parseTimelapseTime(t.text, TimeZoneChoice::Utc), t.utc) << t.text;

    const struct {
        const char* text;
        std::optional<int> seconds;
    } ofDay[] = {{"12:00", 43200},        {"7:05", 25500},           {"23:59:59", 86399},
                 {"24:00", std::nullopt}, {"12", std::nullopt},      {"12:5", std::nullopt},
                 {"-1:00", std::nullopt}, {"12:00:60", std::nullopt}};
    for (const auto& t : ofDay)
        EXPECT_EQ(parseTimeOfDay(t.text), t.seconds) << t.text;

    const ScopedTimeZone zone("XYZ-3");
    EXPECT_EQ(parseTimelapseTime("2025-03-10T03:00", TimeZoneChoice::Local), kFirstDay);
}

TEST(TimelapseRules, LocalDaysFollowTheClockChanges) {
    // Central Europe: the clocks go forward on 2025-03-30 and back on 2025-10-26.
    const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::time_t march30 = *parseTimelapseTime("2025-03-30", TimeZoneChoice::Local);
    EXPECT_EQ(addDays(march30, 1, TimeZoneChoice::Local) - march30, 23 * 3600);
    const std::time_t october26 = *parseTimelapseTime("2025-10-26", TimeZoneChoice::Local);
    EXPECT_EQ(addDays(october26, 1, TimeZoneChoice::Local) - october26, 25 * 3600);
    EXPECT_EQ(dayStart(october26 + 24 * 3600, TimeZoneChoice::Local), october26);
    EXPECT_EQ(dayStamp(october26 + 24 * 3600, TimeZoneChoice::Local), "20251026");
    EXPECT_EQ(dayStamp(october26 + 25 * 3600, TimeZoneChoice::Local), "20251027");
    EXPECT_EQ(addDays(march30, -30, TimeZoneChoice::Local),
              *parseTimelapseTime("2025-02-28", TimeZoneChoice::Local));

    // 12:00 local is 10:00 UTC in summer and 11:00 in winter.
    std::vector<ArchivedPicture> pictures;
    for (std::time_t t = march30 - 86400; t < march30 + 23 * 3600; t += 3600)
        pictures.push_back({"", t, 1});
    const auto chosen = nearestEachDay(pictures, 12 * 3600, TimeZoneChoice::Local);
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].time, march30 - 86400 + 12 * 3600);
    EXPECT_EQ(chosen[1].time, march30 + 11 * 3600);
}

TEST(TimelapseCli, EveryPictureOfTheSpanIsAFrameInTimeOrder) {
    const TimelapseArchive archive;
    const std::string out = archive.file("north.mp4");
    const CommandResult r = archive.cli("--link Cams/North --from 2025-03-10T06:00 --to "
                                        "2025-03-11T06:00 --fps 12 '" +
                                        out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    auto stream = probeMovie(out);
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["r_frame_rate"], "12/1");
    // The first picture (06:00, picture 18) sets the size; the others are fitted to it.
    EXPECT_EQ(stream["width"], "64");
    EXPECT_EQ(stream["height"], "48");
    EXPECT_EQ(stream["nb_read_frames"], std::to_string(kPicturesPerDay + 2));
    std::vector<int> expected = codesFrom(18, 30);
    expected.push_back(200);
    expected.push_back(201);
    const std::vector<int> after = codesFrom(31, 89);
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_EQ(frameCodes(out), expected);
}

TEST(TimelapseCli, AtTakesThePictureNearestToTheTimeOfEachDay) {
    const TimelapseArchive archive;
    const std::string out = archive.file("noon.mp4");
    // 12:00 and 12:20 are as near to 12:10: the earlier is taken.
    CommandResult r = archive.cli("--link Cams/North --from 2025-03-10 --to 2025-03-12 --at "
                                  "12:10 '" +
                                  out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(frameCodes(out), (std::vector<int>{36, kPicturesPerDay + 36}));

    // Late in the day the nearest is that day's last picture, never the next day's first.
    r = archive.cli("--link Cams/North --from 2025-03-10 --to 2025-03-12 --at 23:55 '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(frameCodes(out), (std::vector<int>{kPicturesPerDay - 1, 2 * kPicturesPerDay - 1}));

    // Three hours east of UTC, 12:10 is 09:10 UTC, and the days begin at 21:00 UTC.
    r = archive.cli("--link Cams/North --from 2025-03-10 --to 2025-03-12 --at 12:10 --timezone "
                    "local '" +
                        out + "'",
                    "TZ=XYZ-3");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(frameCodes(out), (std::vector<int>{27, kPicturesPerDay + 27}));
}

TEST(TimelapseCli, AGifHoldsTheSpansPicturesAtTheFirstOnesSize) {
    const TimelapseArchive archive;
    const std::string out = archive.file("south.gif");
    // The link's path as the link file writes it leads to its folder.
    const CommandResult r = archive.cli("--link Cams/.South --from 2025-03-11 --to "
                                        "2025-03-11T04:00 --fps 5 '" +
                                        out + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    auto stream = probeMovie(out);
    EXPECT_EQ(stream["codec_name"], "gif");
    EXPECT_EQ(stream["width"], "64");
    EXPECT_EQ(stream["height"], "48");
    // Picture 75 is a GIF itself: its frame is in its place.
    EXPECT_EQ(frameCodes(out), codesFrom(kPicturesPerDay, kPicturesPerDay + 11));
}

TEST(TimelapseCli, BadCommandLinesAndEmptySpansAreRefused) {
    const TimelapseArchive archive;
    const std::string out = " '" + archive.file("out.mp4") + "'";
    const std::string span = " --from 2025-03-10 --to 2025-03-11";
    const struct {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"--link Cams/North --from 2025-03-11 --to 2025-03-10" + out, 2,
         "kestrix-cli timelapse: --to: must be later than --from (2025-03-11) (see 'kestrix-cli "
         "timelapse --help')\n"},
        {"--link Cams/North --from 2025-02-30 --to 2025-03-10" + out, 2,
         "kestrix-cli timelapse: --from: takes YYYY-MM-DD, YYYY-MM-DDTHH:MM or "
         "YYYY-MM-DDTHH:MM:SS, not 2025-02-30 (see 'kestrix-cli timelapse --help')\n"},
        {"--link Cams/North --at 25:00" + span + out, 2,
         "kestrix-cli timelapse: --at: takes HH:MM or HH:MM:SS, not 25:00 (see 'kestrix-cli "
         "timelapse --help')\n"},
        {"--link Cams/North --timezone mars" + span + out, 2, ""},
        {"--link Cams/North --fps 0" + span + out, 2, ""},
        {"--link Cams/North --quality 5000" + span + " '" + archive.file("out.gif") + "'", 2,
         "kestrix-cli timelapse: --quality: applies to .mp4 and .avi timelapses only (see "
         "'kestrix-cli timelapse --help')\n"},
        {"--link ../Cams/North" + span + out, 2, ""},
        {"--link /etc" + span + out, 2, ""},
        {span + out, 2, ""},
        {"--link Cams/North" + span, 2, ""},
        {"--link Cams/North --from 2025-03-20 --to 2025-03-21" + out, 1,
         "No pictures of Cams/North between 2025-03-20 and 2025-03-21 (UTC)\n"},
        {"--link Cams/West" + span + out, 1,
         "No folder of link Cams/West in " + archive.path() + "\n"},
        {"--link Cams/North" + span + " '" + archive.file("out.mov") + "'", 1,
         "Unknown timelapse file type: .mov (use .mp4, .avi or .gif)\n"},
    };
    for (const auto& c : cases) {
        const CommandResult r = archive.cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        if (!c.message.empty()) {
            EXPECT_EQ(r.out, c.message) << c.args;
        }
        EXPECT_FALSE(fs::exists(archive.file("out.mp4"))) << c.args;
    }
}
