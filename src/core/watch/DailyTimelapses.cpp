#include "core/watch/DailyTimelapses.h"

#include "core/macros/DateFormatter.h"
#include "core/util/DateTime.h"
#include "core/util/FileIO.h"
#include "core/util/FormatSettings.h"
#include "core/util/JsonText.h"
#include "core/watch/FetchLog.h"

#include <cmath>
#include <filesystem>
#include <sched.h>
#include <sys/resource.h>
#include <tbb/task_arena.h>
#include <unistd.h>

namespace kestrix {

namespace {

constexpr double kUnixEpochInDays = 25569; // 1970-01-01 as a DateTime

// The thread gives way to every other: the fetching threads (and anyone else on the machine)
// take the CPU whenever they want it. Its disk reads follow its nice value too.
void lowerThisThreadsPriority() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
}

// x264 sizes its thread pool from the CPUs the opening thread may run on: opened while this
// thread is held to one CPU, the encoder runs on this thread alone. The thread may move between
// CPUs again afterwards; only the encoder's choice is kept.
class OneCpuWhileOpening {
public:
    OneCpuWhileOpening() {
        CPU_ZERO(&allowed_);
        if (::sched_getaffinity(0, sizeof allowed_, &allowed_) != 0 || CPU_COUNT(&allowed_) <= 1)
            return;
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &allowed_)) {
                CPU_SET(cpu, &one);
                break;
            }
        held_ = ::sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneCpuWhileOpening() {
        if (held_)
            ::sched_setaffinity(0, sizeof allowed_, &allowed_);
    }
    OneCpuWhileOpening(const OneCpuWhileOpening&) = delete;
    OneCpuWhileOpening& operator=(const OneCpuWhileOpening&) = delete;

private:
    cpu_set_t allowed_{};
    bool held_ = false;
};

} // namespace

std::string dailyTimelapsePath(const std::string& saveDir, const std::string& folder,
                               const std::string& day) {
    return saveDir + "/" + (folder.empty() ? "" : folder + "/") + "timelapse/" + day + ".mp4";
}

std::string timelapseLogLine(const DailyTimelapseReport& r, std::time_t time, bool json) {
    if (!json) {
        std::string line =
            localTimeText(time) + " Timelapse " + toValidUtf8(r.folder) + " " + r.day + " ";
        if (!r.error.empty())
            return line + "failed: " + toValidUtf8(r.error);
        line += std::to_string(r.frames) + " frames " + toValidUtf8(r.file);
        if (r.skipped > 0)
            line += " (" + std::to_string(r.skipped) +
                    " pictures could not be read: " + toValidUtf8(r.firstSkipped) + ")";
        return line;
    }
    std::string line = "{\"time\":" + jsonString(isoUtc(time)) +
                       ",\"timelapse\":{\"link\":" + jsonString(r.folder) +
                       ",\"day\":" + jsonString(r.day) + ",\"frames\":" + std::to_string(r.frames) +
                       ",\"file\":" + jsonString(r.file);
    if (r.skipped > 0)
        line += ",\"skipped\":" + std::to_string(r.skipped) +
                ",\"first_skipped\":" + jsonString(r.firstSkipped);
    if (!r.error.empty())
        line += ",\"error\":" + jsonString(r.error);
    return line + "}}";
}

DailyTimelapses::DailyTimelapses(DailyTimelapseSettings settings, std::unique_ptr<Clock> clock)
    : settings_(std::move(settings)), clock_(std::move(clock)) {}

DailyTimelapses::~DailyTimelapses() {
    stop();
}

void DailyTimelapses::start() {
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void DailyTimelapses::requestStop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
}

void DailyTimelapses::stop() {
    requestStop();
    if (thread_.joinable())
        thread_.join();
}

std::time_t DailyTimelapses::now() const {
    return static_cast<std::time_t>(
        std::llround((clock_->utcNow() - kUnixEpochInDays) * kSecondsPerDay));
}

void DailyTimelapses::run() {
    lowerThisThreadsPriority();
    // Work the movie code hands to oneTBB (decoding PNG rows, resampling odd-sized pictures)
    // stays on this thread too.
    tbb::task_arena oneThread(1);
    std::optional<std::time_t> done;
    for (;;) {
        const std::time_t today = dayStart(now() - settings_.settle.count(), settings_.zone);
        const std::time_t yesterday = addDays(today, -1, settings_.zone);
        if (yesterday != done) {
            oneThread.execute([&] { makeDay(yesterday); });
            if (!stop_)
                done = yesterday;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, settings_.checkEvery, [this] { return stop_.load(); }))
            return;
    }
}

void DailyTimelapses::makeDay(std::time_t start) {
    for (const std::string& folder : settings_.folders) {
        if (stop_)
            return;
        const std::optional<DailyTimelapseReport> report = makeMovie(folder, start);
        if (report && reportSink_)
            reportSink_(*report);
    }
}

std::optional<DailyTimelapseReport> DailyTimelapses::makeMovie(const std::string& folder,
                                                               std::time_t start) {
    DailyTimelapseReport report;
    report.folder = folder;
    report.day = dayStamp(start, settings_.zone);
    report.file = dailyTimelapsePath(settings_.saveDir, folder, report.day);
    std::error_code ec;
    if (std::filesystem::symlink_status(report.file, ec).type() !=
        std::filesystem::file_type::not_found)
        return std::nullopt;
    const std::string linkFolder = settings_.saveDir + (folder.empty() ? "" : "/" + folder);
    const std::vector<ArchivedPicture> pictures =
        picturesBetween(linkFolder, start, addDays(start, 1, settings_.zone));
    if (pictures.empty())
        return std::nullopt;
    try {
        std::filesystem::create_directories(linkFolder + "/timelapse");
        const std::unique_ptr<MovieWriter> writer =
            makeMovieWriter(MovieFormat::Mp4, {settings_.fps, settings_.quality, false});
        bool open = false;
        for (const ArchivedPicture& picture : pictures) {
            if (stop_) {
                writer->discard();
                return std::nullopt;
            }
            Bitmap frame;
            std::string error;
            if (!readArchivePicture(picture.path, frame, error)) {
                if (report.skipped++ == 0)
                    report.firstSkipped = picture.path + ": " + error;
                continue;
            }
            if (!open) {
                const OneCpuWhileOpening oneCpu;
                writer->open(frame, report.file);
                open = true;
            }
            writer->addFrame(frame);
            ++report.frames;
            if (frameHook_)
                frameHook_(folder, report.frames);
        }
        if (!open) {
            report.error = "None of the " + std::to_string(pictures.size()) +
                           " pictures could be read (" + report.firstSkipped + ")";
            return report;
        }
        if (stop_) {
            writer->discard();
            return std::nullopt;
        }
        writer->close();
    } catch (const std::exception& e) {
        report.error = e.what();
        report.frames = 0;
    }
    return report;
}

} // namespace kestrix
