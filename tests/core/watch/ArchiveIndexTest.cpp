// The archive index: what the scan and the watcher's reports put in it, and retention that deletes
// by the time in the names, oldest of all folders first, without walking the archive again.
#include "core/watch/ArchiveIndex.h"

#include "support/Child.h"
#include "support/TempDir.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kIndexNoon = 1796817600; // 2026-12-09 12:00:00 UTC
constexpr std::time_t kOneDay = 86400;

// Written whole under a hidden name and renamed, as the watcher writes its pictures, so that a
// scan running meanwhile never sees a picture half written.
void writePicture(const std::string& root, const std::string& path, size_t bytes = 100) {
    const fs::path file(root + "/" + path);
    fs::create_directories(file.parent_path());
    const fs::path partial = file.parent_path() / ("." + file.filename().string() + ".part");
    writeFile(partial.string(), std::string(bytes, 'p'));
    fs::rename(partial, file);
}

std::string nameAt(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d-%H%M%S.jpg", &utc);
    return name;
}

void scanWhole(ArchiveIndex& index, const std::string& root) {
    const std::atomic<bool> stop{false};
    index.scan(root, stop);
}

} // namespace

TEST(ArchiveIndex, DeletesByTheTimeInTheNameThenTheOldestOfAllFolders) {
    TempDir dir("index");
    const std::string& root = dir.path();
    // All written just now: the names alone say how old they are.
    for (const char* name :
         {"A/Cam/20261201-120000.jpg", "A/Cam/20261206-120000.jpg", "B/20261207-120000-2.png",
          "B/20261209-110000.gif", "20261205-000000.bmp", "C/20261204-000000.jpg"})
        writePicture(root, name);
    writePicture(root, "A/Cam/holiday.jpg", 5000);
    writePicture(root, "notes.txt", 5000);
    ArchiveIndex index;
    scanWhole(index, root);
    ASSERT_TRUE(index.ready());
    EXPECT_EQ(index.fileCount(), 6u);
    EXPECT_EQ(index.totalBytes(), 600u);
    // Deleted by hand: forgotten when its turn comes, neither counted nor costing another picture.
    fs::remove(root + "/C/20261204-000000.jpg");

    struct Step {
        RetentionRule rule;
        uint64_t deleted;
        uint64_t kept;
        std::vector<std::string> left;
    };
    const Step steps[] = {
        {{7, 0},
         1,
         500,
         {"20261205-000000.bmp", "A/Cam/20261206-120000.jpg", "A/Cam/holiday.jpg",
          "B/20261207-120000-2.png", "B/20261209-110000.gif", "notes.txt"}},
        {{0, 250},
         2,
         200,
         {"A/Cam/holiday.jpg", "B/20261207-120000-2.png", "B/20261209-110000.gif", "notes.txt"}},
        {{1, 150}, 1, 100, {"A/Cam/holiday.jpg", "B/20261209-110000.gif", "notes.txt"}},
        {{0, 0}, 0, 100, {"A/Cam/holiday.jpg", "B/20261209-110000.gif", "notes.txt"}},
    };
    for (const Step& step : steps) {
        const RetentionResult r = index.apply(step.rule, kIndexNoon);
        EXPECT_EQ(r.deletedFiles, step.deleted) << step.rule.keepDays << " " << step.rule.maxBytes;
        EXPECT_EQ(r.deletedBytes, 100 * step.deleted);
        EXPECT_EQ(r.keptBytes, step.kept);
        EXPECT_EQ(r.failedFiles, 0u);
        EXPECT_EQ(filesUnder(root), step.left);
    }
    EXPECT_EQ(index.fileCount(), 1u);
    EXPECT_EQ(index.newest("B"), "B/20261209-110000.gif");
    EXPECT_EQ(index.newest("A/Cam"), std::nullopt);
}

TEST(ArchiveIndex, PicturesOfOneSecondGoInTheOrderOfTheirNumber) {
    TempDir dir("index");
    const std::string& root = dir.path();
    // Oldest first; an impossible date still names a file that retention must find again.
    const std::vector<std::string> order = {
        "Cam/20261209-115959-7.bmp", "Cam/20261209-120000.png",    "Cam/20261209-120000-2.jpg",
        "Cam/20261209-120000-3.gif", "Cam/20261209-120000-10.jpg", "Cam/20261301-000000.jpg"};
    const std::vector<std::string> newestFirst(order.rbegin(), order.rend());
    for (const std::string& name : newestFirst)
        writePicture(root, name, 10);
    // Not a name the watcher writes, and one an index entry could not name again: left alone.
    writePicture(root, "Cam/20261201-000000-02.jpg", 10);
    ArchiveIndex index;
    scanWhole(index, root);
    ASSERT_EQ(index.fileCount(), order.size());
    EXPECT_EQ(index.newest("Cam"), "Cam/20261301-000000.jpg");

    for (size_t i = 0; i + 1 < order.size(); ++i) {
        EXPECT_EQ(index.apply({0, 10 * (order.size() - i - 1)}, kIndexNoon).deletedFiles, 1u);
        EXPECT_FALSE(fs::exists(root + "/" + order[i])) << order[i];
        EXPECT_TRUE(fs::exists(root + "/" + order[i + 1])) << order[i + 1];
    }
    EXPECT_EQ(index.apply({1, 0}, kIndexNoon + 400 * kOneDay).deletedFiles, 1u);
    EXPECT_EQ(filesUnder(root), std::vector<std::string>{"Cam/20261201-000000-02.jpg"});
}

TEST(ArchiveIndex, PicturesReportedDuringAndAfterTheScanAreCountedOnce) {
    TempDir dir("index");
    const std::string& root = dir.path();
    const int kFolders = 40;
    const auto folder = [](int i) { return "Site/F" + std::to_string(i % kFolders); };
    const auto sizeOf = [](int i) { return static_cast<size_t>(1 + i % 7); };
    for (int i = 0; i < 4000; ++i)
        writePicture(root, folder(i) + "/" + nameAt(kIndexNoon - 30 * kOneDay + 60 * i), sizeOf(i));

    ArchiveIndex index;
    std::thread scanner([&] { scanWhole(index, root); });
    const auto addNew = [&](int k) {
        const std::string name = nameAt(kIndexNoon + k);
        writePicture(root, folder(k) + "/" + name, sizeOf(k));
        index.added(folder(k), name, sizeOf(k));
        // The watcher may report a picture twice; a scan may find it too.
        if (k % 3 == 0)
            index.added("./" + folder(k) + "//", name, sizeOf(k));
    };
    int k = 0;
    for (; k < 2000 && !index.ready(); ++k)
        addNew(k);
    scanner.join();
    for (const int end = k + 50; k < end; ++k)
        addNew(k);
    // Late and out of order: older than anything else in its folder.
    const std::string late = nameAt(kIndexNoon - 60 * kOneDay);
    writePicture(root, folder(1) + "/" + late, 5);
    index.added(folder(1), late, 5);

    uint64_t bytes = 0;
    const std::vector<std::string> files = filesUnder(root);
    for (const std::string& file : files)
        bytes += fs::file_size(root + "/" + file);
    EXPECT_EQ(index.fileCount(), files.size());
    EXPECT_EQ(index.totalBytes(), bytes);
    EXPECT_EQ(index.newest(folder(k - 1)), folder(k - 1) + "/" + nameAt(kIndexNoon + k - 1));

    // Every entry names a real file once: deleting the oldest first takes the late one, and
    // deleting all leaves nothing behind and nothing unaccounted.
    EXPECT_EQ(index.apply({0, bytes - 1}, kIndexNoon).deletedBytes, 5u);
    EXPECT_FALSE(fs::exists(root + "/" + folder(1) + "/" + late));
    const RetentionResult all = index.apply({1, 0}, kIndexNoon + 100 * kOneDay);
    EXPECT_EQ(all.deletedFiles, files.size() - 1);
    EXPECT_EQ(all.keptBytes, 0u);
    EXPECT_EQ(index.fileCount(), 0u);
    EXPECT_TRUE(filesUnder(root).empty());
}

TEST(ArchiveIndex, APictureThatCannotBeDeletedIsSkippedAndReported) {
    TempDir dir("index");
    const std::string& root = dir.path();
    for (const char* name : {"Locked/20261201-120000.jpg", "Locked/20261202-120000.jpg",
                             "Open/20261203-120000.jpg", "Open/20261204-120000.jpg"})
        writePicture(root, name);
    fs::permissions(root, fs::perms::all);
    fs::permissions(root + "/Open", fs::perms::all);
    fs::permissions(root + "/Locked", fs::perms::owner_read | fs::perms::owner_exec |
                                          fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);

    // Unprivileged, so that the folder's permissions hold.
    const std::string outcome = textFromChild([&] {
        dropPrivileges();
        ArchiveIndex index;
        scanWhole(index, root);
        std::string text;
        for (const RetentionRule& rule : {RetentionRule{0, 250}, RetentionRule{5, 0}}) {
            const RetentionResult r = index.apply(rule, kIndexNoon);
            text += std::to_string(r.deletedFiles) + " " + std::to_string(r.failedFiles) + " " +
                    std::to_string(r.keptBytes) + " " +
                    std::to_string(r.firstFailure.find("/Locked/20261201-120000.jpg: ") !=
                                   std::string::npos) +
                    "; ";
        }
        return text + std::to_string(index.fileCount());
    });
    // The locked pair is tried once, then left out; it does not push the open pictures out.
    EXPECT_EQ(outcome, "0 2 400 1; 1 0 300 0; 3");
    EXPECT_EQ(filesUnder(root),
              (std::vector<std::string>{"Locked/20261201-120000.jpg", "Locked/20261202-120000.jpg",
                                        "Open/20261204-120000.jpg"}));
}

TEST(ArchiveIndex, LeavesAloneWhatIsNotAPictureAndDeletesNothingBeforeTheScan) {
    TempDir dir("index");
    const std::string& root = dir.path();
    TempDir outside("outside");
    writePicture(outside.path(), "20200101-000000.jpg");
    writePicture(root, "Cam/20200101-000000.jpg");
    writePicture(root, "Cam/holiday.jpg");
    writePicture(root, "Cam/20200101-000000.jpg.part");
    writePicture(root, ".kestrix/thumbs/20200101-000000.jpg");
    fs::create_directories(root + "/Cam/20200101-000001.jpg");
    fs::create_directory_symlink(outside.path(), root + "/Linked");
    fs::create_symlink(outside.path() + "/20200101-000000.jpg", root + "/Cam/20200101-000002.jpg");

    ArchiveIndex index;
    const std::atomic<bool> stop{true};
    index.scan(root, stop);
    EXPECT_FALSE(index.ready()) << "a stopped scan never becomes ready";
    index.added("Cam", "20200101-000000.jpg", 100);
    EXPECT_EQ(index.apply({1, 1}, kIndexNoon).deletedFiles, 0u)
        << "nothing before the scan is ready";
    // Outside the root or in the watcher's own folders: never indexed.
    index.added("../" + fs::path(outside.path()).filename().string(), "20200101-000000.jpg", 100);
    index.added(".kestrix/thumbs", "20200101-000000.jpg", 100);
    index.added("/Cam", "20200101-000003.jpg", 100);

    scanWhole(index, root);
    EXPECT_EQ(index.fileCount(), 1u);
    EXPECT_EQ(index.apply({1, 1}, kIndexNoon).deletedFiles, 1u);
    EXPECT_FALSE(fs::exists(root + "/Cam/20200101-000000.jpg"));
    for (const char* kept :
         {".kestrix/thumbs/20200101-000000.jpg", "Cam/holiday.jpg", "Cam/20200101-000000.jpg.part",
          "Cam/20200101-000001.jpg", "Cam/20200101-000002.jpg", "Linked"})
        EXPECT_TRUE(fs::exists(fs::symlink_status(root + "/" + kept))) << kept;
    EXPECT_TRUE(fs::exists(outside.path() + "/20200101-000000.jpg"));
}
