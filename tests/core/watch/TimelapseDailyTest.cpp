// The watch's daily timelapses: yesterday's movie of every link with pictures, never a day that
// has one, never the older days at start, nothing left by a stop, and the movie made on one
// low-priority thread.
#include "core/image/ImageFile.h"
#include "core/movie/MovieTestSupport.h"
#include "core/util/DateTime.h"
#include "core/watch/ArchiveIndex.h"
#include "core/watch/DailyTimelapses.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDay1 = 1741564800; // 2025-03-10 00:00:00 UTC
constexpr int kPerDay = 12;               // a picture every two hours

// Two past days of pictures for each folder, of changing sizes and formats; large enough that
// x264 would take several threads if it could.
void makeArchive(const std::string& saveDir, const std::vector<std::string>& folders) {
    const char* extensions[] = {"jpg", "png", "bmp"};
    for (const std::string& folder : folders) {
        fs::create_directories(saveDir + "/" + folder);
        for (int i = 0; i < 2 * kPerDay; ++i) {
            const std::time_t time = kDay1 + i * 7200;
            std::tm utc{};
            gmtime_r(&time, &utc);
            char name[32];
            std::strftime(name, sizeof name, "%Y%m%d-%H%M%S", &utc);
            saveImageFile(detailedFrame(160 + 16 * (i % 2), 120 + 12 * (i % 2), i),
                          saveDir + "/" + folder + "/" + name + "." + extensions[i % 3]);
        }
    }
}

// 2025-03-12 10:00 UTC: "yesterday" is the 11th.
std::unique_ptr<Clock> dayThree() {
    return std::make_unique<FixedClock>(encodeDateTime(2025, 3, 12, 10, 0, 0));
}

// The reports a maker sends, waited for without sleeping.
class Reports {
public:
    DailyTimelapses::ReportSink sink() {
        return [this](const DailyTimelapseReport& report) {
            const std::lock_guard<std::mutex> lock(mutex_);
            reports_.push_back(report);
            changed_.notify_all();
        };
    }
    // The first `count` reports; fewer when they do not come within a generous while.
    std::vector<DailyTimelapseReport> wait(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::minutes(2), [&] { return reports_.size() >= count; });
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DailyTimelapseReport> reports_;
};

size_t threadsOfThisProcess() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

} // namespace

TEST(TimelapseDaily, YesterdaysMovieIsMadeOnceForEveryLinkWithPictures) {
    TempDir dir("daily");
    makeArchive(dir.path(), {"Cams/A", "B"});
    fs::create_directories(dir.file("Quiet"));
    // B's movie of the 11th exists already: it stays as it is.
    fs::create_directories(dir.file("B/timelapse"));
    writeFile(dir.file("B/timelapse/20250311.mp4"), "made before");

    DailyTimelapseSettings settings;
    settings.saveDir = dir.path();
    settings.folders = {"B", "Quiet", "Cams/A"};
    settings.fps = 6;
    DailyTimelapses maker(settings, dayThree());
    Reports reports;
    maker.onReport(reports.sink());
    const size_t threadsBefore = threadsOfThisProcess();
    size_t threadsWhileEncoding = 0;
    int niceWhileEncoding = 0;
    maker.onFrame([&](const std::string&, int frames) {
        if (frames == kPerDay / 2) {
            threadsWhileEncoding = threadsOfThisProcess();
            niceWhileEncoding = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        }
    });
    maker.start();
    const std::vector<DailyTimelapseReport> got = reports.wait(1);
    maker.stop();

    // Only A had a movie to make; B's exists and Quiet has no pictures.
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].folder, "Cams/A");
    EXPECT_EQ(got[0].day, "20250311");
    EXPECT_EQ(got[0].error, "");
    EXPECT_EQ(got[0].frames, kPerDay);
    EXPECT_EQ(got[0].file, dir.file("Cams/A/timelapse/20250311.mp4"));
    auto stream = probeMovie(got[0].file);
    EXPECT_EQ(stream["nb_read_frames"], std::to_string(kPerDay));
    EXPECT_EQ(stream["r_frame_rate"], "6/1");
    EXPECT_EQ(stream["width"], "160");
    EXPECT_EQ(readFile(dir.file("B/timelapse/20250311.mp4")), "made before");
    // At start only the day before is caught up on.
    EXPECT_FALSE(fs::exists(dir.file("Cams/A/timelapse/20250310.mp4")));
    EXPECT_FALSE(fs::exists(dir.file("Quiet/timelapse")));
    EXPECT_EQ(filesUnder(dir.file("Cams/A/timelapse")), std::vector<std::string>{"20250311.mp4"});

    // The encoder ran on the maker's own thread alone, at the lowest priority.
    EXPECT_EQ(threadsWhileEncoding, threadsBefore + 1);
    EXPECT_EQ(niceWhileEncoding, 19);
}

TEST(TimelapseDaily, AStopDuringAMovieLeavesNoFile) {
    TempDir dir("daily");
    makeArchive(dir.path(), {"A"});
    DailyTimelapseSettings settings;
    settings.saveDir = dir.path();
    settings.folders = {"A"};
    DailyTimelapses maker(settings, dayThree());
    Reports reports;
    maker.onReport(reports.sink());
    std::mutex mutex;
    std::condition_variable stopped;
    bool stopAsked = false;
    maker.onFrame([&](const std::string&, int frames) {
        if (frames == 3) {
            maker.requestStop();
            const std::lock_guard<std::mutex> lock(mutex);
            stopAsked = true;
            stopped.notify_all();
        }
    });
    maker.start();
    {
        std::unique_lock<std::mutex> lock(mutex);
        stopped.wait_for(lock, std::chrono::minutes(2), [&] { return stopAsked; });
    }
    maker.stop();
    EXPECT_TRUE(stopAsked);
    EXPECT_EQ(filesUnder(dir.file("A/timelapse")), std::vector<std::string>{});

    // The next start makes the movie whole.
    DailyTimelapses again(settings, dayThree());
    Reports more;
    again.onReport(more.sink());
    again.start();
    const auto got = more.wait(1);
    again.stop();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].frames, kPerDay);
    EXPECT_EQ(probeMovie(got[0].file)["nb_read_frames"], std::to_string(kPerDay));
}

TEST(TimelapseDaily, UnreadablePicturesAreLeftOutAndLogged) {
    TempDir dir("daily");
    makeArchive(dir.path(), {"A"});
    writeFile(dir.file("A/20250311-010000.jpg"), "\xFF\xD8\xFF\xE0 cut short");
    DailyTimelapseSettings settings;
    settings.saveDir = dir.path();
    settings.folders = {"A"};
    DailyTimelapses maker(settings, dayThree());
    const std::optional<DailyTimelapseReport> report = maker.makeMovie("A", kDay1 + 86400);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->frames, kPerDay);
    EXPECT_EQ(report->skipped, 1);
    EXPECT_EQ(probeMovie(report->file)["nb_read_frames"], std::to_string(kPerDay));
    EXPECT_FALSE(maker.makeMovie("A", kDay1 + 86400)) << "the movie exists now";
    EXPECT_FALSE(maker.makeMovie("A", kDay1 + 5 * 86400)) << "a day without pictures";

    DailyTimelapseReport failed{"Cams/\xFFtna", "20250311", "", 0, 0, "", "Disk full"};
    EXPECT_EQ(timelapseLogLine(failed, kDay1, true),
              "{\"time\":\"2025-03-10T00:00:00Z\",\"timelapse\":{\"link\":\"Cams/\xEF\xBF\xBDtna\","
              "\"day\":\"20250311\",\"frames\":0,\"file\":\"\",\"error\":\"Disk full\"}}");
}

TEST(TimelapseDaily, RetentionNeitherCountsNorDeletesTheMovies) {
    TempDir dir("daily");
    makeArchive(dir.path(), {"Cams/A"});
    DailyTimelapseSettings settings;
    settings.saveDir = dir.path();
    DailyTimelapses maker(settings, dayThree());
    const auto report = maker.makeMovie("Cams/A", kDay1);
    ASSERT_TRUE(report && report->error.empty()) << (report ? report->error : "no movie");
    const std::string movie = readFile(report->file);

    ArchiveIndex index;
    const std::atomic<bool> stop{false};
    index.scan(dir.path(), stop);
    EXPECT_EQ(index.fileCount(), static_cast<uint64_t>(2 * kPerDay));
    // A year later, a day of pictures kept: every picture goes, the movie stays.
    const RetentionResult result = index.apply({1, 0}, kDay1 + 365 * 86400);
    EXPECT_EQ(result.deletedFiles, static_cast<uint64_t>(2 * kPerDay));
    EXPECT_EQ(index.totalBytes(), 0u);
    EXPECT_EQ(filesUnder(dir.file("Cams/A")), std::vector<std::string>{"timelapse/20250310.mp4"});
    EXPECT_EQ(readFile(report->file), movie);
}
