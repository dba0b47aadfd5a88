#include "core/watch/Timelapse.h"

#include "core/decode/ImageDecoder.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/gif/ColorQuantizer.h"
#include "core/movie/MovieExport.h"
#include "core/movie/MovieFrame.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Parallel.h"
#include "core/util/Text.h"
#include "core/watch/PictureArchive.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace kestrix {

namespace {

// Whole numbers of fixed width; none when a character is not a digit.
std::optional<int> digits(std::string_view text) {
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return text.empty() ? std::nullopt : std::optional<int>(value);
}

std::tm brokenDown(std::time_t time, TimeZoneChoice zone) {
    std::tm parts{};
    if (zone == TimeZoneChoice::Utc)
        gmtime_r(&time, &parts);
    else
        localtime_r(&time, &parts);
    return parts;
}

std::time_t fromBrokenDown(std::tm parts, TimeZoneChoice zone) {
    parts.tm_isdst = -1;
    return zone == TimeZoneChoice::Utc ? timegm(&parts) : mktime(&parts);
}

// The calendar fields are a real date and time: they survive a trip through timegm unchanged.
bool realDateTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const std::time_t time = timegm(&parts);
    std::tm back{};
    gmtime_r(&time, &back);
    return back.tm_year == year - 1900 && back.tm_mon == month - 1 && back.tm_mday == day &&
           back.tm_hour == hour && back.tm_min == minute && back.tm_sec == second;
}

std::tm calendarTime(int year, int month, int day, int secondsOfDay) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = secondsOfDay / 3600;
    parts.tm_min = secondsOfDay / 60 % 60;
    parts.tm_sec = secondsOfDay % 60;
    return parts;
}

// The -N of a picture's name; 1 without.
uint32_t pictureSequence(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot <= 16 || name[15] != '-')
        return 1;
    uint64_t value = 0;
    for (const char c : name.substr(16, dot - 16))
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), UINT32_MAX);
    return static_cast<uint32_t>(value);
}

bool isPlainFile(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_REG)
        return true;
    if (entry.d_type != DT_UNKNOWN)
        return false;
    struct stat info {};
    return ::lstat((folder + "/" + entry.d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Pictures left out because they could not be read; the first in timelapse order is named.
class Skips {
public:
    void add(size_t index, const std::string& path, const std::string& error) {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
        if (index < firstIndex_) {
            firstIndex_ = index;
            first_ = path + ": " + error;
        }
    }
    void fill(TimelapseResult& result) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        result.skipped = count_;
        result.firstSkipped = first_;
    }
    int count() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }
    // Nothing could be read: the pictures' own reason says more than "No Movie To Save".
    [[noreturn]] void throwNoneReadable(size_t pictures) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        throw Error("None of the " + std::to_string(pictures) + " pictures could be read (" +
                    first_ + ")");
    }

private:
    mutable std::mutex mutex_;
    int count_ = 0;
    size_t firstIndex_ = SIZE_MAX;
    std::string first_;
};

TimelapseResult writeMovieTimelapse(const std::vector<ArchivedPicture>& pictures,
                                    const std::string& fileName, MovieFormat format,
                                    const TimelapseOptions& options,
                                    const std::function<void(int)>& gauge) {
    Skips skips;
    const MovieSource source{pictures.size(), [&](size_t index, const FrameVisitor& each) {
                                 Bitmap picture;
                                 std::string error;
                                 if (readArchivePicture(pictures[index].path, picture, error))
                                     each(picture);
                                 else
                                     skips.add(index, pictures[index].path, error);
                             }};
    const int quality =
        options.quality.value_or(format == MovieFormat::Mp4 ? kDefaultMp4Quality : 10000);
    const std::unique_ptr<MovieWriter> writer =
        makeMovieWriter(format, {options.fps, quality, false});
    try {
        writeMovie(*writer, fileName, source, gauge);
    } catch (const Error&) {
        if (skips.count() == static_cast<int>(pictures.size()))
            skips.throwNoneReadable(pictures.size());
        throw;
    }
    TimelapseResult result;
    skips.fill(result);
    result.frames = static_cast<int>(pictures.size()) - result.skipped;
    return result;
}

TimelapseResult writeGifTimelapse(const std::vector<ArchivedPicture>& pictures,
                                  const std::string& fileName, const TimelapseOptions& options,
                                  const std::function<void(int)>& gauge) {
    Skips skips;
    // The first picture that can be read gives the size, and with it the memory the GIF needs.
    size_t first = 0;
    Bitmap firstPicture;
    for (std::string error; first < pictures.size(); ++first) {
        if (readArchivePicture(pictures[first].path, firstPicture, error))
            break;
        skips.add(first, pictures[first].path, error);
    }
    if (first == pictures.size())
        skips.throwNoneReadable(pictures.size());
    const int width = firstPicture.width(), height = firstPicture.height();
    if (width > 65535 || height > 65535)
        throw Error(
            strPrintf("A GIF cannot hold pictures of %dx%d (at most 65535x65535)", width, height));
    const uint64_t frames = pictures.size() - first;
    const uint64_t bytes = frames * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (bytes > kGifTimelapseBudget)
        throw Error(strPrintf("A GIF of %llu pictures of %dx%d would hold %llu MiB of frames (at "
                              "most %llu MiB): write an .mp4, or take one picture a day (--at)",
                              static_cast<unsigned long long>(frames), width, height,
                              static_cast<unsigned long long>(bytes >> 20),
                              static_cast<unsigned long long>(kGifTimelapseBudget >> 20)));

    const int delayMs = delayMsForFps(options.fps);
    AnimatedGif gif;
    std::vector<Bitmap> reduced(pictures.size());
    int written = 0;
    forEachInOrder(
        static_cast<int>(first), static_cast<int>(pictures.size()),
        [&](int i) {
            const auto k = static_cast<size_t>(i);
            Bitmap read;
            std::string error;
            if (k != first && !readArchivePicture(pictures[k].path, read, error)) {
                skips.add(k, pictures[k].path, error);
                return;
            }
            Bitmap storage;
            reduced[k] = reduceToPalette(
                movieFrame(k == first ? firstPicture : read, width, height, storage));
        },
        [&](int i) {
            Bitmap& frame = reduced[static_cast<size_t>(i)];
            if (frame.empty())
                return;
            if (gauge)
                gauge(written);
            gif.addReducedFrame(std::move(frame), delayMs);
            frame = Bitmap();
            ++written;
        });
    writeFileAtomically(fileName, gif.encode(nullptr));
    TimelapseResult result;
    skips.fill(result);
    result.frames = written;
    return result;
}

} // namespace

std::optional<std::time_t> archivePictureTime(std::string_view name) {
    if (!isArchivePictureName(name))
        return std::nullopt;
    const int year = *digits(name.substr(0, 4)), month = *digits(name.substr(4, 2)),
              day = *digits(name.substr(6, 2)), hour = *digits(name.substr(9, 2)),
              minute = *digits(name.substr(11, 2)), second = *digits(name.substr(13, 2));
    if (!realDateTime(year, month, day, hour, minute, second))
        return std::nullopt;
    std::tm parts = calendarTime(year, month, day, hour * 3600 + minute * 60 + second);
    return timegm(&parts);
}

std::vector<ArchivedPicture> picturesBetween(const std::string& folder, std::time_t from,
                                             std::time_t to) {
    std::vector<ArchivedPicture> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        const std::optional<std::time_t> time = archivePictureTime(name);
        if (!time || *time < from || *time >= to || !isPlainFile(folder, *entry))
            continue;
        found.push_back({folder + "/" + std::string(name), *time, pictureSequence(name)});
    }
    std::sort(found.begin(), found.end(), [](const ArchivedPicture& a, const ArchivedPicture& b) {
        if (a.time != b.time)
            return a.time < b.time;
        if (a.sequence != b.sequence)
            return a.sequence < b.sequence;
        return a.path < b.path;
    });
    return found;
}

std::time_t dayStart(std::time_t time, TimeZoneChoice zone) {
    std::tm parts = brokenDown(time, zone);
    const int day = parts.tm_mday;
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    std::time_t start = fromBrokenDown(parts, zone);
    // Where the clocks skip midnight, the day begins at the first hour that exists.
    for (int hours = 0; hours < 24 && brokenDown(start, zone).tm_mday != day; ++hours)
        start += 3600;
    return start;
}

std::time_t addDays(std::time_t start, int days, TimeZoneChoice zone) {
    std::tm parts = brokenDown(start, zone);
    parts.tm_mday += days;
    parts.tm_hour = 12; // a noon exists on every day; mktime puts the date in order
    parts.tm_min = parts.tm_sec = 0;
    return dayStart(fromBrokenDown(parts, zone), zone);
}

std::string dayStamp(std::time_t time, TimeZoneChoice zone) {
    const std::tm parts = brokenDown(time, zone);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%Y%m%d", &parts);
    return stamp;
}

std::optional<std::time_t> parseTimelapseTime(std::string_view text, TimeZoneChoice zone) {
    if (text.size() != 10 && text.size() != 16 && text.size() != 19)
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto year = digits(text.substr(0, 4)), month = digits(text.substr(5, 2)),
               day = digits(text.substr(8, 2));
    std::optional<int> hour = 0, minute = 0, second = 0;
    if (text.size() >= 16) {
        if ((text[10] != 'T' && text[10] != ' ') || text[13] != ':')
            return std::nullopt;
        hour = digits(text.substr(11, 2));
        minute = digits(text.substr(14, 2));
    }
    if (text.size() == 19) {
        if (text[16] != ':')
            return std::nullopt;
        second = digits(text.substr(17, 2));
    }
    if (!year || !month || !day || !hour || !minute || !second ||
        !realDateTime(*year, *month, *day, *hour, *minute, *second))
        return std::nullopt;
    return fromBrokenDown(calendarTime(*year, *month, *day, *hour * 3600 + *minute * 60 + *second),
                          zone);
}

std::optional<int> parseTimeOfDay(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2)
        return std::nullopt;
    const std::string_view rest = text.substr(colon + 1);
    if (rest.size() != 2 && (rest.size() != 5 || rest[2] != ':'))
        return std::nullopt;
    const auto hour = digits(text.substr(0, colon)), minute = digits(rest.substr(0, 2));
    const auto second = rest.size() == 5 ? digits(rest.substr(3, 2)) : std::optional<int>(0);
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    return *hour * 3600 + *minute * 60 + *second;
}

std::vector<ArchivedPicture> nearestEachDay(const std::vector<ArchivedPicture>& pictures,
                                            int secondsOfDay, TimeZoneChoice zone) {
    std::vector<ArchivedPicture> chosen;
    std::string day;
    std::time_t target = 0;
    std::time_t bestDistance = 0;
    for (const ArchivedPicture& picture : pictures) {
        const std::string stamp = dayStamp(picture.time, zone);
        const bool newDay = stamp != day;
        if (newDay) {
            const std::tm parts = brokenDown(picture.time, zone);
            target = fromBrokenDown(
                calendarTime(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, secondsOfDay),
                zone);
        }
        const std::time_t distance =
            picture.time > target ? picture.time - target : target - picture.time;
        if (newDay) {
            day = stamp;
            chosen.push_back(picture);
            bestDistance = distance;
        } else if (distance < bestDistance) {
            chosen.back() = picture;
            bestDistance = distance;
        }
    }
    return chosen;
}

std::optional<TimelapseFormat> timelapseFormatForFile(const std::string& fileName) {
    const std::string extension = std::filesystem::path(fileName).extension().string();
    if (equalsIgnoreCase(extension, ".mp4"))
        return TimelapseFormat::Mp4;
    if (equalsIgnoreCase(extension, ".avi"))
        return TimelapseFormat::Avi;
    if (equalsIgnoreCase(extension, ".gif"))
        return TimelapseFormat::Gif;
    return std::nullopt;
}

TimelapseResult writeTimelapse(const std::vector<ArchivedPicture>& pictures,
                               const std::string& fileName, TimelapseFormat format,
                               const TimelapseOptions& options,
                               const std::function<void(int)>& gauge) {
    if (pictures.empty())
        throw Error("No Movie To Save");
    if (format == TimelapseFormat::Gif)
        return writeGifTimelapse(pictures, fileName, options, gauge);
    return writeMovieTimelapse(pictures, fileName,
                               format == TimelapseFormat::Avi ? MovieFormat::Avi : MovieFormat::Mp4,
                               options, gauge);
}

bool readArchivePicture(const std::string& path, Bitmap& picture, std::string& error) {
    try {
        decodeImage(readFileBytes(path), std::filesystem::path(path).filename().string(), picture,
                    nullptr);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

} // namespace kestrix
