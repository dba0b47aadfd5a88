#include "web/TimelapseDownload.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"
#include "core/watch/DailyTimelapses.h"
#include "web/RequestHead.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrix::web {

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDaySeconds = 86400;
// Seconds a refused client is asked to wait before it asks again.
constexpr const char* kRetryAfter = "10";
constexpr const char* kTimes = "YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS (UTC)";

// A download leaves the server room for the pictures its other clients are still taking.
static_assert(kWholeMovieBytes <= PageLimits{}.maxHeldReplyBytes / 2);

PageReply textReply(int status, const std::string& line) {
    return {status, line + "\n", "text/plain; charset=utf-8", {}};
}

PageReply busyReply(const std::string& line) {
    PageReply reply = textReply(503, line);
    reply.headers.emplace_back("Retry-After", kRetryAfter);
    return reply;
}

// Thrown by the gauge to stop a movie; not an Error, so that the timelapse code lets it pass.
struct MovieTooLarge {};
// Thrown by the gauge when the site is stopping.
struct MovieHalted {};

// What a request asks for, checked.
struct Ask {
    LinkView link;
    std::time_t from = 0;
    std::time_t to = 0;
    std::optional<int> at;
    TimelapseFormat format = TimelapseFormat::Mp4;
    double fps = 24;
};

// A value a request gave, as a refusal may quote it.
std::string quoted(const std::string& text) {
    return "\"" + utf8Left(text, 40) + "\"";
}

// "24", "0.5", "12.5": plain decimals only, no signs, exponents or names.
std::optional<double> fpsValue(const std::string& text) {
    const size_t dot = text.find('.');
    const auto digitsOnly = [](std::string_view part) {
        return !part.empty() && part.size() <= 6 &&
               std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digitsOnly(std::string_view(text).substr(0, dot)) ||
        (dot != std::string::npos && !digitsOnly(std::string_view(text).substr(dot + 1))))
        return std::nullopt;
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// A folder path under the save folder without empty, "." or ".." segments; "" is the folder.
bool plainRelative(const std::string& directory) {
    if (directory.empty())
        return true;
    for (size_t begin = 0;;) {
        const size_t slash = directory.find('/', begin);
        const std::string segment = directory.substr(begin, slash - begin);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (slash == std::string::npos)
            return true;
        begin = slash + 1;
    }
}

// The link's folder once symbolic links are resolved, when it lies inside the save folder; ""
// otherwise.
std::string folderInside(const std::string& saveDir, const std::string& directory) {
    std::error_code ec;
    const fs::path root = fs::canonical(saveDir, ec);
    if (ec)
        return "";
    const fs::path folder = fs::canonical(fs::path(saveDir) / directory, ec);
    if (ec || !fs::is_directory(folder, ec))
        return "";
    const auto inside = std::mismatch(root.begin(), root.end(), folder.begin(), folder.end()).first;
    return inside == root.end() ? folder.string() : "";
}

bool isPlainFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<PageReply> readTimes(const std::string& query, Ask& ask, int maxDays) {
    const std::optional<std::string> from = queryValue(query, "from");
    const std::optional<std::string> to = queryValue(query, "to");
    if (!from || !to)
        return textReply(400, "Which span? Add &from=TIME&to=TIME, each as " + std::string(kTimes));
    const std::optional<std::time_t> start = parseTimelapseTime(*from, TimeZoneChoice::Utc);
    if (!start)
        return textReply(400, "from= takes " + std::string(kTimes) + ", not " + quoted(*from));
    const std::optional<std::time_t> end = parseTimelapseTime(*to, TimeZoneChoice::Utc);
    if (!end)
        return textReply(400, "to= takes " + std::string(kTimes) + ", not " + quoted(*to));
    if (*end <= *start)
        return textReply(400, "to= must be later than from=");
    // One picture a day is bounded by the number of pictures alone.
    if (!ask.at && *end - *start > maxDays * kDaySeconds)
        return textReply(400, "A timelapse spans at most " + std::to_string(maxDays) +
                                  " days (one picture a day, at=HH:MM, any number)");
    ask.from = *start;
    ask.to = *end;
    return std::nullopt;
}

std::optional<PageReply> readMovieOptions(const std::string& query, Ask& ask) {
    if (const std::optional<std::string> at = queryValue(query, "at")) {
        ask.at = parseTimeOfDay(*at);
        if (!ask.at)
            return textReply(400,
                             "at= takes a time of day as HH:MM or HH:MM:SS, not " + quoted(*at));
    }
    const std::string format = queryValue(query, "format").value_or("mp4");
    if (format == "gif")
        ask.format = TimelapseFormat::Gif;
    else if (format != "mp4")
        return textReply(400, "format= takes mp4 or gif, not " + quoted(format));
    if (const std::optional<std::string> fps = queryValue(query, "fps")) {
        const std::optional<double> value = fpsValue(*fps);
        if (!value || *value < 0.5 || *value > 60)
            return textReply(400, "fps= takes a number from 0.5 to 60, not " + quoted(*fps));
        ask.fps = *value;
    }
    return std::nullopt;
}

std::optional<PageReply> readAsk(const SiteSources& sources, const PageRequest& request,
                                 const TimelapseLimits& limits, Ask& ask) {
    const std::optional<std::string> directory = queryValue(request.query, "link");
    if (!directory)
        return textReply(400, "Which link? Add ?link=FOLDER");
    std::optional<LinkView> link;
    if (plainRelative(*directory))
        link = findLink(sources, *directory);
    if (!link)
        return textReply(400, "No link " + quoted(*directory) + " in this archive");
    ask.link = std::move(*link);
    if (std::optional<PageReply> refused = readMovieOptions(request.query, ask))
        return refused;
    return readTimes(request.query, ask, limits.maxDays);
}

std::time_t startOfDay(uint32_t day) {
    std::tm parts{};
    parts.tm_year = static_cast<int>(day / 10000) - 1900;
    parts.tm_mon = static_cast<int>(day / 100 % 100) - 1;
    parts.tm_mday = static_cast<int>(day % 100);
    return timegm(&parts);
}

// The pictures of one day of the index that lie in the asked span, oldest first.
std::vector<ArchivedPicture> picturesOfDay(const ArchiveIndex& index, const Ask& ask,
                                           const std::string& folder, uint32_t day) {
    std::vector<ArchivedPicture> pictures;
    for (const std::string& name : index.picturesOfDay(ask.link.link.directory, day)) {
        const std::optional<std::time_t> time = archivePictureTime(name);
        if (time && *time >= ask.from && *time < ask.to)
            pictures.push_back({folder + "/" + name, *time});
    }
    return pictures;
}

// The day's picture nearest to the asked time of day that is a plain file, if any.
std::optional<ArchivedPicture> nearestPlainFile(std::vector<ArchivedPicture> pictures, int at) {
    while (!pictures.empty()) {
        const ArchivedPicture nearest = nearestEachDay(pictures, at, TimeZoneChoice::Utc).front();
        if (isPlainFile(nearest.path))
            return nearest;
        std::erase_if(pictures, [&](const ArchivedPicture& p) { return p.path == nearest.path; });
    }
    return std::nullopt;
}

// One picture a day, as the index chooses it for whole days; a day the span cuts, or whose
// choice is not a plain file, chooses among its own pictures in the span.
std::vector<ArchivedPicture> oneADay(const ArchiveIndex& index, const Ask& ask,
                                     const std::string& folder) {
    std::vector<ArchivedPicture> frames;
    for (const std::string& name : index.nearestEachDay(ask.link.link.directory, *ask.at)) {
        const std::optional<std::time_t> time = archivePictureTime(name);
        if (!time)
            continue;
        const std::time_t start = dayStart(*time, TimeZoneChoice::Utc);
        if (start + kDaySeconds <= ask.from || start >= ask.to)
            continue;
        ArchivedPicture chosen{folder + "/" + name, *time};
        if (start < ask.from || start + kDaySeconds > ask.to || !isPlainFile(chosen.path)) {
            const auto day = static_cast<uint32_t>(std::stoul(name.substr(0, 8)));
            std::optional<ArchivedPicture> nearest =
                nearestPlainFile(picturesOfDay(index, ask, folder, day), *ask.at);
            if (!nearest)
                continue;
            chosen = std::move(*nearest);
        }
        frames.push_back(std::move(chosen));
    }
    return frames;
}

// The movie's frames, never more than `maxPictures` + a day of them held; nothing when there
// would be more. Symbolic links are left out, as the timelapse command leaves them.
std::optional<std::vector<ArchivedPicture>>
framesOf(const ArchiveIndex& index, const Ask& ask, const std::string& folder, size_t maxPictures) {
    std::vector<ArchivedPicture> frames;
    if (ask.at) {
        frames = oneADay(index, ask, folder);
        return frames.size() > maxPictures ? std::nullopt : std::optional(std::move(frames));
    }
    for (const ArchiveIndex::DayCount& day : index.days(ask.link.link.directory)) {
        const std::time_t start = startOfDay(day.day);
        if (start + kDaySeconds <= ask.from || start >= ask.to)
            continue;
        for (ArchivedPicture& picture : picturesOfDay(index, ask, folder, day.day))
            if (isPlainFile(picture.path))
                frames.push_back(std::move(picture));
        if (frames.size() > maxPictures)
            return std::nullopt;
    }
    return frames;
}

// 20261105, 20261105T1200 or 20261105T120005
std::string fileStamp(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    const char* format = utc.tm_sec != 0                       ? "%Y%m%dT%H%M%S"
                         : utc.tm_hour != 0 || utc.tm_min != 0 ? "%Y%m%dT%H%M"
                                                               : "%Y%m%d";
    char text[32];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

// The link's path as a file name a browser keeps as it is: ASCII letters, digits, '-', '_' and
// '.' (not first); '/' becomes '-', anything else one '_' a run.
std::string fileStem(const std::string& path) {
    std::string stem;
    for (const char c : path) {
        const bool kept = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                          (c >= 'A' && c <= 'Z') || c == '-' || c == '_' ||
                          (c == '.' && !stem.empty());
        const char put = c == '/' ? '-' : kept ? c : '_';
        if (put != '_' || stem.empty() || stem.back() != '_')
            stem += put;
    }
    stem.resize(std::min<size_t>(stem.size(), 60));
    return stem.empty() ? "timelapse" : stem;
}

std::string downloadName(const Ask& ask) {
    std::string name =
        fileStem(ask.link.path) + "-" + fileStamp(ask.from) + "-" + fileStamp(ask.to);
    if (const std::optional<int> at = ask.at)
        name += strPrintf("-at%02d%02d", *at / 3600, *at / 60 % 60) +
                (*at % 60 != 0 ? strPrintf("%02d", *at % 60) : "");
    return name + (ask.format == TimelapseFormat::Gif ? ".gif" : ".mp4");
}

// A failure's text for the client: the pictures by their names, not by the server's folders.
std::string withoutFolder(std::string text, const std::string& folder) {
    const std::string prefix = folder + "/";
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at))
        text.erase(at, prefix.size());
    return "Cannot make the timelapse: " + text;
}

std::string sizeText(uint64_t bytes) {
    return bytes >= (1 << 20) ? std::to_string(bytes >> 20) + " MiB"
                              : std::to_string(bytes) + " bytes";
}

// A folder of this process's own under the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& root) {
        std::error_code ec;
        const fs::path base = root.empty() ? fs::temp_directory_path(ec) : fs::path(root);
        std::string pattern = (base / "kestrix-timelapse-XXXXXX").string();
        if (ec || ::mkdtemp(pattern.data()) == nullptr)
            throw Error("Cannot make a temporary folder in " + base.string() + ". " +
                        (ec ? ec.message() : systemErrorText(errno)));
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

    // What the movie writers hold in it so far, temporary names included.
    uint64_t bytes() const {
        uint64_t total = 0;
        std::error_code ec;
        for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec))
            total += it->is_regular_file(ec) ? it->file_size(ec) : 0;
        return total;
    }

private:
    std::string path_;
};

} // namespace

struct TimelapseDownload::Job {
    std::string folder;
    std::vector<ArchivedPicture> pictures;
    TimelapseFormat format = TimelapseFormat::Mp4;
    double fps = 24;
    std::string name;
    // Under the queue's lock.
    bool started = false;
    bool done = false;
    PageReply reply;
};

TimelapseDownload::TimelapseDownload(TimelapseLimits limits, TimelapseHooks hooks)
    : limits_(std::move(limits)), hooks_(std::move(hooks)) {}

void TimelapseDownload::stop() {
    halted_ = true;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

TimelapseDownload::~TimelapseDownload() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (maker_.joinable())
        maker_.join();
}

PageReply TimelapseDownload::answer(const SiteSources& sources, const PageRequest& request) {
    Ask ask;
    if (std::optional<PageReply> refused = readAsk(sources, request, limits_, ask))
        return *refused;
    // Half an archive would make half a timelapse.
    if (!sources.index->ready())
        return busyReply("The archive is still being read: try again in a minute");
    PageReply noPictures = textReply(404, "No pictures of " + ask.link.path + " in that span");
    const std::string folder = folderInside(sources.saveDir, ask.link.link.directory);
    if (folder.empty())
        return sources.index->days(ask.link.link.directory).empty()
                   ? noPictures
                   : textReply(400,
                               "The folder of " + ask.link.path + " is not inside the archive");
    std::optional<std::vector<ArchivedPicture>> frames =
        framesOf(*sources.index, ask, folder, limits_.maxPictures);
    if (!frames)
        return textReply(400, "The span holds more than " + std::to_string(limits_.maxPictures) +
                                  " pictures: ask for a shorter span, or one picture a day "
                                  "(at=HH:MM)");
    if (frames->empty())
        return noPictures;

    auto job = std::make_shared<Job>();
    job->folder = folder;
    job->pictures = std::move(*frames);
    job->format = ask.format;
    job->fps = ask.fps;
    job->name = downloadName(ask);
    try {
        return queueAndWait(job);
    } catch (const std::system_error&) {
        return busyReply("Cannot start making timelapses now");
    }
}

PageReply TimelapseDownload::queueAndWait(const std::shared_ptr<Job>& job) {
    std::unique_lock lock(mutex_);
    if (stopping_)
        return busyReply("The server is stopping");
    if (waiting_.size() + (making_ ? 1 : 0) > limits_.maxWaiting)
        return busyReply("Busy making another timelapse, with " + std::to_string(waiting_.size()) +
                         " waiting: try again in a minute");
    if (!maker_.joinable())
        maker_ = std::thread([this] { makeInTurn(); });
    waiting_.push_back(job);
    if (making_ && hooks_.waiting)
        hooks_.waiting(waiting_.size());
    changed_.notify_all();
    // Each waiting request holds a handler thread of the server: the wait is bounded.
    const auto deadline = std::chrono::steady_clock::now() + limits_.longestWait;
    if (!changed_.wait_until(lock, deadline, [&] { return job->started || stopping_; }) ||
        !job->started) {
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), job));
        if (stopping_)
            return busyReply("The server is stopping");
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(limits_.longestWait);
        return busyReply("Waited " + std::to_string(seconds.count()) +
                         " s for other timelapses to be made: try again later");
    }
    changed_.wait(lock, [&] { return job->done; });
    return std::move(job->reply);
}

void TimelapseDownload::makeInTurn() {
    // Below every other thread: the watch's fetches and the other pages come first. The
    // encoder's own threads, started from this one, inherit it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        const std::shared_ptr<Job> job = waiting_.front();
        waiting_.pop_front();
        job->started = true;
        making_ = true;
        changed_.notify_all();
        lock.unlock();
        if (hooks_.making)
            hooks_.making();
        PageReply reply = make(*job);
        lock.lock();
        job->reply = std::move(reply);
        job->done = true;
        making_ = false;
        changed_.notify_all();
    }
}

PageReply TimelapseDownload::make(const Job& job) const {
    const bool gif = job.format == TimelapseFormat::Gif;
    try {
        const ScratchFolder scratch(limits_.temporaryRoot);
        const std::string file = scratch.path() + (gif ? "/timelapse.gif" : "/timelapse.mp4");
        bool tooLarge = false;
        // Called before every frame and once more after a failure: it throws once at most.
        const auto gauge = [&](int) {
            if (halted_)
                throw MovieHalted{};
            if (!tooLarge && scratch.bytes() > limits_.maxMovieBytes) {
                tooLarge = true;
                throw MovieTooLarge{};
            }
        };
        TimelapseOptions options{job.fps, std::nullopt};
        if (!gif)
            options.quality = kDailyTimelapseQuality;
        writeTimelapse(job.pictures, file, job.format, options, gauge);
        if (fs::file_size(file) > limits_.maxMovieBytes)
            throw MovieTooLarge{};
        return {200,
                readFileBytes(file),
                gif ? "image/gif" : "video/mp4",
                {{"Content-Disposition", "attachment; filename=\"" + job.name + "\""}}};
    } catch (const MovieHalted&) {
        return busyReply("The server is stopping");
    } catch (const MovieTooLarge&) {
        return textReply(400, "The timelapse comes to more than " +
                                  sizeText(limits_.maxMovieBytes) +
                                  ", more than one answer may hold: ask for a shorter span, or "
                                  "one picture a day (at=HH:MM)");
    } catch (const Error& e) {
        // Timelapse.h refuses a GIF over its memory budget before it reads more than a picture.
        if (gif && std::string_view(e.what()).starts_with("A GIF "))
            return textReply(400, e.what());
        return textReply(500, withoutFolder(e.what(), job.folder));
    } catch (const std::exception& e) {
        return textReply(500, withoutFolder(e.what(), job.folder));
    }
}

} // namespace kestrix::web
