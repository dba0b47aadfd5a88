// Timelapses from a watch's archive: the pictures of one link's folder taken within a span of
// time (or, a day at a time, the one nearest to a time of day), written in time order as one
// movie through the movie writers or as an animated GIF through the GIF writer. Days and times
// of day are read in UTC or in the machine's local time.
#pragma once

#include "core/image/Bitmap.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

enum class TimeZoneChoice { Utc, Local };

struct ArchivedPicture {
    std::string path;
    std::time_t time = 0;  // the UTC second its name gives
    uint32_t sequence = 1; // the -N of its name; 1 without
};

// The UTC second an archive picture's name gives (YYYYMMDD-HHMMSS[-N].ext); none for names
// isArchivePictureName refuses and for dates that do not exist.
std::optional<std::time_t> archivePictureTime(std::string_view fileName);

// The archive pictures lying directly in `folder` whose time is in [from, to), oldest first (in
// one second by their -N, then by name).
// Sub-folders (the link's timelapse folder among them), other files and symbolic links are left
// out; a missing folder has none. Only the pictures in the span are held, however many the folder
// has.
std::vector<ArchivedPicture> picturesBetween(const std::string& folder, std::time_t from,
                                             std::time_t to);

// The start of the day holding `time`, and the start of the day `days` later: in local time a
// day may last 23 or 25 hours.
std::time_t dayStart(std::time_t time, TimeZoneChoice zone);
std::time_t addDays(std::time_t start, int days, TimeZoneChoice zone);
// YYYYMMDD of the day holding `time`.
std::string dayStamp(std::time_t time, TimeZoneChoice zone);

// "2026-12-08", "2026-12-08T14:05" or "2026-12-08T14:05:09" (a blank may stand for the T) as a
// time of the zone; none for anything else, impossible dates and times included.
std::optional<std::time_t> parseTimelapseTime(std::string_view text, TimeZoneChoice zone);
// "HH:MM" or "HH:MM:SS" as seconds after midnight; none for anything else.
std::optional<int> parseTimeOfDay(std::string_view text);

// One picture a day, days in order: of the pictures of each day (as the zone counts days), the
// one nearest to `secondsOfDay` on that day; the earlier one when two are as near. `pictures`
// must be oldest first.
std::vector<ArchivedPicture> nearestEachDay(const std::vector<ArchivedPicture>& pictures,
                                            int secondsOfDay, TimeZoneChoice zone);

enum class TimelapseFormat { Mp4, Avi, Gif };

// By the extension (.mp4, .avi, .gif, any case); none for others.
std::optional<TimelapseFormat> timelapseFormatForFile(const std::string& fileName);

struct TimelapseOptions {
    double fps = 24;
    // 0..10000 for movies (default: the format's, as `movie` has them); GIFs have none.
    std::optional<int> quality;
};

struct TimelapseResult {
    int frames = 0;
    // Pictures that could not be read, left out of the timelapse, and why the first could not.
    int skipped = 0;
    std::string firstSkipped;
};

// A GIF holds all its frames until it is written, each at a byte a pixel: a GIF timelapse whose
// frames would take more than this is refused before any picture is read.
constexpr uint64_t kGifTimelapseBudget = uint64_t{256} << 20;

// Writes the pictures in order, one frame each (a GIF picture gives its first frame), the size
// of the first that can be read: others are fitted as every movie fits them (resampled, Mitchell).
// Pictures that cannot be read are left out and counted. Movies go through the movie pipeline,
// which reads and prepares a few pictures at a time on every core (KESTRIX_THREADS) and writes in
// order; a GIF reads a few at a time too but holds the reduced frames. `gauge` gets the index of
// each frame before it is written. The file takes the place of `fileName` only when complete.
TimelapseResult writeTimelapse(const std::vector<ArchivedPicture>& pictures,
                               const std::string& fileName, TimelapseFormat format,
                               const TimelapseOptions& options,
                               const std::function<void(int)>& gauge);

// Decodes one archive picture into a 24-bit bitmap (a GIF: its first frame); false with the
// reason when it cannot.
bool readArchivePicture(const std::string& path, Bitmap& picture, std::string& error);

} // namespace kestrix
